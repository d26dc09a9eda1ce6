// The streaming reader: a stack of the values being filled, one parser event at a time.
#include "vemlo/lector_json.h"

#include <cmath>

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <nlohmann/json.hpp>

#include "vemlo/json.h"

namespace vemlo::lectura {
namespace {

using Clase = Forma::Clase;

constexpr const char* fueraDeInt64 = "número fuera del rango de int64";

template <class T>
T& como(void* destino) {
  return *static_cast<T*>(destino);
}

}  // namespace

Lector::Lector(void* destino, const Forma& forma) {
  pila_.reserve(16);
  auto& raiz = pila_.emplace_back();
  raiz.destino = destino;
  raiz.forma = &forma;
}

// The value the next event is about: the pending one, or a new element of the open list.
Lector::Marco& Lector::siguiente() {
  auto& tope = pila_.back();
  if (!tope.abierto) return tope;
  Marco elemento;
  if (tope.forma) {
    elemento.destino = tope.forma->nuevo(tope.destino);
    elemento.forma = tope.forma->interior;
    elemento.posicion = tope.hijos++;
  }
  pila_.push_back(elemento);
  return pila_.back();
}

// Steps into an optional: false when it was null (and is now empty), or when skipping.
bool Lector::abrir(bool esNulo) {
  auto& m = siguiente();
  if (!m.forma) return false;
  if (m.forma->clase != Clase::opcional) {
    if (esNulo) fallar(m.forma->esperado);
    return true;
  }
  if (esNulo) {
    m.forma->vaciar(m.destino);
    return false;
  }
  m.destino = m.forma->nuevo(m.destino);
  m.forma = m.forma->interior;
  return true;
}

template <class Poner>
bool Lector::escalar(bool esNulo, Poner poner) {
  if (abrir(esNulo)) poner(pila_.back());
  pila_.pop_back();
  return true;
}

bool Lector::null() {
  return escalar(true, [](Marco&) {});
}

bool Lector::boolean(bool valor) {
  return escalar(false, [&](Marco& m) {
    if (m.forma->clase != Clase::logico) fallar(m.forma->esperado);
    como<bool>(m.destino) = valor;
  });
}

bool Lector::number_integer(std::int64_t valor) {
  return escalar(false, [&](Marco& m) {
    if (m.forma->clase != Clase::entero) fallar(m.forma->esperado);
    como<std::int64_t>(m.destino) = valor;
  });
}

bool Lector::number_unsigned(std::uint64_t valor) {
  return escalar(false, [&](Marco& m) {
    if (m.forma->clase != Clase::entero) fallar(m.forma->esperado);
    if (valor > static_cast<std::uint64_t>(INT64_MAX)) fallar(fueraDeInt64);
    como<std::int64_t>(m.destino) = static_cast<std::int64_t>(valor);
  });
}

bool Lector::number_float(double valor) {
  constexpr double limite = 9223372036854775808.0;  // 2^63
  return escalar(false, [&](Marco& m) {
    if (m.forma->clase != Clase::entero) fallar(m.forma->esperado);
    if (std::trunc(valor) != valor || valor < -limite || valor >= limite)
      fallar("se esperaba un número entero de int64");
    como<std::int64_t>(m.destino) = static_cast<std::int64_t>(valor);
  });
}

bool Lector::string(std::string_view valor) {
  return escalar(false, [&](Marco& m) {
    if (m.forma->clase != Clase::texto) fallar(m.forma->esperado);
    como<std::string>(m.destino).assign(valor);
  });
}

// Opens the pending value as a container of class `a` or `b`; a skipped one stays skipped.
bool Lector::abrirContenedor(Clase a, Clase b) {
  if (abrir(false)) {
    auto& m = pila_.back();
    if (m.forma->clase != a && m.forma->clase != b) fallar(m.forma->esperado);
    if (m.forma->clase == Clase::lista) m.forma->vaciar(m.destino);
  }
  pila_.back().abierto = true;
  return true;
}

bool Lector::start_object(std::size_t) {
  return abrirContenedor(Clase::registro, Clase::mapa);
}

bool Lector::start_array(std::size_t) {
  return abrirContenedor(Clase::lista, Clase::lista);
}

// Members usually come in the table's order: the search starts after the last one found.
bool Lector::key(std::string_view clave) {
  auto& tope = pila_.back();
  Marco valor;
  if (tope.forma && tope.forma->clase == Clase::mapa) {
    valor.destino = tope.forma->entrada(tope.destino, clave, valor.clave);
    valor.forma = tope.forma->interior;
  } else if (tope.forma) {
    const auto cuantos = tope.forma->cuantos;
    for (std::size_t k = 0; k < cuantos; ++k) {
      const auto i = (tope.esperado + k) % cuantos;
      const auto& miembro = tope.forma->miembros[i];
      if (miembro.clave != clave) continue;
      tope.vistos |= std::uint64_t{1} << i;
      tope.esperado = i + 1;
      valor.destino = miembro.en(tope.destino);
      valor.forma = miembro.forma;
      valor.clave = miembro.clave;
      break;
    }
  }
  pila_.push_back(valor);
  return true;
}

void Lector::exigirMiembros(const Marco& registro) const {
  if (!registro.forma || registro.forma->clase != Clase::registro) return;
  for (std::size_t i = 0; i < registro.forma->cuantos; ++i) {
    const auto& miembro = registro.forma->miembros[i];
    if (miembro.requerido && !(registro.vistos & (std::uint64_t{1} << i)))
      fallar("falta la clave", miembro.clave);
  }
}

bool Lector::end_object() {
  exigirMiembros(pila_.back());
  pila_.pop_back();
  return true;
}

bool Lector::end_array() {
  pila_.pop_back();
  return true;
}

// The position only: an excerpt could quote a token from the body.
void Lector::malFormado(std::string motivo, std::size_t byte) const {
  fallar(std::move(motivo) + " (byte " + std::to_string(byte) + ")");
}

// The path of the value being read, as "archivos[3].nombre", then `ademas` (a missing key).
void Lector::fallar(std::string motivo, std::string_view ademas) const {
  std::string ruta;
  const auto unir = [&](std::string_view clave) {
    if (!ruta.empty()) ruta += '.';
    ruta += clave;
  };
  for (const auto& m : pila_) {
    if (m.posicion != sinPosicion) ruta += "[" + std::to_string(m.posicion) + "]";
    if (!m.clave.empty()) unir(m.clave);
  }
  if (!ademas.empty()) unir(ademas);
  throw ErrorDecodificacion(std::move(motivo), std::move(ruta));
}

namespace {

// RapidJSON's handler: each event handed to the Lector.
struct Eventos {
  using Tam = rapidjson::SizeType;
  Lector& lector;

