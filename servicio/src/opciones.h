// The command line of vemlo-servicio, read once at start-up into plain values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vemlo::servicio {

enum class Directo { si, no, alterno };

struct Opciones {
  std::string datos;
  std::string anfitrion = "127.0.0.1";
  int puerto = 0;
  bool demo = false;
  bool pruebas = false;
  std::int64_t umbral = 8 << 20;
  std::int64_t parte = 8 << 20;
  Directo directo = Directo::alterno;
};

// The options of `argv`, or nothing (with the reason in `motivo`) when they do not read.
std::optional<Opciones> leerOpciones(int argc, char** argv, std::string& motivo);

}  // namespace vemlo::servicio
