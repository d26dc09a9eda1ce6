// The pinned items' file, and the pinning task's bell.
#include "fijados.h"

#include <nlohmann/json.hpp>

#include "vemlo/archivo.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

using nlohmann::json;

json leerArchivo(const fs::path& archivo) {
  const auto texto = leerSiHay(archivo);
  return texto ? json::parse(*texto, nullptr, false) : json::object();
}

std::set<std::string> idsDe(const json& guardado, const char* clave) {
  std::set<std::string> ids;
  if (!guardado.is_object() || !guardado.contains(clave) || !guardado[clave].is_array()) return ids;
  for (const auto& id : guardado[clave])
    if (id.is_string() && !id.get<std::string>().empty()) ids.insert(id.get<std::string>());
  return ids;
}

}  // namespace

Fijados::Fijados(fs::path archivo) : archivo_(std::move(archivo)) {
  const auto guardado = leerArchivo(archivo_);
  ids_ = idsDe(guardado, "fijados");
  protegidos_ = idsDe(guardado, "protegidos");
}

bool Fijados::fijar(const std::string& id) {
  std::lock_guard bloqueo(candado_);
  if (!ids_.insert(id).second) return false;
  try {
    escribir();
  } catch (...) {
    ids_.erase(id);  // not kept unless stored
    throw;
  }
  return true;
}

bool Fijados::soltar(const std::string& id) {
  std::lock_guard bloqueo(candado_);
  if (ids_.erase(id) == 0) return false;
  try {
    escribir();
  } catch (...) {
    ids_.insert(id);
    throw;
  }
  return true;
}

bool Fijados::contiene(const std::string& id) const {
  std::lock_guard bloqueo(candado_);
  return ids_.contains(id);
}

std::set<std::string> Fijados::todos() const {
  std::lock_guard bloqueo(candado_);
  return ids_;
}

bool Fijados::vacio() const {
  std::lock_guard bloqueo(candado_);
  return ids_.empty();
}

void Fijados::proteger(std::set<std::string> ids) {
  std::lock_guard bloqueo(candado_);
  if (ids == protegidos_) return;
  std::swap(ids, protegidos_);
  try {
    escribir();
  } catch (...) {
    std::swap(ids, protegidos_);
    throw;
  }
}

std::set<std::string> Fijados::protegidos() const {
  std::lock_guard bloqueo(candado_);
  return protegidos_;
}

void Fijados::informar(Resumen resumen) {
  std::lock_guard bloqueo(candado_);
  resumen_ = std::move(resumen);
}

Resumen Fijados::resumen() const {
  std::lock_guard bloqueo(candado_);
  return resumen_;
}

void Fijados::escribir() const {
  fs::create_directories(archivo_.parent_path());
  const json guardado = {{"fijados", ids_}, {"protegidos", protegidos_}};
  reemplazar(archivo_, guardado.dump() + "\n", Durabilidad::datosYCarpeta);
}

void Timbre::tocar() {
  std::lock_guard bloqueo(candado_);
  sonado_ = true;
  cambio_.notify_one();
}

bool Timbre::esperar(std::stop_token parar, std::optional<std::chrono::seconds> plazo) {
  std::unique_lock bloqueo(candado_);
  const auto sonado = [this] { return sonado_; };
  if (plazo)
    cambio_.wait_for(bloqueo, parar, *plazo, sonado);
  else
    cambio_.wait(bloqueo, parar, sonado);
  sonado_ = false;
  return !parar.stop_requested();
}

}  // namespace vemlo::finder::host
