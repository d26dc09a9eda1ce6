// Subidas: the upload rows the app shows, one per picked file or folder, newest last, as a
// list model. Changed only on the GUI thread.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QUuid>

#include <vector>

namespace vemlo::app {

enum class EstadoSubida { subiendo, lista, fallo };

struct SubidaEnCurso {
  QUuid id;
  QString nombre;
  double avance = 0;
  EstadoSubida estado = EstadoSubida::subiendo;
  QString mensaje{};  // why it failed
};

class Subidas : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Rol { nombreRol = Qt::DisplayRole, avanceRol = Qt::UserRole, estadoRol, mensajeRol };

  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& padre = {}) const override;
  QVariant data(const QModelIndex& indice, int rol) const override;
  QHash<int, QByteArray> roleNames() const override;

  const std::vector<SubidaEnCurso>& filas() const { return filas_; }

  // A new row, uploading, at the end; gives its id.
  QUuid agregar(const QString& nombre);
  void avanzar(const QUuid& id, double avance);
  void terminar(const QUuid& id, EstadoSubida estado, const QString& mensaje = {});
  // Keeps only the rows still uploading.
  void limpiar();
  void vaciar();

 private:
  int fila(const QUuid& id) const;

  std::vector<SubidaEnCurso> filas_;
};

}  // namespace vemlo::app
