// Items from the service's records, and their symbols.
#include "items.h"

namespace vemlo::app {

namespace {

Item itemDe(const ArchivoRemoto& a) {
  return {.id = a.id,
          .nombre = a.nombre,
          .tamano = a.tamanoBytes,
          .fecha = a.actualizadoEn,
          .tipo = a.tipo,
          .miniatura = a.miniatura.value_or(false),
          .carpetaId = a.carpetaId};
}

}  // namespace

std::vector<Item> itemsDe(const VistaCarpeta& vista) {
  std::vector<Item> items;
  items.reserve(vista.carpetas.size() + vista.archivos.size());
  for (const auto& c : vista.carpetas)
    items.push_back(
        {.id = c.id, .esCarpeta = true, .nombre = c.nombre, .fecha = c.creadaEn.value_or("")});
  for (const auto& a : vista.archivos) items.push_back(itemDe(a));
  return items;
}

std::vector<Item> itemsDe(const std::vector<ResultadoBusqueda>& resultados) {
  std::vector<Item> items;
  items.reserve(resultados.size());
  for (const auto& r : resultados)
    items.push_back({.id = r.id,
                     .esCarpeta = r.tipo == "carpeta",
                     .nombre = r.nombre,
                     .tamano = r.tamanoBytes,
                     .fecha = r.fecha,
                     .carpetaId = r.carpetaId});
  return items;
}

std::vector<Item> itemsDe(const std::vector<ArchivoRemoto>& archivos) {
  std::vector<Item> items;
  items.reserve(archivos.size());
  for (const auto& a : archivos) items.push_back(itemDe(a));
  return items;
}

std::vector<Item> itemsDe(const std::vector<Favorito>& favoritos) {
  std::vector<Item> items;
  items.reserve(favoritos.size());
  for (const auto& f : favoritos)
    items.push_back({.id = f.id,
                     .esCarpeta = f.tipo == "carpeta",
                     .nombre = f.nombre,
                     .tamano = f.tamanoBytes,
                     .fecha = f.fecha,
                     .tipo = f.tipoArchivo,
                     .miniatura = f.miniatura,
                     .carpetaId = f.carpetaId});
  return items;
}

QString simboloDe(const Item& item) {
  if (item.esCarpeta) return QStringLiteral("folder.fill");
  const auto tipo = item.tipo.value_or("");
  if (tipo.starts_with("image/")) return QStringLiteral("photo");
  if (tipo.starts_with("video/")) return QStringLiteral("film");
  if (tipo.starts_with("audio/")) return QStringLiteral("waveform");
  if (tipo == "application/pdf") return QStringLiteral("doc.richtext");
  return QStringLiteral("doc");
}

ArchivoRemoto archivoDe(const Item& item) {
  return {.id = item.id,
          .nombre = item.nombre,
          .tamanoBytes = item.tamano.value_or(0),
          .tipo = item.tipo.value_or(""),
          .actualizadoEn = item.fecha,
          .miniatura = item.miniatura,
          .carpetaId = item.carpetaId};
}

}  // namespace vemlo::app