  bool Null() { return lector.null(); }
  bool Bool(bool valor) { return lector.boolean(valor); }
  bool Int(int valor) { return lector.number_integer(valor); }
  bool Uint(unsigned valor) { return lector.number_unsigned(valor); }
  bool Int64(std::int64_t valor) { return lector.number_integer(valor); }
  bool Uint64(std::uint64_t valor) { return lector.number_unsigned(valor); }
  bool Double(double valor) { return lector.number_float(valor); }
  bool RawNumber(const char*, Tam, bool) { return false; }  // never asked for
  bool String(const char* valor, Tam largo, bool) { return lector.string({valor, largo}); }
  bool StartObject() { return lector.start_object(0); }
  bool Key(const char* valor, Tam largo, bool) { return lector.key({valor, largo}); }
  bool EndObject(Tam) { return lector.end_object(); }
  bool StartArray() { return lector.start_array(0); }
  bool EndArray(Tam) { return lector.end_array(); }
};

constexpr const char* noEsJson = "la respuesta no es JSON válido";

std::string motivoDe(rapidjson::ParseErrorCode codigo) {
  if (codigo == rapidjson::kParseErrorStringInvalidEncoding) return "texto que no es UTF-8 válido";
  if (codigo == rapidjson::kParseErrorNumberTooBig) return "número fuera de rango";
  return noEsJson;
}

}  // namespace

// Strict JSON: UTF-8 checked, no comments or NaN, one value and nothing after it (a NUL byte
// included), nesting without recursion.
void leer(std::string_view texto, void* destino, const Forma& forma) {
  constexpr unsigned reglas =
      rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag;
  Lector lector(destino, forma);
  Eventos eventos{lector};
  rapidjson::MemoryStream flujo(texto.data(), texto.size());
  rapidjson::Reader analizador;
  const auto resultado = analizador.Parse<reglas>(flujo, eventos);
  if (resultado.IsError()) lector.malFormado(motivoDe(resultado.Code()), resultado.Offset());
  if (flujo.Tell() != texto.size()) lector.malFormado(noEsJson, flujo.Tell());
}

namespace {

void alimentar(const nlohmann::json& j, Lector& lector) {
  using Tipo = nlohmann::json::value_t;
  switch (j.type()) {
    case Tipo::boolean:
      lector.boolean(j.get<bool>());
      return;
    case Tipo::number_integer:
      lector.number_integer(j.get<std::int64_t>());
      return;
    case Tipo::number_unsigned:
      lector.number_unsigned(j.get<std::uint64_t>());
      return;
    case Tipo::number_float:
      lector.number_float(j.get<double>());
      return;
    case Tipo::string:
      lector.string(j.get_ref<const std::string&>());
      return;
    case Tipo::object:
      lector.start_object(j.size());
      for (const auto& [clave, valor] : j.items()) {
        lector.key(clave);
        alimentar(valor, lector);
      }
      lector.end_object();
      return;
    case Tipo::array:
      lector.start_array(j.size());
      for (const auto& valor : j) alimentar(valor, lector);
      lector.end_array();
      return;
    default:
      lector.null();
  }
}

}  // namespace

void leer(const nlohmann::json& valor, void* destino, const Forma& forma) {
  Lector lector(destino, forma);
  alimentar(valor, lector);
}

}  // namespace vemlo::lectura
