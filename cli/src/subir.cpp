// The folder walk and the uploads: first a plan (folders to make, files to send, total
// bytes, entries that cannot be read), then the work in that order.
#include "subir.h"

#include <algorithm>
#include <map>
#include <set>
#include <system_error>

#include "fallos.h"
#include "progreso.h"
#include "salida.h"
#include "textos.h"
#include "vemlo/subida.h"

namespace vemlo::cli {
namespace fs = std::filesystem;
namespace {

// A path below the destination: its names, "" being the destination itself.
using Relativa = std::vector<std::string>;

struct Plan {
  std::vector<Relativa> carpetas;  // parents before children
  struct Archivo {
    fs::path local;
    Relativa carpeta;
    std::int64_t tamano = 0;
  };
  std::vector<Archivo> archivos;
  std::vector<std::pair<fs::path, std::string>> ilegibles;  // with the reason
  std::int64_t total = 0;
};

std::string textoRelativo(const Relativa& relativa, std::string_view nombre = {}) {
  std::string texto;
  for (const auto& parte : relativa) texto += parte + "/";
  return texto + std::string(nombre);
}

std::string motivoLocal(const std::error_code& error) {
  return error.message();
}

void planearArchivo(Plan& plan, const fs::path& local, const Relativa& carpeta) {
  std::error_code error;
  const auto tamano = fs::file_size(local, error);
  if (error) {
    plan.ilegibles.emplace_back(local, motivoLocal(error));
    return;
  }
  plan.archivos.push_back({local, carpeta, static_cast<std::int64_t>(tamano)});
  plan.total += static_cast<std::int64_t>(tamano);
}

void planearCarpeta(Plan& plan, const fs::path& local, Relativa relativa) {
  plan.carpetas.push_back(relativa);
  std::error_code error;
  std::vector<fs::directory_entry> entradas;
  for (fs::directory_iterator it(local, error), fin; !error && it != fin; it.increment(error))
    entradas.push_back(*it);
  if (error) {
    plan.ilegibles.emplace_back(local, motivoLocal(error));
    return;
  }
  std::ranges::sort(entradas, {}, [](const auto& e) { return e.path().filename().string(); });
  for (const auto& entrada : entradas) {
    const auto nombre = entrada.path().filename().string();
    if (nombre.starts_with(".")) continue;
    auto hija = relativa;
    hija.push_back(nombre);
    if (entrada.is_symlink(error) && fs::is_directory(entrada.path(), error)) continue;
    if (entrada.is_directory(error))
      planearCarpeta(plan, entrada.path(), std::move(hija));
    else if (entrada.is_regular_file(error))
      planearArchivo(plan, entrada.path(), relativa);
    else
      plan.ilegibles.emplace_back(entrada.path(),
                                  tr("not a regular file", "no es un archivo normal"));
  }
}

Plan planear(const std::vector<fs::path>& locales) {
  Plan plan;
  for (const auto& local : locales) {
    if (fs::is_directory(local))
      planearCarpeta(plan, local, {nombreLocal(local)});
    else
      planearArchivo(plan, local, {});
  }
  return plan;
}

// Runs the plan, keeping the remote id of every folder made or found.
class Trabajo {
 public:
  Trabajo(const Vemlo& api, const VistaCarpeta& destino, std::stop_token parar, std::int64_t total)
      : api_(api), parar_(std::move(parar)), progreso_(total) {
    ids_[{}] = destino.id;
    vistas_.emplace(destino.id, destino);
  }

  void carpeta(const Relativa& relativa) {
    if (relativa.empty() || ids_.contains(relativa) || fallidas_.contains(padreDe(relativa)))
      return marcarSiFallida(relativa);
    const auto padre = ids_.at(padreDe(relativa));
    try {
      ids_[relativa] = asegurar(padre, relativa.back());
    } catch (const ErrorVemlo& e) {
      siCancelado();
      fallidas_.insert(relativa);
      fallar(textoRelativo(relativa), e.descripcion());
    }
  }

