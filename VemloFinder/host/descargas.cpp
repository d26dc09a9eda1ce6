// A download shared by its readers: the bytes on disk, the reads waiting for more, the end;
// and the domain's table of the downloads still running and of those stopped half-way.
#include "descargas.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

// Stopped downloads kept at most: each may be a large part of a large file.
constexpr std::size_t pausadasMaximas = 4;
constexpr const char* prefijo = "parcial.";
// A download link serves the file's current bytes, and a change on the service may take this
// long to reach the host's table: older bytes might be of another version under the same name.
constexpr auto vigenciaPausada = std::chrono::seconds(45);

void borrar(const fs::path& ruta) {
  std::error_code ignorado;
  fs::remove(ruta, ignorado);
}

// A new file "parcial.XXXXXX" in `carpeta`; sets `ruta` to it.
Descriptor archivoNuevo(const fs::path& carpeta, fs::path& ruta) {
  std::string plantilla = (carpeta / (std::string(prefijo) + "XXXXXX")).string();
  Descriptor fd(mkostemp(plantilla.data(), O_CLOEXEC));
  if (!fd) throw fs::filesystem_error("mkostemp", plantilla, {errno, std::generic_category()});
  ruta = plantilla;
  return fd;
}

}  // namespace

Descarga::Descarga(const fs::path& carpeta, std::string version) : version_(std::move(version)) {
  fd_ = archivoNuevo(carpeta, archivo_);
}

Descarga::Descarga(const Pausada& pausada)
    : archivo_(pausada.archivo),
      version_(pausada.version),
      fd_(::open(archivo_.c_str(), O_RDONLY | O_CLOEXEC)),
      llegados_(pausada.bytes) {
  if (!fd_) throw fs::filesystem_error("open", archivo_, {errno, std::generic_category()});
}

Descarga::~Descarga() {
  // Never started, or dropped before its end: its file is nobody's.
  if (!terminada_) ::unlink(archivo_.c_str());
}

void Descarga::alLlegar(std::int64_t hasta, Aviso aviso) {
  std::exception_ptr fallo;
  {
    std::lock_guard bloqueo(candado_);
    if (hasta > llegados_ && !terminada_) {
      esperando_.emplace(hasta, std::move(aviso));
      return;
    }
    if (hasta > llegados_) fallo = fallo_;
  }
  aviso(fallo);
}

void Descarga::llegaron(std::int64_t bytes) {
  std::vector<Aviso> listos;
  {
    std::lock_guard bloqueo(candado_);
    llegados_ = std::max(llegados_, bytes);  // a download started again rewrites the same bytes
    while (!esperando_.empty() && esperando_.begin()->first <= bytes) {
      listos.push_back(std::move(esperando_.begin()->second));
      esperando_.erase(esperando_.begin());
    }
  }
  for (auto& aviso : listos) aviso(nullptr);
}

void Descarga::terminar(std::exception_ptr fallo, std::optional<fs::path> guardado) {
  std::multimap<std::int64_t, Aviso> esperando;
  std::int64_t llegados = 0;
  {
    std::lock_guard bloqueo(candado_);
    terminada_ = true;
    fallo_ = fallo;
    guardado_ = std::move(guardado);
    llegados = llegados_;
    esperando.swap(esperando_);
  }
  for (auto& [hasta, aviso] : esperando) aviso(hasta <= llegados ? nullptr : fallo);
}

void Descarga::fijarProgreso(fp::ProgressPtr progreso) {
  bool cancelar = false;
  {
    std::lock_guard bloqueo(candado_);
    progreso_ = progreso;
    cancelar = cancelada_;
  }
  if (cancelar) progreso->cancel();
}

void Descarga::cancelar() {
  fp::ProgressPtr progreso;
  {
    std::lock_guard bloqueo(candado_);
    cancelada_ = true;
    progreso = progreso_;
  }
  if (progreso) progreso->cancel();
}

bool Descarga::completa() const {
  std::lock_guard bloqueo(candado_);
  return terminada_ && !fallo_;
}

bool Descarga::porDelante(std::int64_t desde, std::int64_t margen) const {
  std::lock_guard bloqueo(candado_);
  return !terminada_ && desde > llegados_ + margen;
}

bool Descarga::cancelada() const {
  std::lock_guard bloqueo(candado_);
  return cancelada_;
}

std::int64_t Descarga::llegados() const {
  std::lock_guard bloqueo(candado_);
  return llegados_;
}

std::optional<fs::path> Descarga::guardado() const {
  std::lock_guard bloqueo(candado_);
  return guardado_;
}

Descargas::Descargas(fs::path carpeta) : carpeta_(std::move(carpeta)) {
  for (const auto& archivo : fs::directory_iterator(carpeta_))
    if (archivo.path().filename().string().starts_with(prefijo)) borrar(archivo.path());
}

std::pair<std::shared_ptr<Descarga>, bool> Descargas::unirse(const std::string& id,
                                                             const std::string& version) {
  std::lock_guard bloqueo(candado_);
  auto& descarga = entradas_[id];
  const bool nueva = !descarga || descarga->version() != version;
  // Another version's download goes on for its own readers, out of the table.
  if (nueva) descarga = crear(id, version);
  ++descarga->lectores_;
  return {descarga, nueva};
}

// With candado_ held: a download in the file a stopped one of this version left, else in a
// new file; what stopped downloads of other versions left goes.
std::shared_ptr<Descarga> Descargas::crear(const std::string& id, const std::string& version) {
  std::optional<Pausada> seguir;
  std::erase_if(pausadas_, [&](const Pausada& p) {
    if (p.id != id) return false;
    if (p.version == version && !seguir &&
        std::chrono::steady_clock::now() - p.cuando < vigenciaPausada)
      seguir = p;
    else
      borrar(p.archivo);
    return true;
  });
  if (seguir) return std::make_shared<Descarga>(*seguir);
  return std::make_shared<Descarga>(carpeta_, version);
}

void Descargas::dejar(const std::string& id, const std::shared_ptr<Descarga>& descarga) {
  {
    std::lock_guard bloqueo(candado_);
    if (--descarga->lectores_ > 0) return;
    if (const auto e = entradas_.find(id); e != entradas_.end() && e->second == descarga)
      entradas_.erase(e);
  }
  descarga->cancelar();  // nothing for a download that ended
}

void Descargas::quitar(const std::string& id, const Descarga* descarga) {
  std::lock_guard bloqueo(candado_);
  if (const auto e = entradas_.find(id); e != entradas_.end() && e->second.get() == descarga)
    entradas_.erase(e);
  std::erase_if(pausadas_, [&](const Pausada& p) {
    if (p.id == id) borrar(p.archivo);
    return p.id == id;
  });
}

void Descargas::pausar(Pausada pausada) {
  std::lock_guard bloqueo(candado_);
  pausadas_.push_back(std::move(pausada));
  if (pausadas_.size() <= pausadasMaximas) return;
  borrar(pausadas_.front().archivo);
  pausadas_.pop_front();
}

}  // namespace vemlo::finder::host
