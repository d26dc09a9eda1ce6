// Downloads into a file: the bytes stream into a temporary file beside the target, which takes
// the target's name only once every byte arrived and reached the disk; or, for readers that
// follow a download, straight into the target.
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

#include <fstream>
#include <string>

#include "url.h"
#include "vemlo/archivo.h"
#include "vemlo/cliente.h"

namespace vemlo {
namespace {

// The mode of a new file as any program would make it: 0666 less the umask. The umask is read,
// not set and restored: other threads may be creating files meanwhile.
mode_t modoNuevo() {
  std::ifstream estado("/proc/self/status");
  std::string linea;
  while (std::getline(estado, linea)) {
    if (linea.starts_with("Umask:"))
      return 0666 & ~static_cast<mode_t>(std::stoul(linea.substr(6), nullptr, 8));
  }
  return 0644;
}

// A download link's answer from 300 on fails with its status.
void exigirExito(const Respuesta& respuesta) {
  if (respuesta.estado < 300) return;
  cuerpoDe(respuesta);
  throw ErrorVemlo::api(respuesta.estado, "desconocido");
}

[[noreturn]] void fallaArchivo(const char* que, const std::filesystem::path& ruta) {
  throw std::filesystem::filesystem_error(que, ruta, {errno, std::generic_category()});
}

// Every byte of `bytes` at `desde` in `fd`.
void escribirEn(int fd, std::string_view bytes, std::int64_t desde,
                const std::filesystem::path& ruta) {
  while (!bytes.empty()) {
    const auto n = ::pwrite(fd, bytes.data(), bytes.size(), desde);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fallaArchivo("pwrite", ruta);
    bytes.remove_prefix(static_cast<std::size_t>(n));
    desde += n;
  }
}

// True when the link answers a request for its byte at `desde` with that byte alone.
bool sirveDesde(Transporte& transporte, const std::string& url, std::int64_t desde,
                const std::stop_token& parar) {
  const auto byte = std::to_string(desde);
  Pedido pedido{"GET", url, {}, std::chrono::seconds(60)};
  pedido.poner("Range", "bytes=" + byte + "-" + byte);
  const auto respuesta = transporte.enviar(pedido, std::nullopt, parar);
  const auto rango = respuesta.cabecera("Content-Range");
  return respuesta.estado == 206 && rango && rango->starts_with("bytes " + byte + "-" + byte + "/");
}

}  // namespace

void Vemlo::descargar(std::string_view archivoId, const std::filesystem::path& destino,
                      const std::function<void(std::int64_t)>& alRecibir,
                      std::stop_token parar) const {
  // The link first: the token must not be moved away before it is used.
  const auto url = enlaceDescarga(archivoId, parar);
  descargarDesde(url, destino, alRecibir, std::move(parar));
}

void Vemlo::descargarDesde(const std::string& url, const std::filesystem::path& destino,
                           const std::function<void(std::int64_t)>& alRecibir,
                           std::stop_token parar) const {
  Temporal temporal(std::filesystem::absolute(destino), modoNuevo());
  std::int64_t recibidos = 0;
  const Pedido pedido{"GET", url, {}, std::chrono::seconds(60)};
  const auto respuesta = transporte_->recibir(
      pedido,
      [&](std::string_view trozo) {
        temporal.escribir(trozo);
        recibidos += static_cast<std::int64_t>(trozo.size());
        if (alRecibir) alRecibir(recibidos);
      },
      std::move(parar));
  exigirExito(respuesta);
  temporal.conservar(Durabilidad::datos);
}

void Vemlo::descargarEn(const std::string& url, const std::filesystem::path& destino,
                        const std::function<void(std::int64_t)>& alRecibir,
                        std::stop_token parar) const {
  const Descriptor fd(::open(destino.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
  if (!fd) fallaArchivo("open", destino);
  std::int64_t desde = ::lseek(fd.get(), 0, SEEK_END);
  if (desde > 0 && !sirveDesde(*transporte_, url, desde, parar)) desde = 0;
  Pedido pedido{"GET", url, {}, std::chrono::seconds(60)};
  if (desde > 0) pedido.poner("Range", "bytes=" + std::to_string(desde) + "-");
  std::int64_t hasta = desde;
  const auto respuesta = transporte_->recibir(
      pedido,
      [&](std::string_view trozo) {
        escribirEn(fd.get(), trozo, hasta, destino);
        hasta += static_cast<std::int64_t>(trozo.size());
        if (alRecibir) alRecibir(hasta);
      },
      std::move(parar));
  exigirExito(respuesta);
  if (desde > 0 && respuesta.estado != 206) throw ErrorVemlo::formato("sin rango");
  if (fdatasync(fd.get()) != 0) fallaArchivo("fdatasync", destino);
}

std::string Vemlo::descargarTramo(const std::string& url, std::int64_t desde, std::int64_t largo,
                                  std::stop_token parar) const {
  const auto primero = std::to_string(desde);
  Pedido pedido{"GET", url, {}, std::chrono::seconds(60)};
  pedido.poner("Range", "bytes=" + primero + "-" + std::to_string(desde + largo - 1));
  std::string datos;
  const auto respuesta = transporte_->recibir(
      pedido,
      [&](std::string_view trozo) {
        // More than asked for: the whole file, not the range.
        if (static_cast<std::int64_t>(datos.size() + trozo.size()) > largo)
          throw ErrorVemlo::formato("sin rango");
        datos.append(trozo);
      },
      std::move(parar));
  exigirExito(respuesta);
  const auto rango = respuesta.cabecera("Content-Range");
  if (respuesta.estado != 206 || !rango || !rango->starts_with("bytes " + primero + "-"))
    throw ErrorVemlo::formato("sin rango");
  return datos;
}

}  // namespace vemlo
