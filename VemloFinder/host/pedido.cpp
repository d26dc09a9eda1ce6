// A kernel request and its one answer.
#include "pedido.h"

#include <cerrno>
#include <utility>

namespace vemlo::finder::host {

void Vivos::entrar() {
  std::lock_guard bloqueo(candado_);
  ++cuantos_;
}

void Vivos::salir() {
  std::lock_guard bloqueo(candado_);
  if (--cuantos_ == 0) ninguno_.notify_all();
}

void Vivos::esperarNinguno() {
  std::unique_lock bloqueo(candado_);
  ninguno_.wait(bloqueo, [this] { return cuantos_ == 0; });
}

Pedido::Pedido(fuse_req_t req, Vivos& vivos) : req_(req), vivos_(&vivos) {
  vivos_->entrar();
}

Pedido::Pedido(Pedido&& otro) noexcept
    : req_(std::exchange(otro.req_, nullptr)), vivos_(std::exchange(otro.vivos_, nullptr)) {}

Pedido::~Pedido() {
  if (req_) fuse_reply_err(req_, EIO);
  if (vivos_) vivos_->salir();
}

fuse_req_t Pedido::tomar() {
  return std::exchange(req_, nullptr);
}

int Pedido::error(int codigo) {
  const auto req = tomar();
  return req ? fuse_reply_err(req, codigo) : -1;
}

int Pedido::entrada(const fuse_entry_param& entrada) {
  const auto req = tomar();
  return req ? fuse_reply_entry(req, &entrada) : -1;
}

int Pedido::atributos(const struct stat& st, double vigencia) {
  const auto req = tomar();
  return req ? fuse_reply_attr(req, &st, vigencia) : -1;
}

int Pedido::abierto(const fuse_file_info& fi) {
  const auto req = tomar();
  return req ? fuse_reply_open(req, &fi) : -1;
}

int Pedido::creado(const fuse_entry_param& entrada, const fuse_file_info& fi) {
  const auto req = tomar();
  return req ? fuse_reply_create(req, &entrada, &fi) : -1;
}

int Pedido::escrito(std::size_t bytes) {
  const auto req = tomar();
  return req ? fuse_reply_write(req, bytes) : -1;
}

int Pedido::datos(fuse_bufvec& datos) {
  const auto req = tomar();
  return req ? fuse_reply_data(req, &datos, FUSE_BUF_SPLICE_MOVE) : -1;
}

int Pedido::buffer(const char* datos, std::size_t bytes) {
  const auto req = tomar();
  return req ? fuse_reply_buf(req, datos, bytes) : -1;
}

int Pedido::espacio(const struct statvfs& st) {
  const auto req = tomar();
  return req ? fuse_reply_statfs(req, &st) : -1;
}

int Pedido::tamanoAtributo(std::size_t bytes) {
  const auto req = tomar();
  return req ? fuse_reply_xattr(req, bytes) : -1;
}

}  // namespace vemlo::finder::host
