// Downloads into a file: the bytes stream into a private temporary file beside the target,
// which takes the target's name only once every byte arrived and reached the disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "url.h"
#include "vemlo/cliente.h"
#include "vemlo/descriptor.h"

namespace vemlo {
namespace {

[[noreturn]] void fallaArchivo(const char* que, const std::filesystem::path& ruta) {
  throw std::filesystem::filesystem_error(que, ruta, {errno, std::generic_category()});
}

// A temporary file in the target's folder, removed unless `conservar` renamed it into place.
class Temporal {
 public:
  explicit Temporal(const std::filesystem::path& destino)
      : ruta_(destino.parent_path() /
              std::string(".").append(destino.filename().string()).append(".vemlo-XXXXXX")) {
    std::string plantilla = ruta_.string();
    fd_ = Descriptor(mkostemp(plantilla.data(), O_CLOEXEC));
    ruta_ = plantilla;
    if (!fd_) fallaArchivo("mkostemp", ruta_);
  }
  ~Temporal() {
    if (!conservado_) unlink(ruta_.c_str());
  }
  Temporal(const Temporal&) = delete;
  Temporal& operator=(const Temporal&) = delete;

  void escribir(std::string_view trozo) {
    while (!trozo.empty()) {
      const auto n = write(fd_.get(), trozo.data(), trozo.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) fallaArchivo("write", ruta_);
      trozo.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  // Makes the file readable as a normal new file would be, syncs it and renames it.
  void conservar(const std::filesystem::path& destino) {
    const mode_t mascara = umask(0);
    umask(mascara);
    if (fchmod(fd_.get(), 0666 & ~mascara) != 0 || fsync(fd_.get()) != 0)
      fallaArchivo("fsync", ruta_);
    if (rename(ruta_.c_str(), destino.c_str()) != 0) fallaArchivo("rename", destino);
    conservado_ = true;
  }

 private:
  std::filesystem::path ruta_;
  Descriptor fd_;
  bool conservado_ = false;
};

}  // namespace

void Vemlo::descargar(std::string_view archivoId, const std::filesystem::path& destino,
                      const std::function<void(std::int64_t)>& alRecibir,
                      std::stop_token parar) const {
  descargarDesde(enlaceDescarga(archivoId, parar), destino, alRecibir, std::move(parar));
}

void Vemlo::descargarDesde(const std::string& url, const std::filesystem::path& destino,
                           const std::function<void(std::int64_t)>& alRecibir,
                           std::stop_token parar) const {
  Temporal temporal(std::filesystem::absolute(destino));
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
  if (respuesta.estado >= 300) {
    cuerpoDe(respuesta);
    throw ErrorVemlo::api(respuesta.estado, "desconocido");
  }
  temporal.conservar(destino);
}

}  // namespace vemlo
