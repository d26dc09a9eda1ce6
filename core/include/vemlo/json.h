// Reading and writing of wire records as JSON, driven by one table of fields per record.
//
// Every record lists its fields once (`campos<T>`: JSON key and member); decoding (by the
// streaming reader of lector_json.h, from text or from a parsed tree alike), encoding,
// equality-aware hashing and error paths all follow from that table. The rules: a required
// member must be present and of its type, an optional one (std::optional) may be missing or
// null, a value of the wrong type fails the whole answer, unknown keys are ignored, integers
// must fit in int64, and absent optionals are left out when writing.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "vemlo/lector_json.h"

namespace vemlo {

// A record that does not decode: where (a path such as "archivos[3].tamanoBytes") and why.
class ErrorDecodificacion : public std::runtime_error {
 public:
  explicit ErrorDecodificacion(std::string motivo, std::string ruta = {})
      : std::runtime_error(ruta.empty() ? motivo : ruta + ": " + motivo),
        motivo_(std::move(motivo)),
        ruta_(std::move(ruta)) {}

  // The same failure seen one level up, inside the member `clave` or at list position `i`.
  ErrorDecodificacion enClave(std::string_view clave) const {
    return ErrorDecodificacion(motivo_, std::string(clave) + unir(ruta_));
  }
  ErrorDecodificacion enPosicion(std::size_t i) const {
    std::string ruta("[");
    ruta.append(std::to_string(i)).append("]").append(unir(ruta_));
    return ErrorDecodificacion(motivo_, std::move(ruta));
  }

