// The web site's addresses.
#include "web.h"

#include "vemlo/mensajes.h"

namespace vemlo::app {

QUrl sitioWeb(const std::string& base) {
  const QUrl url(QString::fromStdString(base));
  return url.resolved(QUrl(QStringLiteral("/")));
}

QUrl paginaWeb(const std::string& base, const QString& ruta) {
  return sitioWeb(base).resolved(QUrl((enEspanol() ? QStringLiteral("es/") : QString()) + ruta));
}

QString hostWeb(const std::string& base) {
  return QUrl(QString::fromStdString(base)).host();
}

}  // namespace vemlo::app
