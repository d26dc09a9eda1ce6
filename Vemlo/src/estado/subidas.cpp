// The upload rows as a list model.
#include "subidas.h"

#include <algorithm>

namespace vemlo::app {

int Subidas::rowCount(const QModelIndex& padre) const {
  return padre.isValid() ? 0 : static_cast<int>(filas_.size());
}

QVariant Subidas::data(const QModelIndex& indice, int rol) const {
  if (!indice.isValid() || indice.row() >= rowCount()) return {};
  const auto& f = filas_[static_cast<std::size_t>(indice.row())];
  switch (rol) {
    case nombreRol:
      return f.nombre;
    case avanceRol:
      return f.avance;
    case estadoRol:
      return static_cast<int>(f.estado);
    case mensajeRol:
      return f.mensaje;
    default:
      return {};
  }
}

QHash<int, QByteArray> Subidas::roleNames() const {
  return {
      {nombreRol, "nombre"}, {avanceRol, "avance"}, {estadoRol, "estado"}, {mensajeRol, "mensaje"}};
}

QUuid Subidas::agregar(const QString& nombre) {
  const auto n = rowCount();
  beginInsertRows({}, n, n);
  filas_.push_back({QUuid::createUuid(), nombre});
  endInsertRows();
  return filas_.back().id;
}

int Subidas::fila(const QUuid& id) const {
  const auto pos = std::ranges::find(filas_, id, &SubidaEnCurso::id);
  return pos == filas_.end() ? -1 : static_cast<int>(pos - filas_.begin());
}

void Subidas::avanzar(const QUuid& id, double avance) {
  const auto n = fila(id);
  if (n < 0) return;
  filas_[static_cast<std::size_t>(n)].avance = avance;
  emit dataChanged(index(n), index(n), {avanceRol});
}

void Subidas::terminar(const QUuid& id, EstadoSubida estado, const QString& mensaje) {
  const auto n = fila(id);
  if (n < 0) return;
  auto& f = filas_[static_cast<std::size_t>(n)];
  f.estado = estado;
  f.mensaje = mensaje;
  emit dataChanged(index(n), index(n), {estadoRol, mensajeRol});
}

void Subidas::limpiar() {
  for (int n = rowCount() - 1; n >= 0; --n) {
    if (filas_[static_cast<std::size_t>(n)].estado == EstadoSubida::subiendo) continue;
    beginRemoveRows({}, n, n);
    filas_.erase(filas_.begin() + n);
    endRemoveRows();
  }
}

void Subidas::vaciar() {
  beginResetModel();
  filas_.clear();
  endResetModel();
}

}  // namespace vemlo::app
