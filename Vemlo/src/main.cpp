// vemlo: the desktop app. One instance per user; a second launch shows the first one's window.
#include <QApplication>

#include "aplicacion.h"
#include "iconos.h"
#include "instancia.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Vemlo");
  QApplication::setApplicationName("Vemlo");
  QGuiApplication::setDesktopFileName("app.vemlo.Vemlo");
  QApplication::setWindowIcon(vemlo::app::iconoDeLaApp());
  vemlo::app::prepararIconos();
  vemlo::app::InstanciaUnica instancia;
  if (!instancia.empezar()) return 0;
  vemlo::app::Aplicacion aplicacion;
  QObject::connect(&instancia, &vemlo::app::InstanciaUnica::abrirPedido, &aplicacion,
                   &vemlo::app::Aplicacion::mostrarVentana);
  aplicacion.mostrarVentana();
  return QApplication::exec();
}
