// vemlo: the desktop app. One instance per user; a second launch shows the first one's window.
#include <QApplication>

#include <cstdio>
#include <string_view>

#include "aplicacion.h"
#include "iconos.h"
#include "instancia.h"
#include "medida_arranque.h"
#include "vemlo/version.h"

namespace {

// Answered before the app needs a display: --version and --help.
bool respondido(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view opcion = argv[i];
    if (opcion == "--version") std::printf("vemlo %s\n", vemlo::kVersion.data());
    if (opcion == "--help" || opcion == "-h")
      std::printf(
          "Usage: vemlo [--version | --help]\n\nThe Vemlo desktop app: your company's files, on "
          "every device.\n"
          "A second launch brings the running app's window forward.\n");
    if (opcion == "--version" || opcion == "--help" || opcion == "-h") return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (respondido(argc, argv)) return 0;
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Vemlo");
  QApplication::setApplicationName("Vemlo");
  QApplication::setApplicationVersion(
      QString::fromUtf8(vemlo::kVersion.data(), vemlo::kVersion.size()));
  QGuiApplication::setDesktopFileName("app.vemlo.Vemlo");
  QApplication::setWindowIcon(vemlo::app::iconoDeLaApp());
  vemlo::app::prepararIconos();
  vemlo::app::medirArranqueSiSePide(app);
  vemlo::app::InstanciaUnica instancia;
  if (!instancia.empezar()) return 0;
  vemlo::app::Aplicacion aplicacion;
  QObject::connect(&instancia, &vemlo::app::InstanciaUnica::abrirPedido, &aplicacion,
                   &vemlo::app::Aplicacion::mostrarVentana);
  aplicacion.mostrarVentana();
  return QApplication::exec();
}
