// Renders every screen and dialog of the app to PNG files, signed in to a reference service's
// demo data (the address in $VEMLO_SERVICIO), in the language of the environment:
// vemlo_capturas <carpeta>. Run by scripts/capturas, offscreen.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <functional>

#include "acciones.h"
#include "ajustes.h"
#include "contenido.h"
#include "estado.h"
#include "explorador.h"
#include "iconos.h"
#include "mover_a.h"
#include "pedir_nombre.h"
#include "principal.h"
#include "vemlo/base.h"
#include "vemlo/cliente.h"
#include "ventana.h"

namespace {

using namespace vemlo::app;

QString carpeta;

bool esperar(const std::function<bool()>& listo, int ms = 15'000) {
  QElapsedTimer reloj;
  reloj.start();
  while (!listo() && reloj.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 50);
  return listo();
}

void pausa(int ms) {
  esperar([] { return false; }, ms);
}

void guardar(QWidget* w, const QString& nombre) {
  pausa(300);
  w->grab().save(carpeta + "/" + nombre + ".png");
  std::printf("%s\n", qPrintable(nombre));
}

template <class Dialogo>
void conDialogo(
    Dialogo* d, const QString& nombre, const std::function<bool()>& listo = [] { return true; }) {
  d->show();
  esperar(listo);
  guardar(d, nombre);
  d->close();
  delete d;
}

Explorador* explorador(Principal* p) {
  return qobject_cast<Explorador*>(p->detalle());
}

void secciones(VentanaPrincipal& ventana, Principal* principal) {
  const std::pair<Seccion, const char*> lista[] = {{Seccion::recientes, "recientes"},
                                                   {Seccion::favoritos, "favoritos"},
                                                   {Seccion::fotos, "fotos"},
                                                   {Seccion::papelera, "papelera"},
                                                   {Seccion::cuenta, "cuenta"}};
  for (const auto& [seccion, nombre] : lista) {
    principal->elegirSeccion(seccion);
    pausa(1500);
    guardar(&ventana, nombre);
  }
  principal->elegirSeccion(Seccion::archivos);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Vemlo");
  QApplication::setApplicationName("Vemlo");
  prepararIconos();
  if (argc != 2) return std::fprintf(stderr, "uso: vemlo_capturas CARPETA\n"), 2;
  carpeta = argv[1];
  QDir().mkpath(carpeta);
  OpcionesEstado opciones;
  opciones.anfitrion = "/bin/true";
  Estado estado(opciones);
  VentanaPrincipal ventana(estado);
  ventana.resize(1100, 700);
  ventana.show();
  esperar([&] { return !estado.cargando(); });
  guardar(&ventana, "entrar");

  const vemlo::Vemlo anonimo(vemlo::baseInicial());
  auto cuenta =
      std::get<vemlo::RespuestaEntrar::Lista>(anonimo.entrar("demo@vemlo.test", "vemlo-demo").valor)
          .cuenta;
  estado.iniciar(*cuenta.token, cuenta);
  auto* principal = ventana.findChild<Principal*>();
  esperar([&] {
    return (principal = ventana.findChild<Principal*>()) && explorador(principal) &&
           explorador(principal)->carpeta().cargada();
  });
  guardar(&ventana, "archivos");
  auto* e = explorador(principal);
  const auto raiz = e->carpeta().vista()->carpetas;
  e->abrirCarpeta(raiz.at(0).id);  // Fotos
  esperar([&] { return e->carpeta().vista()->ruta.size() == 2; });
  e->contenido()->ponerCuadricula(true);
  pausa(2500);
  guardar(&ventana, "archivos-cuadricula");
  e->contenido()->ponerCuadricula(false);
  e->busqueda()->setText("q1");
  esperar([&] { return e->buscando(); });
  guardar(&ventana, "busqueda");
  e->busqueda()->clear();
  secciones(ventana, principal);

  e = explorador(principal);
  esperar([&] { return e && e->carpeta().cargada(); });
  const auto item = e->carpeta().modelo().item(0);
  auto* acciones = new Acciones(estado, item, false, true, &ventana);
  acciones->popup(ventana.mapToGlobal(QPoint(300, 200)));
  guardar(acciones, "acciones");
  delete acciones;
  conDialogo(
      new PedirNombre(estado, "Rename", QString::fromStdString(item.nombre), "Save", {}, &ventana),
      "pedir-nombre");
  auto* mover = new MoverA(estado, item, &ventana);
  conDialogo(mover, "mover-a", [&] { return mover->vista().has_value(); });
  estado.avisar("Link copied. Anyone with it can open “Léeme.txt” for 7 days.");
  pausa(300);
  if (ventana.aviso()) guardar(ventana.aviso(), "aviso");
  estado.cerrarAviso();
  conDialogo(new Ajustes(estado), "ajustes");
  return 0;
}
