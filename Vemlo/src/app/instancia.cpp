// The single-instance socket. Texts travel as JSON strings so that any path or text fits on
// one line.
#include "instancia.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <optional>

namespace vemlo::app {
namespace {

constexpr int kEspera = 2000;           // ms for the other instance to answer
constexpr qint64 kLineaMaxima = 65536;  // a longer request is nobody's

QByteArray comoJson(const QString& texto) {
  const auto arreglo = QJsonDocument(QJsonArray{texto}).toJson(QJsonDocument::Compact);
  return arreglo.mid(1, arreglo.size() - 2);  // the one string without the brackets
}

// The JSON string after the request's word, or none when it is not one.
std::optional<QString> textoDe(const QByteArray& resto) {
  const auto documento = QJsonDocument::fromJson("[" + resto + "]");
  if (!documento.isArray() || documento.array().size() != 1 || !documento.array()[0].isString())
    return std::nullopt;
  return documento.array()[0].toString();
}

bool avisarALaOtra(const QString& direccion, const QByteArray& linea) {
  QLocalSocket otra;
  otra.connectToServer(direccion);
  if (!otra.waitForConnected(kEspera)) return false;
  otra.write(linea);
  return otra.waitForBytesWritten(kEspera);
}

}  // namespace

QString InstanciaUnica::direccion() {
  const auto carpeta = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + "/vemlo";
  QDir().mkpath(carpeta);
  return carpeta + "/app.sock";
}

bool InstanciaUnica::empezar(const QString& mostrar) {
  const auto dir = direccion();
  QLockFile arranque(dir + ".lock");
  arranque.tryLock(kEspera);
  const auto pedido =
      mostrar.isEmpty() ? QByteArray("abrir\n") : "mostrar " + comoJson(mostrar) + "\n";
  if (avisarALaOtra(dir, pedido)) return false;
  QLocalServer::removeServer(dir);  // left by a crash: nobody answered
  servidor_.setSocketOptions(QLocalServer::UserAccessOption);
  if (!servidor_.listen(dir)) return true;  // still the one instance; just not reachable
  connect(&servidor_, &QLocalServer::newConnection, this, [this] {
    while (auto* otra = servidor_.nextPendingConnection()) atender(otra);
  });
  return true;
}

// Waits for the connection's whole line; one that never ends is dropped at its size limit.
void InstanciaUnica::atender(QLocalSocket* otra) {
  otra->setReadBufferSize(kLineaMaxima);
  connect(otra, &QLocalSocket::disconnected, otra, &QObject::deleteLater);
  connect(otra, &QLocalSocket::readyRead, this, [this, otra] {
    if (!otra->canReadLine()) {
      if (otra->bytesAvailable() >= kLineaMaxima) otra->disconnectFromServer();
      return;
    }
    responder(otra, otra->readLine(kLineaMaxima).trimmed());
    otra->disconnectFromServer();
  });
}

void InstanciaUnica::responder(QLocalSocket* otra, const QByteArray& linea) {
  if (linea == "abrir") return emit abrirPedido();
  const auto espacio = linea.indexOf(' ');
  const auto orden = linea.left(espacio);
  const auto texto = espacio < 0 ? std::nullopt : textoDe(linea.mid(espacio + 1));
  if (!texto) return;
  if (orden == "mostrar") return emit mostrarPedido(*texto);
  if (orden != "copiar") return;
  QGuiApplication::clipboard()->setText(*texto);
  otra->write("ok\n");
  otra->flush();
  emit copiado(*texto);
}

}  // namespace vemlo::app
