// Migas: the breadcrumbs of a folder, one flat button per step of its path with a chevron
// between steps. The root step carries the company's name.
#pragma once

#include <QWidget>

#include <vector>

#include "vemlo/registros.h"

class QHBoxLayout;

namespace vemlo::app {

class Migas : public QWidget {
  Q_OBJECT

 public:
  explicit Migas(QWidget* padre = nullptr);
  void poner(const std::vector<PasoRuta>& ruta, const QString& nombreRaiz);

 signals:
  // A step was pressed: its folder id, "" for the root.
  void elegido(const QString& id);

 private:
  QHBoxLayout* fila_;
};

}  // namespace vemlo::app
