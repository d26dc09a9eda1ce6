// The requests about one item: lookup, contents, create, modify, delete and thumbnails.
// Each answers from the service's view after the change and keeps the index current.
#include <sys/random.h>

#include <algorithm>
#include <cstdio>

#include "interno.h"
#include "vemlo/miniaturas.h"
#include "vemlo/subida.h"

namespace vemlo::finder {
namespace {

constexpr std::int64_t mayorImagen = 40'000'000;

[[noreturn]] void noExiste() {
  throw fp::Error(fp::noSuchItem);
}

bool esApi(const ErrorVemlo& e, const char* codigo) {
  return e.caso() == ErrorVemlo::Caso::api && e.codigo() == codigo;
}

// A fresh random (version 4) UUID as text.
std::string uuidNuevo() {
  unsigned char b[16];
  for (std::size_t leidos = 0; leidos < sizeof b;) {
    const auto n = getrandom(b + leidos, sizeof b - leidos, 0);
    if (n > 0) leidos += static_cast<std::size_t>(n);
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);
  b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);
  char texto[37];
  std::snprintf(texto, sizeof texto,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return texto;
}

// The service id of an item: the root folder's for the root; nothing for the trash.
std::optional<std::string> idDeServicio(const Destino& d, const std::string& raizId) {
  if (const auto* f = std::get_if<destinos::Fichero>(&d)) return f->id;
  return carpetaDe(d, raizId);
}

// Whether the service calls the item a file or a folder (the root and the trash are folders).
Clase claseDe(const Destino& d) {
  return std::holds_alternative<destinos::Fichero>(d) ? Clase::archivo : Clase::carpeta;
}

std::int64_t tamanoDe(const std::filesystem::path& archivo) {
  return static_cast<std::int64_t>(std::filesystem::file_size(archivo));
}

// An upload's progress fraction as the request's units.
std::function<void(double)> avance(fp::Progress& progreso) {
  return
      [&progreso](double f) { progreso.setCompletedUnitCount(static_cast<std::int64_t>(f * 100)); };
}

// Bytes arriving as the request's units too, out of the file's `tamano`.
fp::ContentsArrival enUnidades(const fp::ContentsArrival& alLlegar, fp::Progress& progreso,
                               std::int64_t tamano) {
  return [&alLlegar, &progreso, tamano](std::int64_t bytes) {
    if (tamano > 0)
      progreso.setCompletedUnitCount(std::min<std::int64_t>(bytes * 100 / tamano, 99));
    if (alLlegar) alLlegar(bytes);
  };
}

// The bytes of a download link, up to `limite`; nothing when it fails or is larger.
std::optional<std::string> bajarEnMemoria(const Vemlo& api, const std::string& url,
                                          std::int64_t limite, std::stop_token parar) {
  std::string datos;
  try {
    const auto r = api.transporte().recibir(
        Pedido{"GET", url, {}, std::chrono::seconds(60)},
        [&](std::string_view trozo) {
          if (static_cast<std::int64_t>(datos.size() + trozo.size()) > limite)
            throw ErrorVemlo::formato("demasiado grande");
          datos.append(trozo);
        },
        std::move(parar));
    if (r.estado >= 300) return std::nullopt;
  } catch (const ErrorVemlo&) {
    return std::nullopt;
  }
  return datos;
}

}  // namespace

Ficha ExtensionVemlo::buscarEntreHijos(const fp::ItemIdentifier& id,
                                       const fp::ItemIdentifier& padre, std::stop_token parar) {
  for (auto& f : hijos(padre, std::move(parar)))
    if (f.id == id) return std::move(f);
  noExiste();
}

Ficha ExtensionVemlo::buscarItem(const fp::ItemIdentifier& id, std::stop_token parar) {
  const auto ctx = contexto(parar);
  if (id == fp::rootContainer) return fichaRaiz(ctx.editable);
  if (id == fp::trashContainer) return fichaPapelera();
  if (auto ficha = indice_.consultar(id)) return *ficha;
  const auto d = destino(id, ctx.raizId);
  const auto* carpeta = std::get_if<destinos::Carpeta>(&d);
  if (!carpeta) noExiste();
  const auto vista = ctx.api->verCarpeta(carpeta->id, parar);
  if (vista.ruta.size() < 2) noExiste();
  const auto& anterior = vista.ruta[vista.ruta.size() - 2];
  Ficha ficha{id,
              idDeCarpeta(anterior.id, ctx.raizId),
              vista.ruta.back().nombre,
              true,
              0,
              "",
              vista.rol != "lector"};
  indice_.anotar({ficha});
  return ficha;
}

std::pair<std::filesystem::path, Ficha> ExtensionVemlo::traerContenido(
    const fp::ItemIdentifier& id, std::optional<std::filesystem::path> archivo,
    const fp::ContentsArrival& alLlegar, fp::Progress& progreso, std::stop_token parar) {
  const auto ctx = contexto(parar);
  const auto d = destino(id, ctx.raizId);
  const auto* fichero = std::get_if<destinos::Fichero>(&d);
  if (!fichero) noExiste();
  const auto ficha = indice_.consultar(id);
  if (!ficha) noExiste();
  const auto url = ctx.api->enlaceDescarga(fichero->id, parar);
  try {
    if (archivo) {
      ctx.api->descargarEn(url, *archivo, enUnidades(alLlegar, progreso, ficha->tamano), parar);
    } else {
      archivo = fp::temporaryDirectory(dominio_) / uuidNuevo();
      ctx.api->descargarDesde(url, *archivo, {}, parar);
    }
  } catch (const ErrorVemlo& e) {
    if (e.caso() == ErrorVemlo::Caso::api) throw ErrorVemlo::api(e.estado(), "noExiste");
    throw;
  }
  progreso.setCompletedUnitCount(100);
  return {*archivo, *ficha};
}

std::string ExtensionVemlo::traerTramo(const fp::ItemIdentifier& id, std::int64_t desde,
                                       std::int64_t largo, std::stop_token parar) {
  const auto ctx = contexto(parar);
  const auto d = destino(id, ctx.raizId);
  const auto* fichero = std::get_if<destinos::Fichero>(&d);
  if (!fichero) noExiste();
  return ctx.api->descargarTramo(ctx.api->enlaceDescarga(fichero->id, parar), desde, largo, parar);
}

Ficha ExtensionVemlo::crear(const Cambio& plantilla, fp::Progress& progreso,
                            std::stop_token parar) {
  const auto ctx = contexto(parar);
  const auto destinoId = carpetaDe(destino(plantilla.padre, ctx.raizId), ctx.raizId);
  if (!destinoId) noExiste();
  if (plantilla.tipo == fp::folderType) {
    auto ficha = crearCarpeta(ctx, plantilla, *destinoId, parar);
    progreso.setCompletedUnitCount(100);
    return ficha;
  }
  // Only regular files can be uploaded: not links, folders or devices.
  if (!plantilla.contenido ||
      !std::filesystem::is_regular_file(std::filesystem::symlink_status(*plantilla.contenido)))
    throw fp::Error(fp::featureUnsupported);
  const auto tamano = tamanoDe(*plantilla.contenido);
  const auto id =
      subirArchivo(*plantilla.contenido, *destinoId, *ctx.api,
                   {.nombre = plantilla.nombre, .alAvanzar = avance(progreso), .parar = parar});
  // The service's time of the new version is learnt at the folder's next listing.
  const Ficha ficha{"a:" + id, plantilla.padre, plantilla.nombre, false, tamano, "", true};
  indice_.anotar({ficha});
  progreso.setCompletedUnitCount(100);
  return ficha;
}

// A folder, or the one of that name already there.
Ficha ExtensionVemlo::crearCarpeta(const Contexto& ctx, const Cambio& plantilla,
                                   const std::string& destinoId, std::stop_token parar) {
  try {
    const auto nueva = ctx.api->crearCarpeta(destinoId, plantilla.nombre, parar);
    return buscarEntreHijos(idDeCarpeta(nueva, ctx.raizId), plantilla.padre, parar);
  } catch (const ErrorVemlo& e) {
    if (!esApi(e, "repetido")) throw;
  }
  for (const auto& f : hijos(plantilla.padre, parar))
    if (f.esCarpeta && f.nombre == plantilla.nombre)
      return buscarEntreHijos(f.id, plantilla.padre, parar);
  throw fp::Error(fp::filenameCollision);
}

Ficha ExtensionVemlo::modificar(const Cambio& item, fp::Progress& progreso, std::stop_token parar) {
  const auto ctx = contexto(parar);
  const auto d = destino(item.id, ctx.raizId);
  const auto servicioId = idDeServicio(d, ctx.raizId);
  if (!servicioId) noExiste();
  const auto clase = claseDe(d);
  auto ficha = indice_.consultar(item.id);
  if (!ficha) noExiste();
  if (item.cambia(fp::parentItemIdentifier) && item.padre != ficha->padre) {
    if (item.padre == fp::trashContainer) {
      ctx.api->aPapelera(clase, *servicioId, parar);
      ficha->padre = fp::trashContainer;
      indice_.anotar({*ficha});
      progreso.setCompletedUnitCount(100);
      return *ficha;
    }
    if (ficha->padre == fp::trashContainer)
      ctx.api->restaurar(ctx.organizacionId, clase == Clase::carpeta ? "carpeta" : "archivo",
                         *servicioId, parar);
    const auto nuevoPadre = carpetaDe(destino(item.padre, ctx.raizId), ctx.raizId);
    if (!nuevoPadre) noExiste();
    ctx.api->mover(clase, *servicioId, *nuevoPadre, parar);
  }
  if (item.cambia(fp::filename) && item.nombre != ficha->nombre)
    ctx.api->renombrar(clase, *servicioId, item.nombre, parar);
  if (item.cambia(fp::contents) && item.contenido && clase == Clase::archivo) {
    if (const auto carpeta = carpetaDe(destino(item.padre, ctx.raizId), ctx.raizId)) {
      const auto tamano = tamanoDe(*item.contenido);
      const auto nuevo =
          subirArchivo(*item.contenido, *carpeta, *ctx.api,
                       {.nombre = item.nombre, .alAvanzar = avance(progreso), .parar = parar});
      // Another id: the file was gone, and the upload made a new one under its name.
      if (*servicioId != nuevo) noExiste();
      ficha->tamano = tamano;
      ficha->fecha.clear();  // learnt at the folder's next listing
    }
  }
  // Renames and moves keep the service's time; only a new version changes it.
  if (item.cambia(fp::parentItemIdentifier)) ficha->padre = item.padre;
  if (item.cambia(fp::filename)) ficha->nombre = item.nombre;
  indice_.anotar({*ficha});
  progreso.setCompletedUnitCount(100);
  return *ficha;
}

void ExtensionVemlo::borrar(const fp::ItemIdentifier& id, std::stop_token parar) {
  const auto ctx = contexto(parar);
  const auto d = destino(id, ctx.raizId);
  // The company's root folder cannot go to the trash; say so without asking.
  if (std::holds_alternative<destinos::Raiz>(d)) throw fp::Error(fp::fileWriteNoPermission);
  const auto ficha = indice_.consultar(id);
  const bool enPapelera = std::holds_alternative<destinos::Papelera>(d) ||
                          (ficha && ficha->padre == fp::trashContainer);
  if (!enPapelera) {
    try {
      ctx.api->aPapelera(claseDe(d), *idDeServicio(d, ctx.raizId), parar);
    } catch (const ErrorVemlo& e) {
      if (!esApi(e, "noExiste")) throw;
    }
  }
  indice_.quitar(id);
}

std::optional<std::string> ExtensionVemlo::miniaturaDe(const Contexto& ctx,
                                                       const fp::ItemIdentifier& id,
                                                       std::stop_token parar) {
  const auto d = destino(id, ctx.raizId);
  const auto* fichero = std::get_if<destinos::Fichero>(&d);
  const auto ficha = fichero ? indice_.consultar(id) : std::nullopt;
  if (!ficha) return std::nullopt;
  const auto tipo = tipoPorExtension(ficha->nombre);
  const bool imagen = tipo.starts_with("image/");
  if (!imagen && !tipo.starts_with("video/")) return std::nullopt;
  try {
    auto datos = ctx.api->traerMiniatura(fichero->id, parar);
    if (!datos.empty()) return datos;
  } catch (const ErrorVemlo&) {
  }
  if (imagen && ficha->tamano > mayorImagen) return std::nullopt;
  std::string url;
  try {
    url = ctx.api->enlaceDescarga(fichero->id, parar);
  } catch (const ErrorVemlo&) {
    return std::nullopt;
  }
  if (!imagen) return miniaturaDeVideo(url);
  const auto datos = bajarEnMemoria(*ctx.api, url, mayorImagen, parar);
  return datos ? miniaturaDeImagen(*datos) : std::nullopt;
}

}  // namespace vemlo::finder
