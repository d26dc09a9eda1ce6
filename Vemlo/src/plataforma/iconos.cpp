// The symbol table and its fallbacks.
#include "iconos.h"

#include <QHash>

namespace vemlo::app {
namespace {

const QHash<QString, QString>& tabla() {
  static const QHash<QString, QString> t = {
      {"folder", "folder"},
      {"folder.fill", "folder"},
      {"clock", "document-open-recent"},
      {"star", "starred"},
      {"star.fill", "starred"},
      {"photo", "image-x-generic"},
      {"photo.on.rectangle", "image-x-generic"},
      {"trash", "user-trash"},
      {"person.crop.circle", "avatar-default"},
      {"eye", "view-reveal-symbolic"},
      {"eye.slash", "view-conceal-symbolic"},
      {"chevron.left", "go-previous"},
      {"chevron.right", "go-next"},
      {"folder.badge.plus", "folder-new"},
      {"list.bullet", "view-list-symbolic"},
      {"square.grid.2x2", "view-grid-symbolic"},
      {"arrow.clockwise", "view-refresh"},
      {"magnifyingglass", "edit-find"},
      {"square.and.arrow.up", "document-send"},
      {"tray.and.arrow.up", "document-send"},
      {"doc", "text-x-generic"},
      {"doc.richtext", "x-office-document"},
      {"film", "video-x-generic"},
      {"waveform", "audio-x-generic"},
      {"externaldrive.connected.to.line.below", "folder-remote"},
      {"externaldrive.badge.exclamationmark", "dialog-warning"},
      {"exclamationmark.triangle.fill", "dialog-warning"},
      {"checkmark.circle.fill", "emblem-ok-symbolic"},
  };
  return t;
}

}  // namespace

QString nombreEnTema(const QString& simbolo) {
  return tabla().value(simbolo);
}

QStringList simbolos() {
  return tabla().keys();
}

QIcon icono(const QString& simbolo) {
  const auto nombre = nombreEnTema(simbolo);
  if (nombre.isEmpty()) return {};
  return QIcon::fromTheme(nombre, QIcon(QStringLiteral(":/iconos/%1.svg").arg(nombre)));
}

void prepararIconos() {
  if (!QIcon::themeName().isEmpty() && QIcon::themeName() != QStringLiteral("hicolor")) return;
  QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << QStringLiteral("/usr/share/icons"));
  QIcon::setThemeName(QStringLiteral("Adwaita"));
  QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

QIcon iconoDeLaApp() {
  return QIcon::fromTheme(QStringLiteral("app.vemlo.Vemlo"),
                          QIcon(QStringLiteral(":/iconos/app.vemlo.Vemlo.svg")));
}

QIcon iconoDeBandeja(bool subiendo) {
  return QIcon(subiendo ? QStringLiteral(":/iconos/vemlo-bandeja-subiendo.svg")
                        : QStringLiteral(":/iconos/vemlo-bandeja.svg"));
}

}  // namespace vemlo::app
