// Blob storage. Names are always random ids chosen here, never anything a client sent, so no
// request reaches outside the blob folder. Writes go through a 1 MiB buffer; reads are
// positioned reads of 1 MiB handed to the socket as the client takes them. The parts of an
// upload are written in place into one file of the whole size, which confirmation renames.
#include "almacen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <stdexcept>
#include <vector>

#include "cripto.h"
#include "http.h"
#include "vemlo/descriptor.h"

namespace vemlo::servicio {
namespace {

constexpr std::size_t bloque = 1 << 20;

bool escribirTodo(int fd, const char* datos, std::size_t n) {
  while (n > 0) {
    const auto escritos = ::write(fd, datos, n);
    if (escritos < 0 && errno == EINTR) continue;
    if (escritos <= 0) return false;
    datos += escritos;
    n -= static_cast<std::size_t>(escritos);
  }
  return true;
}

bool escribirEn(int fd, const char* datos, std::size_t n, std::int64_t en) {
  while (n > 0) {
    const auto escritos = ::pwrite(fd, datos, n, en);
    if (escritos < 0 && errno == EINTR) continue;
    if (escritos <= 0) return false;
    datos += escritos;
    en += escritos;
    n -= static_cast<std::size_t>(escritos);
  }
  return true;
}

// Room for [desde, desde + largo) and a file at least that long. Where the filesystem cannot
// allocate ahead, the size alone.
bool reservar(int fd, std::int64_t desde, std::int64_t largo) {
  if (::fallocate(fd, 0, desde, largo) == 0) return true;
  if (errno != EOPNOTSUPP) return false;
  struct stat datos {};
  if (::fstat(fd, &datos) != 0) return false;
  return datos.st_size >= desde + largo || ::ftruncate(fd, desde + largo) == 0;
}

// Streams a request body through `escribir(datos, n, desdeElPrincipio)` in blocks of up to
// 1 MiB, hashing it on the way: one pass over the bytes. More than `maximo`: "datos" (413).
template <class Escribir>
Recibido recibirCon(const httplib::ContentReader& lector, std::int64_t maximo, Escribir escribir) {
  Resumen resumen;
  std::vector<char> buffer;
  buffer.reserve(bloque);
  std::int64_t total = 0;
  std::int64_t escrito = 0;
  bool falloDisco = false;
  const auto vaciar = [&] {
    falloDisco = falloDisco || !escribir(buffer.data(), buffer.size(), escrito);
    escrito += static_cast<std::int64_t>(buffer.size());
    buffer.clear();
  };
  const bool completo = lector([&](const char* datos, std::size_t n) {
    total += static_cast<std::int64_t>(n);
    if (total > maximo || falloDisco) return true;  // read on and drop, to keep the connection
    resumen.sumar(datos, n);
    buffer.insert(buffer.end(), datos, datos + n);
    if (buffer.size() >= bloque) vaciar();
    return true;
  });
  if (!completo) throw std::runtime_error("el cuerpo no llegó entero");
  if (total > maximo) fallar(413, "datos");
  vaciar();
  if (falloDisco) throw std::runtime_error("no se pudo escribir el blob");
  return {"", total, "\"" + resumen.hexFinal() + "\""};
}

// A file being written: removed unless `terminar` renames it into place.
class Temporal {
 public:
  Temporal() : id_(nuevoId()), ruta_(entorno().blobs / ("tmp-" + id_)) {
    fd_ = ::open(ruta_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd_ < 0) throw std::runtime_error("no se pudo crear " + ruta_.string());
  }
  ~Temporal() {
    if (fd_ >= 0) ::close(fd_);
    if (!terminado_) ::unlink(ruta_.c_str());
  }
  Temporal(const Temporal&) = delete;
  Temporal& operator=(const Temporal&) = delete;
  int fd() const { return fd_; }
  std::string terminar() {
    if (::close(fd_) != 0) throw std::runtime_error("no se pudo cerrar el blob");
    fd_ = -1;
    std::filesystem::rename(ruta_, rutaBlob(id_));
    terminado_ = true;
    return id_;
  }

