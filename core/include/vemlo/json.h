// Reading and writing of wire records as JSON, driven by one table of fields per record.
//
// Every record lists its fields once (`campos<T>`: JSON key and member); decoding, encoding,
// equality-aware hashing and error paths all follow from that table. The rules: a required
// member must be present and of its type, an optional one (std::optional) may be missing or
// null, a value of the wrong type fails the whole answer, unknown keys are ignored, integers
// must fit in int64, and absent optionals are left out when writing.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

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

inline std::int64_t leerEntero(const nlohmann::json& j) {
  constexpr double limite = 9223372036854775808.0;  // 2^63
  if (j.is_number_integer() && !j.is_number_unsigned()) return j.get<std::int64_t>();
  if (j.is_number_unsigned()) {
    const auto valor = j.get<std::uint64_t>();
    if (valor <= static_cast<std::uint64_t>(INT64_MAX)) return static_cast<std::int64_t>(valor);
    throw ErrorDecodificacion("número fuera del rango de int64");
  }
  if (j.is_number_float()) {
    const double valor = j.get<double>();
    if (std::trunc(valor) == valor && valor >= -limite && valor < limite)
      return static_cast<std::int64_t>(valor);
    throw ErrorDecodificacion("se esperaba un número entero de int64");
  }
  throw ErrorDecodificacion("se esperaba un número entero");
}

}  // namespace detalle

template <class T>
T desdeJson(const nlohmann::json& j);

// Decodes a value of type T (text, int64, flag, list or record) from `j`.
template <class T>
T leerValor(const nlohmann::json& j) {
  if constexpr (std::is_same_v<T, std::string>) {
    if (!j.is_string()) throw ErrorDecodificacion("se esperaba texto");
    return j.get<std::string>();
  } else if constexpr (std::is_same_v<T, bool>) {
    if (!j.is_boolean()) throw ErrorDecodificacion("se esperaba un valor lógico");
    return j.get<bool>();
  } else if constexpr (std::is_same_v<T, std::int64_t>) {
    return detalle::leerEntero(j);
  } else if constexpr (detalle::EsLista<T>::value) {
    if (!j.is_array()) throw ErrorDecodificacion("se esperaba una lista");
    T lista;
    lista.reserve(j.size());
    for (std::size_t i = 0; i < j.size(); ++i) {
      try {
        lista.push_back(leerValor<typename T::value_type>(j[i]));
      } catch (const ErrorDecodificacion& e) {
        throw e.enPosicion(i);
      }
    }
    return lista;
  } else {
    return desdeJson<T>(j);
  }
}

namespace detalle {

template <class T, class M>
void leerCampo(const nlohmann::json& objeto, T& registro, const Campo<T, M>& campo) {
  const auto pos = objeto.find(campo.clave);
  try {
    if constexpr (EsOpcional<M>::value) {
      if (pos == objeto.end() || pos->is_null()) return;
      registro.*campo.miembro = leerValor<typename M::value_type>(*pos);
    } else {
      if (pos == objeto.end()) throw ErrorDecodificacion("falta la clave");
      registro.*campo.miembro = leerValor<M>(*pos);
    }
  } catch (const ErrorDecodificacion& e) {
    throw e.enClave(campo.clave);
  }
}

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

// Decodes a record from a JSON object, by its field table.
template <class T>
T desdeJson(const nlohmann::json& j) {
  static_assert(Registro<T>, "a record needs its field table: campos<T>");
  if (!j.is_object()) throw ErrorDecodificacion("se esperaba un objeto");
  T registro{};
  std::apply([&](const auto&... campo) { (detalle::leerCampo(j, registro, campo), ...); },
             campos<T>);
  return registro;
}

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
