// Pedido: one request of the kernel, answered exactly once by construction. It owns the
// fuse_req_t, is move-only, and every answer takes the request, so a second answer does
// nothing; a request that nothing answered (a dropped task, a lost exception) is answered EIO
// when it is destroyed. Continuations capture it shared (`Respuesta`). `Vivos` counts the
// requests not yet answered, so that a session is destroyed only after its last one.
#pragma once

#include <fuse_lowlevel.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace vemlo::finder::host {

class Vivos {
 public:
  void entrar();
  void salir();
  void esperarNinguno();  // until every request that entered has left

 private:
  std::mutex candado_;  // guards cuantos_
  std::condition_variable ninguno_;
  long cuantos_ = 0;
};

class Pedido {
 public:
  Pedido(fuse_req_t req, Vivos& vivos);
  Pedido(Pedido&& otro) noexcept;
  Pedido& operator=(Pedido&&) = delete;
  ~Pedido();

  // The answers; each returns what libfuse returned (non-zero when the kernel no longer waits,
  // e.g. the call was interrupted), or -1 when the request was answered before.
  int error(int codigo);
  int entrada(const fuse_entry_param& entrada);
  int atributos(const struct stat& st, double vigencia);
  int abierto(const fuse_file_info& fi);
  int creado(const fuse_entry_param& entrada, const fuse_file_info& fi);
  int escrito(std::size_t bytes);
  int datos(fuse_bufvec& datos);
  int buffer(const char* datos, std::size_t bytes);
  int espacio(const struct statvfs& st);
  int tamanoAtributo(std::size_t bytes);  // an extended attribute's size, asked with no room

  // The request itself, for what builds an answer (directory entries); not for answering.
  fuse_req_t req() const { return req_; }

 private:
  fuse_req_t tomar();  // the request once, then null

  fuse_req_t req_;
  Vivos* vivos_;
};

using Respuesta = std::shared_ptr<Pedido>;

}  // namespace vemlo::finder::host