 private:
  std::string id_;
  std::filesystem::path ruta_;
  int fd_ = -1;
  bool terminado_ = false;
};

struct Lectura {
  int fd = -1;
  std::int64_t desde = 0;
  std::vector<char> buffer = std::vector<char>(bloque);
  ~Lectura() {
    if (fd >= 0) ::close(fd);
  }
};

// The one range of a "Range: bytes=..." header: nothing when there is none or it is not
// one well-formed range (then the whole body is served); `valido` false when unsatisfiable.
struct Rango {
  std::int64_t desde = 0, hasta = 0;
  bool valido = true;
};

std::optional<std::int64_t> numero(std::string_view texto) {
  std::int64_t valor = 0;
  const auto [fin, error] = std::from_chars(texto.data(), texto.data() + texto.size(), valor);
  if (texto.empty() || error != std::errc() || fin != texto.data() + texto.size())
    return std::nullopt;
  return valor;
}

std::optional<Rango> leerRango(const std::string& cabecera, std::int64_t tamano) {
  constexpr std::string_view prefijo = "bytes=";
  std::string_view texto(cabecera);
  if (texto.substr(0, prefijo.size()) != prefijo) return std::nullopt;
  texto.remove_prefix(prefijo.size());
  const auto guion = texto.find('-');
  if (guion == std::string_view::npos || texto.find(',') != std::string_view::npos)
    return std::nullopt;
  const auto a = numero(texto.substr(0, guion));
  const auto b = numero(texto.substr(guion + 1));
  if (!a && b) {  // the last b bytes
    if (*b == 0 || tamano == 0) return Rango{0, 0, false};
    return Rango{std::max<std::int64_t>(0, tamano - *b), tamano - 1};
  }
  if (!a || (b && *b < *a)) return std::nullopt;
  if (*a >= tamano) return Rango{0, 0, false};
  return Rango{*a, b ? std::min(*b, tamano - 1) : tamano - 1};
}

}  // namespace

std::filesystem::path rutaBlob(const std::string& blobId) {
  return entorno().blobs / blobId;
}

std::filesystem::path rutaParcial(const std::string& blobId) {
  return entorno().blobs / ("parcial-" + blobId);
}

Recibido recibirBlob(const httplib::ContentReader& lector, std::int64_t maximo) {
  Temporal temporal;
  auto recibido = recibirCon(lector, maximo, [&](const char* datos, std::size_t n, std::int64_t) {
    return escribirTodo(temporal.fd(), datos, n);
  });
  recibido.blobId = temporal.terminar();
  return recibido;
}

Recibido recibirParteEn(const std::string& blobId, std::int64_t desde, std::int64_t hueco,
                        const httplib::ContentReader& lector, std::int64_t maximo) {
  const Descriptor fd(::open(rutaParcial(blobId).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
  // The part's own room: parts then land in place, in any order, and the last makes the size.
  if (!fd || !reservar(fd.get(), desde, hueco))
    throw std::runtime_error("no se pudo preparar " + rutaParcial(blobId).string());
  auto recibido =
      recibirCon(lector, maximo, [&](const char* datos, std::size_t n, std::int64_t en) {
        // Bytes past the part's room are counted, not written: "noLlego" judges them.
        const auto cabe = std::clamp<std::int64_t>(hueco - en, 0, static_cast<std::int64_t>(n));
        return escribirEn(fd.get(), datos, static_cast<std::size_t>(cabe), desde + en);
      });
  recibido.blobId = blobId;
  return recibido;
}

void terminarEnsamblado(const std::string& blobId) {
  std::error_code error;
  std::filesystem::rename(rutaParcial(blobId), rutaBlob(blobId), error);
  // Renamed by an earlier confirmation that failed afterwards: already in place.
  if (error && !std::filesystem::exists(rutaBlob(blobId)))
    throw std::runtime_error("falta el archivo de la subida " + blobId);
}

std::string guardarBlob(const std::string& bytes) {
  Temporal temporal;
  if (!escribirTodo(temporal.fd(), bytes.data(), bytes.size()))
    throw std::runtime_error("no se pudo escribir el blob");
  return temporal.terminar();
}

void borrarBlob(const std::string& blobId) {
  std::error_code error;
  std::filesystem::remove(rutaBlob(blobId), error);
  std::filesystem::remove(rutaParcial(blobId), error);
}

std::string sinComillas(std::string etag) {
  if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"')
    etag = etag.substr(1, etag.size() - 2);
  return etag;
}

void servirBlob(const httplib::Request& req, httplib::Response& res, const std::string& blobId,
                const std::string& tipo) {
  auto lectura = std::make_shared<Lectura>();
  lectura->fd = ::open(rutaBlob(blobId).c_str(), O_RDONLY | O_CLOEXEC);
  if (lectura->fd < 0) noExiste();
  const std::int64_t tamano = ::lseek(lectura->fd, 0, SEEK_END);
  std::int64_t largo = tamano;
  res.set_header("Accept-Ranges", "bytes");
  if (req.has_header("Range")) {
    if (const auto rango = leerRango(req.get_header_value("Range"), tamano)) {
      if (!rango->valido) {
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(tamano));
        res.set_content("", "text/plain");
        return;
      }
      lectura->desde = rango->desde;
      largo = rango->hasta - rango->desde + 1;
      res.status = 206;
      res.set_header("Content-Range", "bytes " + std::to_string(rango->desde) + "-" +
                                          std::to_string(rango->hasta) + "/" +
                                          std::to_string(tamano));
    }
  }
  if (largo == 0) {
    res.set_content("", tipo);
    return;
  }
  res.set_content_provider(
      static_cast<std::size_t>(largo), tipo,
      [lectura](std::size_t desplazamiento, std::size_t pendiente, httplib::DataSink& sumidero) {
        const auto n = ::pread(lectura->fd, lectura->buffer.data(),
                               std::min(pendiente, lectura->buffer.size()),
                               lectura->desde + static_cast<std::int64_t>(desplazamiento));
        if (n <= 0) return false;
        return sumidero.write(lectura->buffer.data(), static_cast<std::size_t>(n));
      });
}

}  // namespace vemlo::servicio
