// Bandeja: being built.
#pragma once

#include <QObject>

#include <functional>

class QMenu;

namespace vemlo::app {

class Estado;

class Bandeja : public QObject {
  Q_OBJECT

 public:
  Bandeja(Estado& estado, std::function<void()> abrirVentana, QObject* padre = nullptr);
};

}  // namespace vemlo::app
