// VistaPrevia: being built.
#pragma once

#include <QDialog>
#include <QUrl>

namespace vemlo::app {

class Estado;

class VistaPrevia : public QDialog {
  Q_OBJECT

 public:
  VistaPrevia(Estado& estado, const QUrl& archivo, QWidget* padre = nullptr);
};

}  // namespace vemlo::app
