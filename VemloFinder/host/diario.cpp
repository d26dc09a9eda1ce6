// The journal's writer. A batch is everything queued when the writer wakes: first the copies
// of its durable lines are pushed to the disk together (writeback started for all, then each
// synced) and their folder synced once, then the lines go out in one append and one
// fdatasync. A write cut short is cut off again, so the file only ever holds whole lines.
#include "diario.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "vemlo/archivo.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fallaArchivo(const char* que, const fs::path& ruta) {
  throw fs::filesystem_error(que, ruta, {errno, std::generic_category()});
}

Descriptor abrirParaAnexar(const fs::path& archivo) {
  Descriptor fd(::open(archivo.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
  if (!fd) fallaArchivo("open", archivo);
  return fd;
}

std::uint64_t tamanoDe(int fd, const fs::path& ruta) {
  const auto fin = ::lseek(fd, 0, SEEK_END);
  if (fin < 0) fallaArchivo("lseek", ruta);
  return static_cast<std::uint64_t>(fin);
}

void sincronizarCarpeta(const fs::path& carpeta) {
  const Descriptor fd(::open(carpeta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd || ::fsync(fd.get()) != 0) fallaArchivo("fsync", carpeta);
}

std::string juntar(const std::vector<std::string>& lineas) {
  std::string texto;
  for (const auto& linea : lineas) texto.append(linea).push_back('\n');
  return texto;
}

}  // namespace

Diario::Diario(fs::path archivo, fs::path carpetaCopias)
    : archivo_(std::move(archivo)),
      carpetaCopias_(std::move(carpetaCopias)),
      fd_(abrirParaAnexar(archivo_)),
      escrito_(tamanoDe(fd_.get(), archivo_)),
      bytes_(escrito_),
      escritor_([this](std::stop_token parar) { escribir(std::move(parar)); }) {}

Diario::~Diario() {
  escritor_.request_stop();
  if (escritor_.joinable()) escritor_.join();
}

std::vector<std::string> Diario::leer(const fs::path& archivo) {
  const auto texto = leerSiHay(archivo).value_or("");
  std::vector<std::string> lineas;
  for (std::size_t desde = 0;;) {
    const auto fin = texto.find('\n', desde);
    if (fin == std::string::npos) return lineas;
    lineas.push_back(texto.substr(desde, fin - desde));
    desde = fin + 1;
  }
}

Diario::Turno Diario::anotar(std::string linea) {
  return encolar({0, std::move(linea), false, std::nullopt, std::nullopt});
}

Diario::Turno Diario::anotarDuradero(std::string linea, std::optional<fs::path> copia) {
  return encolar({0, std::move(linea), true, std::move(copia), std::nullopt});
}

Diario::Turno Diario::encolar(Pieza pieza) {
  std::lock_guard bloqueo(candado_);
  if (pieza.todo) {
    bytes_ = 0;
    for (const auto& linea : *pieza.todo) bytes_ += linea.size() + 1;
  } else {
    bytes_ += pieza.linea.size() + 1;
  }
  pieza.turno = ++ultimo_;
  cola_.push_back(std::move(pieza));
  hayCola_.notify_one();
  return ultimo_;
}

void Diario::esperar(Turno turno) {
  std::unique_lock bloqueo(candado_);
  hecho_.wait(bloqueo, [&] { return resuelto_ >= turno; });
  if (auto fallo = fallos_.extract(turno)) std::rethrow_exception(fallo.mapped());
}

Diario::Turno Diario::reescribir(std::vector<std::string> lineas) {
  return encolar({0, "", true, std::nullopt, std::move(lineas)});
}

std::uint64_t Diario::bytes() const {
  std::lock_guard bloqueo(candado_);
  return bytes_;
}

// Stops only with nothing queued, so every turn given is resolved.
void Diario::escribir(std::stop_token parar) {
  std::unique_lock bloqueo(candado_);
  for (;;) {
    if (!hayCola_.wait(bloqueo, parar, [&] { return !cola_.empty(); })) return;
    Lote lote;
    lote.swap(cola_);
    bloqueo.unlock();
    std::unordered_map<Turno, std::exception_ptr> fallos;
    escribirLote(lote, fallos);
    bloqueo.lock();
    fallos_.merge(fallos);
    resuelto_ = lote.back().turno;
    hecho_.notify_all();
  }
}

void Diario::escribirLote(Lote& lote, std::unordered_map<Turno, std::exception_ptr>& fallos) {
  sincronizarCopias(lote, fallos);
  try {
    std::string texto;
    bool duradero = false;
    for (const auto& pieza : lote) {
      if (pieza.todo) {
        reemplazarArchivo(*pieza.todo);
        texto.clear();  // what came before it is in the replacement already
      } else if (!fallos.contains(pieza.turno)) {
        texto.append(pieza.linea).push_back('\n');
        duradero = duradero || pieza.duradero;
      }
    }
    anexar(texto);
    if (duradero && ::fdatasync(fd_.get()) != 0) fallaArchivo("fdatasync", archivo_);
  } catch (...) {
    for (const auto& pieza : lote)
      if (pieza.duradero) fallos.try_emplace(pieza.turno, std::current_exception());
  }
}

// Starts the writeback of every copy, then waits for each: the disk gets them together. A
// copy that fails keeps its line out of the journal.
void Diario::sincronizarCopias(Lote& lote, std::unordered_map<Turno, std::exception_ptr>& fallos) {
  std::vector<std::pair<const Pieza*, Descriptor>> abiertas;
  for (const auto& pieza : lote) {
    if (!pieza.copia) continue;
    Descriptor fd(::open(pieza.copia->c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd && errno == ENOENT) continue;  // handed over or dropped meanwhile
    if (fd) ::sync_file_range(fd.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    abiertas.emplace_back(&pieza, std::move(fd));
  }
  for (auto& [pieza, fd] : abiertas) {
    try {
      if (!fd || ::fdatasync(fd.get()) != 0) fallaArchivo("fdatasync", *pieza->copia);
    } catch (...) {
      fallos.emplace(pieza->turno, std::current_exception());
    }
  }
  if (abiertas.empty()) return;
  try {
    sincronizarCarpeta(carpetaCopias_);
  } catch (...) {
    for (const auto& [pieza, fd] : abiertas)
      fallos.try_emplace(pieza->turno, std::current_exception());
  }
}

void Diario::anexar(const std::string& texto) {
  if (texto.empty()) return;
  try {
    escribirTodo(fd_.get(), texto, archivo_);
  } catch (...) {
    // Whatever part went out is cut off, so that the next line starts on a line of its own.
    if (::ftruncate(fd_.get(), static_cast<off_t>(escrito_)) != 0) fd_ = Descriptor();
    throw;
  }
  escrito_ += texto.size();
}

void Diario::reemplazarArchivo(const std::vector<std::string>& lineas) {
  const auto texto = juntar(lineas);
  reemplazar(archivo_, texto, Durabilidad::datosYCarpeta);
  fd_ = abrirParaAnexar(archivo_);
  escrito_ = texto.size();
}

}  // namespace vemlo::finder::host
