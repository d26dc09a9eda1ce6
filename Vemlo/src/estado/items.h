// Item: the row every file and folder list of the app shows, built from a folder view or from
// search results in the order the service gave, with the symbol that stands for it.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vemlo/registros.h"

namespace vemlo::app {

struct Item {
  std::string id;
  bool esCarpeta = false;
  std::string nombre;
  std::optional<std::int64_t> tamano{};  // none for folders
  std::string fecha{};                   // ISO-8601 as received; empty when absent
  std::optional<std::string> tipo{};     // a file's media type
  bool miniatura = false;                // the service keeps a thumbnail
  std::optional<std::string> carpetaId{};
  bool operator==(const Item&) const = default;
};

// The folders first, then the files, each in the order received.
std::vector<Item> itemsDe(const VistaCarpeta& vista);
std::vector<Item> itemsDe(const std::vector<ResultadoBusqueda>& resultados);
std::vector<Item> itemsDe(const std::vector<ArchivoRemoto>& archivos);
std::vector<Item> itemsDe(const std::vector<Favorito>& favoritos);

// The item's symbol (see iconos.h): folder, picture, video, sound, PDF or document.
QString simboloDe(const Item& item);

// The file an item stands for, as the state's file operations take it.
ArchivoRemoto archivoDe(const Item& item);

}  // namespace vemlo::app
