// ShowItems over D-Bus, asynchronously, with the folder as the fallback.
#include "escritorio.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>

namespace vemlo::app {

void mostrarEnGestor(QObject* dueno, const QUrl& archivo, std::function<bool(const QUrl&)> abrir) {
  const auto carpeta = QUrl::fromLocalFile(QFileInfo(archivo.toLocalFile()).absolutePath());
  auto bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    abrir(carpeta);
    return;
  }
  auto pedido = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                               "/org/freedesktop/FileManager1",
                                               "org.freedesktop.FileManager1", "ShowItems");
  // Encoded, as a URI must be: toString() leaves spaces and non-ASCII letters bare.
  pedido << QStringList{archivo.toString(QUrl::FullyEncoded)} << QString();
  auto* espera = new QDBusPendingCallWatcher(bus.asyncCall(pedido), dueno);
  QObject::connect(espera, &QDBusPendingCallWatcher::finished, dueno,
                   [espera, carpeta, abrir = std::move(abrir)] {
                     if (espera->isError()) abrir(carpeta);
                     espera->deleteLater();
                   });
}

}  // namespace vemlo::app
