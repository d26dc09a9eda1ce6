// MoverA: picks the folder an item moves to, starting at the company's root: the path of the
// folder shown (its steps can be pressed to go back up), its subfolders to go down into, and
// "Move here".
#pragma once

#include <QDialog>

#include <optional>
#include <string>

#include "items.h"
#include "vemlo/registros.h"

class QLabel;
class QListWidget;

namespace vemlo::app {

class Estado;
class Migas;

class MoverA : public QDialog {
  Q_OBJECT

 public:
  MoverA(Estado& estado, Item item, QWidget* padre = nullptr);
  QListWidget* carpetas() const { return carpetas_; }
  const std::optional<VistaCarpeta>& vista() const { return vista_; }
  QString error() const;

 signals:
  void cargada();

 private:
  void ir(std::optional<std::string> carpetaId);
  void moverAqui();
  void ponerError(std::exception_ptr fallo);

  Estado& estado_;
  Item item_;
  std::optional<std::string> actual_;
  std::optional<VistaCarpeta> vista_;
  Migas* ruta_;
  QListWidget* carpetas_;
  QLabel* error_;
};

}  // namespace vemlo::app
