// InstanciaUnica: one app per user. The first launch listens on
// $XDG_RUNTIME_DIR/vemlo/app.sock; a later one tells it to show its window and leaves. A
// socket left by a crash is taken over. Start-ups are serialised by a lock file beside it.
#pragma once

#include <QLocalServer>
#include <QObject>

namespace vemlo::app {

class InstanciaUnica : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  // True when this is the first instance, now listening; false when another one answered
  // and was asked to show itself.
  bool empezar();
  static QString direccion();

 signals:
  void abrirPedido();

 private:
  QLocalServer servidor_;
};

}  // namespace vemlo::app
