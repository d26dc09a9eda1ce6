// The fixture of the vemlo-cli tests: a reference service of its own, vemlo-cli runs aimed at
// it in a chosen language, a session stored the way the CLI reads it, and direct HTTP access
// to check what the commands did.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "binario.h"
#include "http_servicio.h"
#include "servicio_en_marcha.h"
#include "vemlo/sesion.h"

namespace vemlo::pruebas {

class ConServicio {
 public:
  explicit ConServicio(std::vector<std::string> banderas = {"--demo", "--pruebas"})
      : servicio(std::move(banderas)) {}

  Entorno entorno(const std::string& idioma = "en") const {
    return {{"VEMLO_SERVICIO", servicio.base()}, {"LANGUAGE", idioma}};
  }
  Resultado cli(const std::vector<std::string>& argumentos, const std::string& idioma = "en",
                const std::string& entrada = "") const {
    return correr(argumentos, entorno(idioma), entrada);
  }

  // Signs in through HTTP and stores the token where vemlo-cli looks for it; gives the client.
  ClienteHttp entrarComo(const std::string& correo) {
    const auto cuenta = entrar(servicio.base(), correo);
    SesionGuardada::guardar(*cuenta.token);
    return ClienteHttp(servicio.base(), *cuenta.token);
  }

  // The root folder of the company called `nombre` for the account behind `cliente`.
  static std::string raiz(const ClienteHttp& cliente, const std::string& nombre) {
    for (const auto& empresa : cliente.leer<Cuenta>("/v1/yo").organizaciones)
      if (empresa.nombre == nombre) return empresa.carpetaRaizId;
    throw std::runtime_error("sin empresa " + nombre);
  }

  // The folder at `nombres` below the root `raizId`.
  static VistaCarpeta carpeta(const ClienteHttp& cliente, const std::string& raizId,
                              const std::vector<std::string>& nombres = {}) {
    auto vista = cliente.carpeta(raizId);
    for (const auto& nombre : nombres) vista = cliente.carpeta(idCarpeta(vista, nombre));
    return vista;
  }

  ServicioEnMarcha servicio;
};

// A private folder for local files, removed afterwards.
class CarpetaLocal {
 public:
  CarpetaLocal();
  ~CarpetaLocal();
  CarpetaLocal(const CarpetaLocal&) = delete;
  CarpetaLocal& operator=(const CarpetaLocal&) = delete;

  const std::filesystem::path& ruta() const { return ruta_; }
  // Writes `bytes` at `relativa`, making the folders above it.
  std::filesystem::path escribir(const std::string& relativa, const std::string& bytes) const;
  static std::string leer(const std::filesystem::path& archivo);
  // The names in `relativa`, sorted.
  std::vector<std::string> nombres(const std::string& relativa = ".") const;

 private:
  std::filesystem::path ruta_;
};

inline bool contiene(const std::string& texto, const std::string& parte) {
  return texto.find(parte) != std::string::npos;
}

inline std::vector<std::string> nombresDe(const VistaCarpeta& vista) {
  std::vector<std::string> nombres;
  for (const auto& carpeta : vista.carpetas) nombres.push_back(carpeta.nombre + "/");
  for (const auto& archivo : vista.archivos) nombres.push_back(archivo.nombre);
  std::sort(nombres.begin(), nombres.end());
  return nombres;
}

}  // namespace vemlo::pruebas