  void archivo(const Plan::Archivo& archivo) {
    const auto nombre = archivo.local.filename().string();
    if (fallidas_.contains(archivo.carpeta)) {
      ++resultado_.fallidos;
      return;
    }
    progreso_.etiqueta(textoRelativo(archivo.carpeta, nombre));
    try {
      const auto avanzar = [&](double fraccion) {
        progreso_.hechos(hechos_ +
                         static_cast<std::int64_t>(fraccion * static_cast<double>(archivo.tamano)));
      };
      subirArchivo(archivo.local, ids_.at(archivo.carpeta), api_,
                   {.nombre = nombre, .alAvanzar = avanzar, .parar = parar_});
      ++resultado_.subidos;
    } catch (const ErrorVemlo& e) {
      siCancelado();
      fallar(textoRelativo(archivo.carpeta, nombre), e.descripcion());
    } catch (const fs::filesystem_error& e) {
      fallar(archivo.local.string(), motivoLocal(e.code()));
    }
    hechos_ += archivo.tamano;
    progreso_.hechos(hechos_);
  }

  void fallar(const std::string& que, const std::string& motivo) {
    progreso_.limpiar();
    avisar(trf("couldn't upload {}: {}", "no se pudo subir {}: {}", {citar(que), motivo}));
    ++resultado_.fallidos;
  }

  const ResultadoSubida& resultado() const { return resultado_; }

 private:
  static Relativa padreDe(Relativa relativa) {
    relativa.pop_back();
    return relativa;
  }

  void marcarSiFallida(const Relativa& relativa) {
    if (!relativa.empty() && !ids_.contains(relativa)) fallidas_.insert(relativa);
  }

  void siCancelado() const {
    if (parar_.stop_requested() || esCancelacion(std::current_exception()))
      throw ErrorVemlo::cancelado();
  }

  // The id of the folder `nombre` inside `padreId`: the existing one, else a new one.
  std::string asegurar(const std::string& padreId, const std::string& nombre) {
    auto vista = vistas_.find(padreId);
    if (vista == vistas_.end())
      vista = vistas_.emplace(padreId, api_.verCarpeta(padreId, parar_)).first;
    for (const auto& hija : vista->second.carpetas)
      if (hija.nombre == nombre) return hija.id;
    return api_.crearCarpeta(padreId, nombre, parar_);
  }

  const Vemlo& api_;
  std::stop_token parar_;
  Progreso progreso_;
  std::map<Relativa, std::string> ids_;
  std::map<std::string, VistaCarpeta> vistas_;  // views of folders that existed, by id
  std::set<Relativa> fallidas_;
  std::int64_t hechos_ = 0;
  ResultadoSubida resultado_;
};

}  // namespace

std::string nombreLocal(const fs::path& local) {
  const auto normal = fs::absolute(local).lexically_normal();
  auto nombre = normal.filename().string();
  if (nombre.empty()) nombre = normal.parent_path().filename().string();
  if (nombre.empty())
    throw ErrorUso(trf("{} has no name to give the folder on Vemlo.",
                       "{} no tiene un nombre para la carpeta en Vemlo.", {citar(local.string())}));
  return nombre;
}

ResultadoSubida subirTodo(const Vemlo& api, const std::vector<fs::path>& locales,
                          const VistaCarpeta& destino, std::stop_token parar) {
  const auto plan = planear(locales);
  Trabajo trabajo(api, destino, std::move(parar), plan.total);
  for (const auto& [local, motivo] : plan.ilegibles) trabajo.fallar(local.string(), motivo);
  for (const auto& carpeta : plan.carpetas) trabajo.carpeta(carpeta);
  for (const auto& archivo : plan.archivos) trabajo.archivo(archivo);
  return trabajo.resultado();
}

}  // namespace vemlo::cli
