// The service's web site: its root is the base URL's scheme and host; its pages follow, after
// "es/" when the user reads Spanish.
#pragma once

#include <QString>
#include <QUrl>

#include <string>

namespace vemlo::app {

QUrl sitioWeb(const std::string& base);
// The page `ruta` ("signup", "forgot-password", "app", "docs/mac-app") in the user's language.
QUrl paginaWeb(const std::string& base, const QString& ruta);
// The site's host name, as "Open " + host reads it.
QString hostWeb(const std::string& base);

}  // namespace vemlo::app
