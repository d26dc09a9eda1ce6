// The streaming reader under every record decoding: it follows a parser's events (RapidJSON's
// SAX reader over text, or a walk over a parsed nlohmann tree) and fills the C++ value as they
// come, without a JSON tree in between. What a value of each C++ type accepts is its Forma,
// made from the record field tables in json.h; a value that does not fit fails with the path
// of the field ("archivos[3].tamanoBytes").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace vemlo::lectura {

struct Forma;

// One member of a record: its key, whether it must be present, where it is, what it holds.
struct Miembro {
  std::string_view clave;
  bool requerido = true;
  void* (*en)(void* registro) = nullptr;
  const Forma* forma = nullptr;
};

// How parser events fill a value of one C++ type.
struct Forma {
  enum class Clase : std::uint8_t { texto, logico, entero, lista, opcional, registro, mapa };
  Clase clase = Clase::texto;
  const char* esperado = "";          // the reason when a value of another JSON type comes
  const Forma* interior = nullptr;    // lista, opcional, mapa: the values inside
  void* (*nuevo)(void*) = nullptr;    // lista: a new last element; opcional: the value, made
  void (*vaciar)(void*) = nullptr;    // lista: clear; opcional: reset
  const Miembro* miembros = nullptr;  // registro
  std::size_t cuantos = 0;
  // mapa: the value under `clave`, made; `guardada` views the key as stored.
  void* (*entrada)(void* mapa, std::string_view clave, std::string_view& guardada) = nullptr;
};

constexpr Forma formaEscalar(Forma::Clase clase, const char* esperado) {
  Forma f;
  f.clase = clase;
  f.esperado = esperado;
  return f;
}

constexpr Forma formaContenedor(Forma::Clase clase, const char* esperado, const Forma& interior,
                                void* (*nuevo)(void*), void (*vaciar)(void*)) {
  auto f = formaEscalar(clase, esperado);
  f.interior = &interior;
  f.nuevo = nuevo;
  f.vaciar = vaciar;
  return f;
}

// The parser's events, named as in nlohmann's SAX interface. Throws ErrorDecodificacion on the
// first value that does not fit, a missing required member, or text that is not JSON.
class Lector {
 public:
  Lector(void* destino, const Forma& forma);

  bool null();
  bool boolean(bool valor);
  bool number_integer(std::int64_t valor);
  bool number_unsigned(std::uint64_t valor);
  bool number_float(double valor);
  bool string(std::string_view valor);
  bool start_object(std::size_t);
  bool key(std::string_view clave);
  bool end_object();
  bool start_array(std::size_t);
  bool end_array();
  // The text stopped being JSON at `byte`, inside the value being read.
  [[noreturn]] void malFormado(std::string motivo, std::size_t byte) const;

 private:
  static constexpr std::size_t sinPosicion = static_cast<std::size_t>(-1);
  // A value being read: pending (its key seen) or an open container. Without forma the value
  // is skipped (an unknown key).
  struct Marco {
    void* destino = nullptr;
    const Forma* forma = nullptr;
    std::string_view clave;
    std::size_t posicion = sinPosicion;
    bool abierto = false;
    std::uint64_t vistos = 0;  // registro: members present
    std::size_t esperado = 0;  // registro: the member most likely next
    std::size_t hijos = 0;     // lista: elements so far
  };

  Marco& siguiente();
  bool abrir(bool esNulo);
  template <class Poner>
  bool escalar(bool esNulo, Poner poner);
  bool abrirContenedor(Forma::Clase a, Forma::Clase b);
  void exigirMiembros(const Marco& registro) const;
  [[noreturn]] void fallar(std::string motivo, std::string_view ademas = {}) const;

  std::vector<Marco> pila_;
};

// Fills the value at `destino` from JSON text. An empty text is not JSON.
void leer(std::string_view texto, void* destino, const Forma& forma);
// Fills it from a parsed JSON value, through the same events and rules.
void leer(const nlohmann::json& valor, void* destino, const Forma& forma);

}  // namespace vemlo::lectura