 private:
  static std::string unir(const std::string& ruta) {
    return ruta.empty() || ruta.front() == '[' ? ruta : "." + ruta;
  }
  std::string motivo_;
  std::string ruta_;
};

// One field of a record: its JSON key and the member that holds it.
template <class Registro, class Miembro>
struct Campo {
  using Tipo = Miembro;
  std::string_view clave;
  Miembro Registro::*miembro;
};
// Spelled out for compilers without deduction from aggregates (clang before 17, which
// clang-tidy runs on).
template <class Registro, class Miembro>
Campo(std::string_view, Miembro Registro::*) -> Campo<Registro, Miembro>;

// The field table of a record; each record specialises it.
template <class T>
inline constexpr auto campos = nullptr;

template <class T>
concept Registro = !std::is_same_v<std::remove_cvref_t<decltype(campos<T>)>, std::nullptr_t>;

namespace detalle {

template <class T>
struct EsOpcional : std::false_type {};
template <class T>
struct EsOpcional<std::optional<T>> : std::true_type {};

template <class T>
struct EsLista : std::false_type {};
template <class T>
struct EsLista<std::vector<T>> : std::true_type {};

}  // namespace detalle

namespace lectura {

using Clase = Forma::Clase;

// The Forma of each C++ type a record may hold.
template <class T>
struct FormaDe;

template <>
struct FormaDe<std::string> {
  static constexpr Forma valor = formaEscalar(Clase::texto, "se esperaba texto");
};
template <>
struct FormaDe<bool> {
  static constexpr Forma valor = formaEscalar(Clase::logico, "se esperaba un valor lógico");
};
template <>
struct FormaDe<std::int64_t> {
  static constexpr Forma valor = formaEscalar(Clase::entero, "se esperaba un número entero");
};

template <class T>
struct FormaDe<std::vector<T>> {
  static void* nuevo(void* v) { return &static_cast<std::vector<T>*>(v)->emplace_back(); }
  static void vaciar(void* v) { static_cast<std::vector<T>*>(v)->clear(); }
  static constexpr Forma valor =
      formaContenedor(Clase::lista, "se esperaba una lista", FormaDe<T>::valor, nuevo, vaciar);
};

template <class T>
struct FormaDe<std::optional<T>> {
  static void* nuevo(void* o) { return &static_cast<std::optional<T>*>(o)->emplace(); }
  static void vaciar(void* o) { static_cast<std::optional<T>*>(o)->reset(); }
  static constexpr Forma valor =
      formaContenedor(Clase::opcional, "", FormaDe<T>::valor, nuevo, vaciar);
};

// An object of any keys, each a value of T (a later duplicate key fills the same value).
template <class T>
struct FormaDe<std::unordered_map<std::string, T>> {
  static void* entrada(void* m, std::string_view clave, std::string_view& guardada) {
    auto& [c, valor] =
        *static_cast<std::unordered_map<std::string, T>*>(m)->try_emplace(std::string(clave)).first;
    guardada = c;
    return &valor;
  }
  static constexpr Forma hacer() {
    auto f =
        formaContenedor(Clase::mapa, "se esperaba un objeto", FormaDe<T>::valor, nullptr, nullptr);
    f.entrada = entrada;
    return f;
  }
  static constexpr Forma valor = hacer();
};

template <class T, std::size_t I>
using TipoDeCampo =
    typename std::tuple_element_t<I, std::remove_cvref_t<decltype(campos<T>)>>::Tipo;

template <class T, std::size_t I>
void* miembroEn(void* registro) {
  return &(static_cast<T*>(registro)->*std::get<I>(campos<T>).miembro);
}

template <class T, std::size_t... I>
constexpr std::array<Miembro, sizeof...(I)> miembrosDe(std::index_sequence<I...>) {
  return {Miembro{std::get<I>(campos<T>).clave, !detalle::EsOpcional<TipoDeCampo<T, I>>::value,
                  miembroEn<T, I>, &FormaDe<TipoDeCampo<T, I>>::valor}...};
}

template <Registro T>
struct FormaDe<T> {
  static constexpr auto cuantos = std::tuple_size_v<std::remove_cvref_t<decltype(campos<T>)>>;
  static_assert(cuantos <= 64, "a record of at most 64 members");
  static constexpr auto miembros = miembrosDe<T>(std::make_index_sequence<cuantos>{});
  static constexpr Forma hacer() {
    auto f = formaEscalar(Clase::registro, "se esperaba un objeto");
    f.miembros = miembros.data();
    f.cuantos = cuantos;
    return f;
  }
  static constexpr Forma valor = hacer();
};

}  // namespace lectura

// Decodes a record from a JSON object, by its field table (through the streaming reader).
template <class T>
T desdeJson(const nlohmann::json& j) {
  static_assert(Registro<T>, "a record needs its field table: campos<T>");
  T registro{};
  lectura::leer(j, &registro, lectura::FormaDe<T>::valor);
  return registro;
}

// Decodes a value (a record, a list of them, a map of them) straight from JSON text, without
// a JSON tree; the same rules as desdeJson. Into `valor` (say, a map sized beforehand), or new.
template <class T>
void leerJson(std::string_view texto, T& valor) {
  lectura::leer(texto, &valor, lectura::FormaDe<T>::valor);
}
template <class T>
T leerJson(std::string_view texto) {
  T valor{};
  leerJson(texto, valor);
  return valor;
}

namespace detalle {

template <class M>
nlohmann::json escribirValor(const M& valor);

template <class T, class M>
void escribirCampo(nlohmann::json& objeto, const T& registro, const Campo<T, M>& campo) {
  const M& valor = registro.*campo.miembro;
  if constexpr (EsOpcional<M>::value) {
    if (valor) objeto[std::string(campo.clave)] = escribirValor(*valor);
  } else {
    objeto[std::string(campo.clave)] = escribirValor(valor);
  }
}

}  // namespace detalle

// Encodes a record to a JSON object with the same keys; absent optionals are left out.
template <Registro T>
nlohmann::json aJson(const T& registro) {
  auto objeto = nlohmann::json::object();
  std::apply([&](const auto&... campo) { (detalle::escribirCampo(objeto, registro, campo), ...); },
             campos<T>);
  return objeto;
}

namespace detalle {

template <class M>
nlohmann::json escribirValor(const M& valor) {
  if constexpr (EsLista<M>::value) {
    auto lista = nlohmann::json::array();
    for (const auto& elemento : valor) lista.push_back(escribirValor(elemento));
    return lista;
  } else if constexpr (Registro<M>) {
    return aJson(valor);
  } else {
    return valor;
  }
}

inline void mezclar(std::size_t& semilla, std::size_t valor) {
  semilla ^= valor + 0x9e3779b97f4a7c15ULL + (semilla << 6) + (semilla >> 2);
}

template <class M>
void mezclarValor(std::size_t& semilla, const M& valor) {
  if constexpr (EsOpcional<M>::value) {
    mezclar(semilla, valor.has_value());
    if (valor) mezclarValor(semilla, *valor);
  } else if constexpr (EsLista<M>::value) {
    mezclar(semilla, valor.size());
    for (const auto& elemento : valor) mezclarValor(semilla, elemento);
  } else {
    mezclar(semilla, std::hash<M>{}(valor));
  }
}

}  // namespace detalle

// A hash over every field of a record, consistent with its defaulted equality.
template <Registro T>
std::size_t hashDe(const T& registro) {
  std::size_t semilla = 0;
  std::apply(
      [&](const auto&... campo) { (detalle::mezclarValor(semilla, registro.*campo.miembro), ...); },
      campos<T>);
  return semilla;
}

}  // namespace vemlo
