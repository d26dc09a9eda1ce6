// The app's symbols: each symbol name the screens use (the names of the product's design, such
// as "folder.fill" or "square.and.arrow.up") maps to a freedesktop icon-theme name, and every
// one has a drawing of our own under :/iconos/ for desktops without that icon or any theme.
#pragma once

#include <QIcon>
#include <QString>

namespace vemlo::app {

// The theme's icon for `simbolo`, falling back to the bundled drawing; an empty icon for a
// name outside the table.
QIcon icono(const QString& simbolo);
// The icon-theme name of `simbolo`; empty outside the table.
QString nombreEnTema(const QString& simbolo);
// Every symbol name of the table, for the tests and the screenshots.
QStringList simbolos();

// Where no desktop set an icon theme (a bare X session, the offscreen platform), uses the
// installed Adwaita theme when there is one; the bundled drawings cover the rest.
void prepararIconos();

// The app's own icon, and the tray's (idle or uploading).
QIcon iconoDeLaApp();
QIcon iconoDeBandeja(bool subiendo);

}  // namespace vemlo::app
