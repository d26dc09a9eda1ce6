// The item table: nodes by inode and identifier, and each folder's children by name.
#include "arbol.h"

#include <ctime>

#include "finder/elemento.h"
#include "vemlo/mensajes.h"

namespace vemlo::finder::host {

bool nombreValido(const std::string& nombre) {
  return nombre.size() <= limiteNombre && fp::isSafeFileName(nombre);
}

namespace {

// Cuts `texto` to at most `bytes`, never in the middle of a UTF-8 character.
void recortarUtf8(std::string& texto, std::size_t bytes) {
  texto.resize(bytes);
  if (texto.empty()) return;
  auto inicio = texto.size() - 1;
  while (inicio > 0 && (static_cast<unsigned char>(texto[inicio]) & 0xC0) == 0x80) --inicio;
  const auto primero = static_cast<unsigned char>(texto[inicio]);
  const std::size_t debe = primero >= 0xF0 ? 4 : primero >= 0xE0 ? 3 : primero >= 0xC0 ? 2 : 1;
  if (texto.size() - inicio < debe) texto.resize(inicio);
}

}  // namespace

std::string nombreEnConflicto(const std::string& nombre,
                              std::chrono::system_clock::time_point cuando, int n) {
  const auto punto = nombre.rfind('.');
  const bool conExtension = punto != std::string::npos && punto > 0;
  auto raiz = nombre.substr(0, conExtension ? punto : nombre.size());
  const auto extension = conExtension ? nombre.substr(punto) : std::string();
  const auto t = std::chrono::system_clock::to_time_t(cuando);
  std::tm local{};
  localtime_r(&t, &local);
  char fecha[32];
  std::strftime(fecha, sizeof fecha, "%Y-%m-%d %H.%M", &local);
  auto marca = std::string(" (") + (enEspanol() ? "conflicto " : "conflict ") + fecha +
               (n > 1 ? " " + std::to_string(n) : "") + ")";
  const auto largo = raiz.size() + marca.size() + extension.size();
  if (largo > limiteNombre)
    recortarUtf8(raiz, raiz.size() - std::min(raiz.size(), largo - limiteNombre));
  return raiz + marca + extension;
}

std::string idLocal(const std::string& clave) {
  return "n:" + clave;
}
bool esLocal(const std::string& id) {
  return id.starts_with("n:");
}

Arbol::Arbol() {
  auto& raiz = nodos_[FUSE_ROOT_ID];
  raiz.ino = FUSE_ROOT_ID;
  raiz.id = raiz.padre = fp::rootContainer;
  raiz.esCarpeta = true;
  raiz.capacidades = fp::reading | fp::writing;
  porId_[fp::rootContainer] = FUSE_ROOT_ID;
}

Nodo& Arbol::nodo(const std::string& id) {
  if (const auto i = porId_.find(id); i != porId_.end()) return nodos_.at(i->second);
  const auto ino = siguiente_++;
  porId_[id] = ino;
  auto& n = nodos_[ino];
  n.ino = ino;
  n.id = id;
  n.presente = false;
  return n;
}

void Arbol::desprender(Nodo& n) {
  if (!n.presente) return;
  auto& hermanos = hijos_[n.padre];
  if (const auto i = hermanos.find(n.nombre); i != hermanos.end() && i->second == n.ino)
    hermanos.erase(i);
  n.presente = false;
  tocar(n);
}

void Arbol::prender(Nodo& n) {
  hijos_[n.padre][n.nombre] = n.ino;
  n.presente = true;
  tocar(n);
}

std::optional<Nodo> Arbol::aplicar(const fp::Item& item) {
  std::lock_guard candado(candado_);
  return aplicarCon(item);
}

std::optional<Nodo> Arbol::aplicarCon(const fp::Item& item) {
  auto& n = nodo(item.itemIdentifier());
  desprender(n);
  if (!nombreValido(item.filename()) || n.ino == FUSE_ROOT_ID) return std::nullopt;
  n.padre = item.parentItemIdentifier();
  n.nombre = item.filename();
  n.esCarpeta = item.contentType() == fp::folderType;
  if (n.clave.empty()) n.tamano = item.documentSize().value_or(0);
  n.fecha = item.contentModificationDate();
  n.capacidades = item.capabilities();
  n.version = item.itemVersion().contentVersion;
  prender(n);
  return n;
}

// In one step under the lock, so that nobody finds a child missing while the folder is listed.
std::vector<Aviso> Arbol::fijarHijos(const std::string& carpetaId,
                                     const std::vector<fp::ItemPtr>& items) {
  std::lock_guard candado(candado_);
  listados_[carpetaId] = std::chrono::steady_clock::now();
  std::vector<Nodo> idos;
  for (const auto& [nombre, ino] : hijos_[carpetaId])
    if (!esLocal(nodos_.at(ino).id)) idos.push_back(nodos_.at(ino));
  for (const auto& n : idos) desprender(nodos_.at(n.ino));
  std::vector<Aviso> avisos;
  for (const auto& item : items) {
    std::optional<Nodo> antes;
    if (const auto i = porId_.find(item->itemIdentifier()); i != porId_.end()) {
      const auto& n = nodos_.at(i->second);
      if (!n.version.empty() && n.version != item->itemVersion().contentVersion) antes = n;
    }
    if (auto despues = aplicarCon(*item); antes && despues)
      avisos.emplace_back(std::move(antes), std::move(despues));
  }
  for (auto& n : idos)
    if (!nodos_.at(n.ino).presente) avisos.emplace_back(std::move(n), std::nullopt);
  return avisos;
}

std::optional<Nodo> Arbol::quitar(const std::string& id) {
  std::lock_guard candado(candado_);
  const auto i = porId_.find(id);
  if (i == porId_.end() || i->second == FUSE_ROOT_ID) return std::nullopt;
  auto& n = nodos_.at(i->second);
  if (!n.presente) return std::nullopt;
  auto antes = n;
  desprender(n);
  return antes;
}

std::uint64_t Arbol::reloj() const {
  std::lock_guard candado(candado_);
  return reloj_;
}

std::optional<Aviso> Arbol::aplicarDesde(const fp::Item& item, std::uint64_t desde) {
  std::lock_guard candado(candado_);
  if (const auto r = retirados_.find(item.itemIdentifier());
      r != retirados_.end() && r->second > desde)
    return std::nullopt;
  std::optional<Nodo> antes;
  if (const auto i = porId_.find(item.itemIdentifier()); i != porId_.end()) {
    const auto& n = nodos_.at(i->second);
    if (n.cambio > desde) return std::nullopt;
    if (n.presente) antes = n;
  }
  return Aviso{std::move(antes), aplicarCon(item)};
}

std::optional<Nodo> Arbol::quitarDesde(const std::string& id, std::uint64_t desde) {
  std::lock_guard candado(candado_);
  const auto i = porId_.find(id);
  if (i == porId_.end() || i->second == FUSE_ROOT_ID) return std::nullopt;
  auto& n = nodos_.at(i->second);
  if (!n.presente || n.cambio > desde) return std::nullopt;
  auto antes = n;
  desprender(n);
  return antes;
}

std::optional<Nodo> Arbol::porIno(fuse_ino_t ino) const {
  std::lock_guard candado(candado_);
  const auto i = nodos_.find(ino);
  if (i == nodos_.end()) return std::nullopt;
  return i->second;
}

std::optional<Nodo> Arbol::porId(const std::string& id) const {
  std::lock_guard candado(candado_);
  const auto i = porId_.find(id);
  if (i == porId_.end()) return std::nullopt;
  return nodos_.at(i->second);
}

std::optional<Nodo> Arbol::hijo(fuse_ino_t carpeta, const std::string& nombre) const {
  std::lock_guard candado(candado_);
  const auto c = nodos_.find(carpeta);
  if (c == nodos_.end()) return std::nullopt;
  const auto h = hijos_.find(c->second.id);
  if (h == hijos_.end()) return std::nullopt;
  const auto i = h->second.find(nombre);
  if (i == h->second.end()) return std::nullopt;
  return nodos_.at(i->second);
}

std::vector<Nodo> Arbol::hijos(fuse_ino_t carpeta) const {
  std::lock_guard candado(candado_);
  std::vector<Nodo> lista;
  const auto c = nodos_.find(carpeta);
  if (c == nodos_.end()) return lista;
  const auto h = hijos_.find(c->second.id);
  if (h == hijos_.end()) return lista;
  lista.reserve(h->second.size());
  for (const auto& [nombre, ino] : h->second) lista.push_back(nodos_.at(ino));
  return lista;
}

std::vector<std::string> Arbol::idsDelServicio() const {
  std::lock_guard candado(candado_);
  std::vector<std::string> ids;
  for (const auto& [ino, n] : nodos_)
    if (n.presente && ino != FUSE_ROOT_ID && !esLocal(n.id)) ids.push_back(n.id);
  return ids;
}

bool Arbol::listada(fuse_ino_t carpeta) const {
  std::lock_guard candado(candado_);
  const auto c = nodos_.find(carpeta);
  return c != nodos_.end() && listados_.contains(c->second.id);
}

bool Arbol::fresco(fuse_ino_t carpeta, std::chrono::seconds vigencia) const {
  std::lock_guard candado(candado_);
  const auto c = nodos_.find(carpeta);
  if (c == nodos_.end()) return false;
  const auto l = listados_.find(c->second.id);
  return l != listados_.end() && std::chrono::steady_clock::now() - l->second < vigencia;
}

Nodo Arbol::crearLocal(const std::string& padre, const std::string& nombre,
                       const std::string& clave) {
  std::lock_guard candado(candado_);
  auto& n = nodo(idLocal(clave));
  n.padre = padre;
  n.nombre = nombre;
  n.clave = clave;
  n.tamano = 0;
  n.fecha =
      std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
  n.capacidades = 63;
  if (const auto h = hijos_[padre].find(nombre); h != hijos_[padre].end()) {
    nodos_.at(h->second).presente = false;
    tocar(nodos_.at(h->second));
  }
  prender(n);
  return n;
}

void Arbol::mover(const std::string& id, const std::string& padre, const std::string& nombre) {
  std::lock_guard candado(candado_);
  auto& n = nodo(id);
  desprender(n);
  n.padre = padre;
  n.nombre = nombre;
  if (const auto h = hijos_[padre].find(nombre); h != hijos_[padre].end()) {
    nodos_.at(h->second).presente = false;
    tocar(nodos_.at(h->second));
  }
  prender(n);
}

std::optional<Nodo> Arbol::cambiarId(const std::string& viejo, const std::string& nuevo) {
  std::lock_guard candado(candado_);
  const auto v = porId_.find(viejo);
  if (v == porId_.end()) return std::nullopt;
  auto& local = nodos_.at(v->second);
  porId_.erase(v);
  if (const auto otro = porId_.find(nuevo); otro != porId_.end()) {
    // The service's item is already known (a listing got there first): it takes the place.
    desprender(local);
    auto& n = nodos_.at(otro->second);
    n.clave = local.clave;
    tocar(n);
    return n;
  }
  local.id = nuevo;
  porId_[nuevo] = local.ino;
  tocar(local);
  return local;
}

std::optional<Nodo> Arbol::ocupar(const std::string& origen, const std::string& destino) {
  std::lock_guard candado(candado_);
  const auto o = porId_.find(origen), d = porId_.find(destino);
  if (o == porId_.end() || d == porId_.end()) return std::nullopt;
  auto& movido = nodos_.at(o->second);
  auto& viejo = nodos_.at(d->second);
  desprender(movido);
  desprender(viejo);
  porId_.erase(o);
  retirados_[origen] = ++reloj_;
  porId_[destino] = movido.ino;
  viejo.id = "x:" + std::to_string(viejo.ino);  // no longer any item's node
  porId_[viejo.id] = viejo.ino;
  movido.id = destino;
  movido.padre = viejo.padre;
  movido.nombre = viejo.nombre;
  movido.version = viejo.version;
  movido.capacidades = viejo.capacidades;
  prender(movido);
  return movido;
}

void Arbol::fijarCapacidades(fuse_ino_t ino, std::uint32_t capacidades) {
  std::lock_guard candado(candado_);
  if (const auto n = nodos_.find(ino); n != nodos_.end()) n->second.capacidades = capacidades;
}

void Arbol::fijarClave(const std::string& id, const std::string& clave) {
  std::lock_guard candado(candado_);
  auto& n = nodo(id);
  n.clave = clave;
  tocar(n);
}

}  // namespace vemlo::finder::host
