// InstanciaUnica: one app per user. The first launch listens on
// $XDG_RUNTIME_DIR/vemlo/app.sock; a later one passes its request on and leaves. A socket left
// by a crash is taken over. Start-ups are serialised by a lock file beside it.
//
// One line per connection: "abrir" shows the window; "mostrar <path as a JSON string>" shows
// that item of a Vemlo folder; "copiar <text as a JSON string>" puts the text on the clipboard
// and answers "ok" (so that vemlo-cli knows someone took it).
#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>

class QLocalSocket;

namespace vemlo::app {

class InstanciaUnica : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  // True when this is the first instance, now listening; false when another one answered
  // and was passed the request: `mostrar`'s item when given, else showing its window.
  bool empezar(const QString& mostrar = {});
  static QString direccion();

 signals:
  void abrirPedido();
  void mostrarPedido(const QString& ruta);
  void copiado(const QString& texto);

 private:
  void atender(QLocalSocket* otra);
  void responder(QLocalSocket* otra, const QByteArray& linea);

  QLocalServer servidor_;
};

}  // namespace vemlo::app
