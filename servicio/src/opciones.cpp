// Reading of the command line: every option is checked here, so the rest of the service can
// trust its values.
#include "opciones.h"

#include <charconv>
#include <string_view>

namespace vemlo::servicio {
namespace {

std::optional<std::int64_t> numero(std::string_view texto) {
  std::int64_t valor = 0;
  const auto [fin, error] = std::from_chars(texto.data(), texto.data() + texto.size(), valor);
  if (error != std::errc() || fin != texto.data() + texto.size() || valor < 0) return std::nullopt;
  return valor;
}

bool leerEscucha(std::string_view texto, Opciones& opciones) {
  const auto dosPuntos = texto.rfind(':');
  if (dosPuntos == std::string_view::npos || dosPuntos == 0) return false;
  const auto puerto = numero(texto.substr(dosPuntos + 1));
  if (!puerto || *puerto > 65535) return false;
  opciones.anfitrion = std::string(texto.substr(0, dosPuntos));
  opciones.puerto = static_cast<int>(*puerto);
  return true;
}

bool leerDirecto(std::string_view texto, Opciones& opciones) {
  if (texto == "si")
    opciones.directo = Directo::si;
  else if (texto == "no")
    opciones.directo = Directo::no;
  else if (texto == "alterno")
    opciones.directo = Directo::alterno;
  else
    return false;
  return true;
}

// One option with a value; false when the value is missing or does not read.
bool leerValor(std::string_view nombre, std::string_view valor, Opciones& opciones) {
  if (nombre == "--datos") {
    opciones.datos = std::string(valor);
    return !valor.empty();
  }
  if (nombre == "--escuchar") return leerEscucha(valor, opciones);
  if (nombre == "--directo") return leerDirecto(valor, opciones);
  const auto n = numero(valor);
  if (!n) return false;
  if (nombre == "--umbral")
    opciones.umbral = *n;
  else if (nombre == "--parte" && *n > 0)
    opciones.parte = *n;
  else
    return false;
  return true;
}

}  // namespace

std::optional<Opciones> leerOpciones(int argc, char** argv, std::string& motivo) {
  Opciones opciones;
  bool conEscucha = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view nombre = argv[i];
    if (nombre == "--demo") {
      opciones.demo = true;
      continue;
    }
    if (nombre == "--pruebas") {
      opciones.pruebas = true;
      continue;
    }
    if (i + 1 >= argc || !leerValor(nombre, argv[i + 1], opciones)) {
      motivo = "opción no válida o sin valor: " + std::string(nombre);
      return std::nullopt;
    }
    conEscucha = conEscucha || nombre == "--escuchar";
    ++i;
  }
  if (opciones.datos.empty() || !conEscucha) {
    motivo = "faltan --datos o --escuchar";
    return std::nullopt;
  }
  return opciones;
}

}  // namespace vemlo::servicio
