// The desktop's file manager: a file shown selected through
// org.freedesktop.FileManager1.ShowItems on the session bus, else its folder opened.
#pragma once

#include <QObject>
#include <QUrl>

#include <functional>

namespace vemlo::app {

// Asks the file manager to show `archivo` selected; when none answers (no session bus, no
// FileManager1), `abrir` gets the file's folder. Returns at once; `dueno` bounds the wait.
void mostrarEnGestor(QObject* dueno, const QUrl& archivo, std::function<bool(const QUrl&)> abrir);

}  // namespace vemlo::app
