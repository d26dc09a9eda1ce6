// What the contract tests share: a service with the demo signed in (shared by the cases of a
// suite, each working in a folder of its own), and the checks of failure answers.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "http_servicio.h"
#include "servicio_en_marcha.h"

namespace vemlo::pruebas {

// Parts of 64 KiB above 64 KiB, so multipart uploads stay small and fast.
inline const std::vector<std::string> conPartesChicas{"--demo", "--pruebas", "--umbral",
                                                      "65536",  "--parte",   "65536"};

inline const Organizacion& empresa(const Cuenta& cuenta, const std::string& nombre) {
  for (const auto& o : cuenta.organizaciones)
    if (o.nombre == nombre) return o;
  throw std::runtime_error("la cuenta no está en " + nombre);
}

// A running service with the demo account signed in.
struct Escenario {
  explicit Escenario(std::vector<std::string> banderas = {"--demo", "--pruebas"},
                     Siembra siembra = Siembra::copiada)
      : servicio(std::move(banderas), siembra),
        cuenta(entrar(servicio.base(), correoDemo)),
        demo(servicio.base(), *cuenta.token),
        acme(empresa(cuenta, "Acme")),
        beta(empresa(cuenta, "Beta")) {}

  // The MFA account (administrador in Acme, not in Beta), signed in with its TOTP code.
  ClienteHttp mara() const { return ClienteHttp(servicio.base(), *entrarConMfa(servicio).token); }
  ClienteHttp anonimo() const { return ClienteHttp(servicio.base()); }
  VistaCarpeta raizAcme() const { return demo.carpeta(acme.carpetaRaizId); }
  VistaCarpeta raizBeta() const { return demo.carpeta(beta.carpetaRaizId); }

  ServicioEnMarcha servicio;
  Cuenta cuenta;
  ClienteHttp demo;
  Organizacion acme;
  Organizacion beta;
};

inline const std::vector<std::string> conDemo{"--demo", "--pruebas"};

// The services shared by the cases of a suite, one per set of flags. ctest runs every suite
// in a process of its own (see CMakeLists.txt).
inline std::map<std::vector<std::string>, std::unique_ptr<Escenario>>& compartidos() {
  static std::map<std::vector<std::string>, std::unique_ptr<Escenario>> servicios;
  return servicios;
}

// The suite's service with `banderas`, started on first use.
inline Escenario& compartido(const std::vector<std::string>& banderas = conDemo) {
  auto& servicio = compartidos()[banderas];
  if (!servicio) servicio = std::make_unique<Escenario>(banderas);
  return *servicio;
}

// A fixture whose suite stops its shared services when it ends; cases that change something
// do it in a folder of their own (carpetaNueva) or undo it.
template <class Base = testing::Test>
class ConServicioDeLaSuite : public Base {
 public:
  static void TearDownTestSuite() { compartidos().clear(); }
};
using Compartida = ConServicioDeLaSuite<>;

inline std::string crearCarpeta(const ClienteHttp& cliente, const std::string& padreId,
                                const std::string& nombre) {
  const auto c = cliente.post("/v1/carpetas", {{"padreId", padreId}, {"nombre", nombre}});
  return desdeJson<RId>(ClienteHttp::exigir(c, "crear " + nombre).json()).valor;
}

// A new empty folder under Acme's Proyectos (empty in the demo), for one case alone.
inline std::string carpetaNueva(const Escenario& e) {
  static int n = 0;
  return crearCarpeta(e.demo, idCarpeta(e.raizAcme(), "Proyectos"), "caso-" + std::to_string(++n));
}

// A failure answer with exactly this status and the body {"error": codigo}.
inline testing::AssertionResult esError(const Contestacion& c, int estado,
                                        const std::string& codigo) {
  if (c.estado == estado && c.error() == codigo) return testing::AssertionSuccess();
  return testing::AssertionFailure()
         << "se esperaba " << estado << " {\"error\":\"" << codigo << "\"}, llegó " << c.resumen();
}

inline testing::AssertionResult esOk(const Contestacion& c) {
  if (c.estado == 200 && c.json().is_object()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "se esperaba 200 con un objeto JSON, llegó " << c.resumen();
}

// `texto` has the shape of `molde`, where '9' stands for any digit and every other
// character for itself.
inline bool tieneForma(const std::string& texto, const std::string& molde) {
  if (texto.size() != molde.size()) return false;
  for (std::size_t i = 0; i < texto.size(); ++i) {
    const bool digito = std::isdigit(static_cast<unsigned char>(texto[i]));
    if (molde[i] == '9' ? !digito : texto[i] != molde[i]) return false;
  }
  return true;
}

// ISO 8601 UTC with milliseconds: 2024-05-01T10:20:30.123Z
inline bool esFecha(const std::string& texto) {
  return tieneForma(texto, "9999-99-99T99:99:99.999Z");
}

// Only characters of `permitidos`, at least one.
inline bool soloDe(const std::string& texto, const std::string& permitidos) {
  return !texto.empty() && texto.find_first_not_of(permitidos) == std::string::npos;
}

// An ETag as the storage sends it: a quoted hex digest.
inline bool esEtagCitado(const std::string& etag) {
  return etag.size() > 2 && etag.front() == '"' && etag.back() == '"' &&
         soloDe(etag.substr(1, etag.size() - 2), "0123456789abcdefABCDEF");
}

template <class T>
std::vector<std::string> nombres(const std::vector<T>& lista) {
  std::vector<std::string> resultado;
  for (const auto& e : lista) resultado.push_back(e.nombre);
  return resultado;
}

}  // namespace vemlo::pruebas
