// The wire records: what the service's JSON answers hold, read into plain values.
//
// Dates travel and stay as the text the service sent; `fechaDe` (fecha.h) reads them.
// Each record's field table below is the single place that names its JSON keys.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "vemlo/json.h"

namespace vemlo {

struct Usuario {
  std::string id;
  std::string nombre;
  std::string correo;
  bool operator==(const Usuario&) const = default;
};

// A company. Role "lector" is read-only; any other word allows changes.
struct Organizacion {
  std::string id;
  std::string nombre;
  std::string rol;
  std::string carpetaRaizId;
  bool operator==(const Organizacion&) const = default;
};

// The signed-in account; `token` comes only with sign-in and the two-step confirmation.
struct Cuenta {
  Usuario usuario;
  std::vector<Organizacion> organizaciones;
  std::optional<std::string> token;
  std::optional<bool> correoVerificado;
};

// One step of a folder's breadcrumb path.
struct PasoRuta {
  std::string id;
  std::string nombre;
  bool esRaiz = false;
  bool operator==(const PasoRuta&) const = default;
};

struct CarpetaHija {
  std::string id;
  std::string nombre;
  std::optional<std::string> creadaEn;
  bool operator==(const CarpetaHija&) const = default;
};

struct ArchivoRemoto {
  std::string id;
  std::string nombre;
  std::int64_t tamanoBytes = 0;
  std::string tipo;
  std::string actualizadoEn;
  std::optional<bool> miniatura;
  std::optional<std::string> carpetaId;
  bool operator==(const ArchivoRemoto&) const = default;
};

// One folder with its direct content.
struct VistaCarpeta {
  std::string id;
  std::string organizacionId;
  std::string rol;
  std::vector<PasoRuta> ruta;
  std::vector<CarpetaHija> carpetas;
  std::vector<ArchivoRemoto> archivos;
};

// A favourite: `tipo` "carpeta" is a folder, any other word a file.
struct Favorito {
  std::string tipo;
  std::string id;
  std::string nombre;
  std::string carpetaId;
  std::optional<std::int64_t> tamanoBytes;
  std::optional<std::string> tipoArchivo;
  std::string fecha;
  bool miniatura = false;
  bool operator==(const Favorito&) const = default;
};

struct ResultadoBusqueda {
  std::string tipo;
  std::string id;
  std::string nombre;
  std::string carpetaId;
  std::vector<std::string> ruta;
  std::optional<std::int64_t> tamanoBytes;
  std::string fecha;
  bool operator==(const ResultadoBusqueda&) const = default;
};

struct EnPapelera {
  std::string tipo;
  std::string id;
  std::string nombre;
  std::string borradoEn;
  bool operator==(const EnPapelera&) const = default;
};

// The part plan of a multipart upload.
struct Partes {
  std::int64_t tamanoParte = 0;
  std::int64_t total = 0;
  std::optional<bool> directo;
  bool operator==(const Partes&) const = default;
};

// The answer to the start of an upload: one signed address (`url`), a part plan, or neither
// for an empty file.
struct PedidoSubida {
  std::string archivoId;
  std::optional<std::string> versionId;
  std::optional<std::string> url;
  std::optional<Partes> partes;
};

struct Enlace {
  std::string url;
};

// The empty answer: any JSON value (or an empty body) decodes as Ok.
struct Ok {};

// A JSON key given as a template argument: R<"elementos", ...>.
template <std::size_t N>
struct Clave {
  char texto[N]{};
  constexpr Clave(const char (&s)[N]) { std::copy_n(s, N, texto); }  // NOLINT: implicit on purpose
  constexpr std::string_view vista() const { return {texto, N - 1}; }
};

// A single-key envelope whose value is all the caller wants.
template <Clave K, class T>
struct R {
  T valor;
};

using RElementos = R<"elementos", std::vector<EnPapelera>>;
using RArchivos = R<"archivos", std::vector<ArchivoRemoto>>;
using RFavoritos = R<"favoritos", std::vector<Favorito>>;
using RResultados = R<"resultados", std::vector<ResultadoBusqueda>>;
using RId = R<"id", std::string>;
using REtag = R<"etag", std::string>;
using REnlace = R<"enlace", std::string>;

// The answer to a sign-in: complete (`Lista`) or waiting for a two-step code (`Codigo`).
struct RespuestaEntrar {
  struct Lista {
    Cuenta cuenta;
  };
  struct Codigo {
    std::string desafio;
  };
  std::variant<Lista, Codigo> valor;
};

// clang-format off
template <> inline constexpr auto campos<Usuario> = std::tuple{
    Campo{"id", &Usuario::id}, Campo{"nombre", &Usuario::nombre},
    Campo{"correo", &Usuario::correo}};
template <> inline constexpr auto campos<Organizacion> = std::tuple{
    Campo{"id", &Organizacion::id}, Campo{"nombre", &Organizacion::nombre},
    Campo{"rol", &Organizacion::rol}, Campo{"carpetaRaizId", &Organizacion::carpetaRaizId}};
template <> inline constexpr auto campos<Cuenta> = std::tuple{
    Campo{"usuario", &Cuenta::usuario}, Campo{"organizaciones", &Cuenta::organizaciones},
    Campo{"token", &Cuenta::token}, Campo{"correoVerificado", &Cuenta::correoVerificado}};
template <> inline constexpr auto campos<PasoRuta> = std::tuple{
    Campo{"id", &PasoRuta::id}, Campo{"nombre", &PasoRuta::nombre},
    Campo{"esRaiz", &PasoRuta::esRaiz}};
template <> inline constexpr auto campos<CarpetaHija> = std::tuple{
    Campo{"id", &CarpetaHija::id}, Campo{"nombre", &CarpetaHija::nombre},
    Campo{"creadaEn", &CarpetaHija::creadaEn}};
template <> inline constexpr auto campos<ArchivoRemoto> = std::tuple{
    Campo{"id", &ArchivoRemoto::id}, Campo{"nombre", &ArchivoRemoto::nombre},
    Campo{"tamanoBytes", &ArchivoRemoto::tamanoBytes}, Campo{"tipo", &ArchivoRemoto::tipo},
    Campo{"actualizadoEn", &ArchivoRemoto::actualizadoEn},
    Campo{"miniatura", &ArchivoRemoto::miniatura}, Campo{"carpetaId", &ArchivoRemoto::carpetaId}};
template <> inline constexpr auto campos<VistaCarpeta> = std::tuple{
    Campo{"id", &VistaCarpeta::id}, Campo{"organizacionId", &VistaCarpeta::organizacionId},
    Campo{"rol", &VistaCarpeta::rol}, Campo{"ruta", &VistaCarpeta::ruta},
    Campo{"carpetas", &VistaCarpeta::carpetas}, Campo{"archivos", &VistaCarpeta::archivos}};
template <> inline constexpr auto campos<Favorito> = std::tuple{
    Campo{"tipo", &Favorito::tipo}, Campo{"id", &Favorito::id},
    Campo{"nombre", &Favorito::nombre}, Campo{"carpetaId", &Favorito::carpetaId},
    Campo{"tamanoBytes", &Favorito::tamanoBytes}, Campo{"tipoArchivo", &Favorito::tipoArchivo},
    Campo{"fecha", &Favorito::fecha}, Campo{"miniatura", &Favorito::miniatura}};
template <> inline constexpr auto campos<ResultadoBusqueda> = std::tuple{
    Campo{"tipo", &ResultadoBusqueda::tipo}, Campo{"id", &ResultadoBusqueda::id},
    Campo{"nombre", &ResultadoBusqueda::nombre}, Campo{"carpetaId", &ResultadoBusqueda::carpetaId},
    Campo{"ruta", &ResultadoBusqueda::ruta}, Campo{"tamanoBytes", &ResultadoBusqueda::tamanoBytes},
    Campo{"fecha", &ResultadoBusqueda::fecha}};
template <> inline constexpr auto campos<EnPapelera> = std::tuple{
    Campo{"tipo", &EnPapelera::tipo}, Campo{"id", &EnPapelera::id},
    Campo{"nombre", &EnPapelera::nombre}, Campo{"borradoEn", &EnPapelera::borradoEn}};
template <> inline constexpr auto campos<Partes> = std::tuple{
    Campo{"tamanoParte", &Partes::tamanoParte}, Campo{"total", &Partes::total},
    Campo{"directo", &Partes::directo}};
template <> inline constexpr auto campos<PedidoSubida> = std::tuple{
    Campo{"archivoId", &PedidoSubida::archivoId}, Campo{"versionId", &PedidoSubida::versionId},
    Campo{"url", &PedidoSubida::url}, Campo{"partes", &PedidoSubida::partes}};
template <> inline constexpr auto campos<Enlace> = std::tuple{Campo{"url", &Enlace::url}};
template <Clave K, class T> inline constexpr auto campos<R<K, T>> =
    std::tuple{Campo{K.vista(), &R<K, T>::valor}};
// clang-format on

template <>
inline Ok desdeJson<Ok>(const nlohmann::json&) {
  return {};
}

template <>
RespuestaEntrar desdeJson<RespuestaEntrar>(const nlohmann::json& j);

}  // namespace vemlo

// Records with value semantics hash over all their fields.
template <class T>
requires vemlo::Registro<T> && std::equality_comparable<T> &&
    (!std::is_same_v<T, vemlo::Partes>)struct std::hash<T> {
  std::size_t operator()(const T& registro) const { return vemlo::hashDe(registro); }
};
