// The single-instance socket.
#include "instancia.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace vemlo::app {
namespace {

constexpr int kEspera = 2000;  // ms for the other instance to answer

bool avisarALaOtra(const QString& direccion) {
  QLocalSocket otra;
  otra.connectToServer(direccion);
  if (!otra.waitForConnected(kEspera)) return false;
  otra.write("abrir\n");
  return otra.waitForBytesWritten(kEspera);
}

}  // namespace

QString InstanciaUnica::direccion() {
  const auto carpeta = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + "/vemlo";
  QDir().mkpath(carpeta);
  return carpeta + "/app.sock";
}

bool InstanciaUnica::empezar() {
  const auto dir = direccion();
  QLockFile arranque(dir + ".lock");
  arranque.tryLock(kEspera);
  if (avisarALaOtra(dir)) return false;
  QLocalServer::removeServer(dir);  // left by a crash: nobody answered
  servidor_.setSocketOptions(QLocalServer::UserAccessOption);
  if (!servidor_.listen(dir)) return true;  // still the one instance; just not reachable
  connect(&servidor_, &QLocalServer::newConnection, this, [this] {
    while (auto* otra = servidor_.nextPendingConnection()) {
      connect(otra, &QLocalSocket::readyRead, this, [this, otra] {
        if (otra->readAll().startsWith("abrir")) emit abrirPedido();
        otra->disconnectFromServer();
      });
      connect(otra, &QLocalSocket::disconnected, otra, &QObject::deleteLater);
    }
  });
  return true;
}

}  // namespace vemlo::app
