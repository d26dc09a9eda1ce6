// Vacio: the empty state of a list, a large symbol above a secondary text, centred.
#pragma once

#include <QWidget>

class QLabel;

namespace vemlo::app {

class Vacio : public QWidget {
  Q_OBJECT

 public:
  Vacio(const QString& simbolo, const QString& texto, QWidget* padre = nullptr);
  void poner(const QString& simbolo, const QString& texto);
  QString texto() const;

 private:
  QLabel* icono_;
  QLabel* texto_;
};

}  // namespace vemlo::app
