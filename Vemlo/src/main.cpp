// vemlo: the desktop app. One instance per user; a second launch shows the first one's window,
// or with --show PATH, that item of a Vemlo folder.
#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <string_view>

#include "aplicacion.h"
#include "iconos.h"
#include "instancia.h"
#include "medida_arranque.h"
#include "mostrador.h"
#include "vemlo/version.h"

namespace {

// Answered before the app needs a display: --version and --help.
bool respondido(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view opcion = argv[i];
    if (opcion == "--version") std::printf("vemlo %s\n", vemlo::kVersion.data());
    if (opcion == "--help" || opcion == "-h")
      std::printf(
          "Usage: vemlo [--version | --help | --show PATH]\n\nThe Vemlo desktop app: your "
          "company's files, on every device.\n"
          "A second launch brings the running app's window forward.\n"
          "--show PATH shows a file or folder of a Vemlo folder in the app, selected in its "
          "folder.\n");
    if (opcion == "--version" || opcion == "--help" || opcion == "-h") return true;
  }
  return false;
}

// The absolute path after --show, made absolute here: the running app has another folder.
QString rutaAMostrar() {
  const auto argumentos = QCoreApplication::arguments();
  const auto pos = argumentos.indexOf("--show");
  if (pos < 0 || pos + 1 >= argumentos.size()) return {};
  return QFileInfo(argumentos[pos + 1]).absoluteFilePath();
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
  const auto mostrar = rutaAMostrar();
  if (!instancia.empezar(mostrar)) return 0;
  vemlo::app::Aplicacion aplicacion;
  vemlo::app::Mostrador mostrador(aplicacion);
  QObject::connect(&instancia, &vemlo::app::InstanciaUnica::abrirPedido, &aplicacion,
                   &vemlo::app::Aplicacion::mostrarVentana);
  QObject::connect(&instancia, &vemlo::app::InstanciaUnica::mostrarPedido, &mostrador,
                   &vemlo::app::Mostrador::mostrar);
  aplicacion.mostrarVentana();
  if (!mostrar.isEmpty()) mostrador.mostrar(mostrar);
  return QApplication::exec();
}
