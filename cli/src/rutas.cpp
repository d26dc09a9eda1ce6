// Walking a company path from the root folder, one step per name.
#include "rutas.h"

#include "fallos.h"
#include "textos.h"

namespace vemlo::cli {
namespace {

const CarpetaHija* carpetaLlamada(const VistaCarpeta& vista, std::string_view nombre) {
  for (const auto& carpeta : vista.carpetas)
    if (carpeta.nombre == nombre) return &carpeta;
  return nullptr;
}

const ArchivoRemoto* archivoLlamado(const VistaCarpeta& vista, std::string_view nombre) {
  for (const auto& archivo : vista.archivos)
    if (archivo.nombre == nombre) return &archivo;
  return nullptr;
}

[[noreturn]] void noEsta(std::string_view nombre, const std::vector<std::string>& donde) {
  throw ErrorOrden(trf("There's nothing called {} in {}.", "No hay nada llamado {} en {}.",
                       {citar(nombre), citar(unirRuta(donde))}));
}

[[noreturn]] void noEsCarpeta(const std::vector<std::string>& ruta) {
  throw ErrorOrden(trf("{} is a file, not a folder.", "{} es un archivo, no una carpeta.",
                       {citar(unirRuta(ruta))}));
}

}  // namespace

std::vector<std::string> partirRuta(std::string_view ruta) {
  std::vector<std::string> nombres;
  while (!ruta.empty()) {
    const auto barra = ruta.find('/');
    const auto nombre = ruta.substr(0, barra);
    ruta = barra == std::string_view::npos ? std::string_view() : ruta.substr(barra + 1);
    if (nombre.empty() || nombre == ".") continue;
    if (nombre == "..") {
      if (!nombres.empty()) nombres.pop_back();
      continue;
    }
    nombres.emplace_back(nombre);
  }
  return nombres;
}

std::string unirRuta(const std::vector<std::string>& nombres) {
  if (nombres.empty()) return "/";
  std::string ruta;
  for (const auto& nombre : nombres) ruta += "/" + nombre;
  return ruta;
}

// The folder reached by following `nombres` from the root, each a folder.
VistaCarpeta Rutas::bajar(const std::vector<std::string>& nombres) const {
  auto vista = api_.verCarpeta(empresa_.carpetaRaizId, parar_);
  std::vector<std::string> recorrido;
  for (const auto& nombre : nombres) {
    const auto* hija = carpetaLlamada(vista, nombre);
    if (!hija) {
      if (archivoLlamado(vista, nombre)) {
        recorrido.push_back(nombre);
        noEsCarpeta(recorrido);
      }
      noEsta(nombre, recorrido);
    }
    recorrido.push_back(nombre);
    vista = api_.verCarpeta(hija->id, parar_);
  }
  return vista;
}

Elemento Rutas::buscar(std::string_view ruta) const {
  auto nombres = partirRuta(ruta);
  if (nombres.empty()) return {true, empresa_.carpetaRaizId, empresa_.nombre, "/", std::nullopt};
  const auto ultimo = nombres.back();
  nombres.pop_back();
  const auto padre = bajar(nombres);
  nombres.push_back(ultimo);
  if (const auto* carpeta = carpetaLlamada(padre, ultimo))
    return {true, carpeta->id, carpeta->nombre, unirRuta(nombres), std::nullopt};
  if (const auto* archivo = archivoLlamado(padre, ultimo))
    return {false, archivo->id, archivo->nombre, unirRuta(nombres), *archivo};
  nombres.pop_back();
  noEsta(ultimo, nombres);
}

VistaCarpeta Rutas::carpeta(std::string_view ruta) const {
  return bajar(partirRuta(ruta));
}

std::pair<VistaCarpeta, std::string> Rutas::padreYNombre(std::string_view ruta) const {
  auto nombres = partirRuta(ruta);
  if (nombres.empty())
    throw ErrorUso(tr("That's the company's root folder; give a path below it.",
                      "Esa es la carpeta raíz de la empresa; indica una ruta dentro de ella."));
  auto nombre = nombres.back();
  nombres.pop_back();
  return {bajar(nombres), std::move(nombre)};
}

}  // namespace vemlo::cli
