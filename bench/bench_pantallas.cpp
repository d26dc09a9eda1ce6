// The app's Files section on a folder of N items (default 10,000), in a shown main window
// (offscreen): the folder opened until its list is painted, against the service's answer alone
// (the request and its decoding); scrolling the list and the grid from top to bottom, a page at
// a time, each page painted; and a 12-character search typed at 50 ms a key, counting the
// search requests sent. Prints lines for bench-pantallas.
#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>

#include <cstdio>
#include <iostream>

#include "apoyo_app.h"
#include "contenido.h"
#include "estado.h"
#include "explorador.h"
#include "principal.h"
#include "ventana.h"

namespace {

using namespace vemlo::bench;
using vemlo::app::Explorador;
constexpr int kRondas = 9;

void esperar(const std::function<bool()>& listo) {
  while (!listo()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

void dejarCorrer(int ms) {
  QElapsedTimer reloj;
  reloj.start();
  while (reloj.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, ms);
}

// Milliseconds per page, scrolling the view from top to bottom and painting each page.
double porPagina(QAbstractItemView* vista) {
  auto* barra = vista->verticalScrollBar();
  barra->setValue(0);
  int paginas = 0;
  const double total = medianaMs(1, [&] {
    for (; barra->value() < barra->maximum() && barra->pageStep() > 0; ++paginas) {
      barra->setValue(barra->value() + barra->pageStep());
      vista->viewport()->repaint();
    }
  });
  return total / std::max(1, paginas);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 5) {
    std::cerr << "uso: bench_pantallas BASE CORREO CLAVE N\n";
    return 2;
  }
  try {
    const auto cuenta = entrar(argv[1], argv[2], argv[3]);
    const vemlo::Vemlo api(argv[1], cuenta.token, vemlo::TransporteCurl::compartido());
    const auto id =
        sembrarCarpeta(api, cuenta.organizaciones.at(0).carpetaRaizId, std::stoi(argv[4]));

    vemlo::app::OpcionesEstado opciones;
    opciones.base = argv[1];
    opciones.anfitrion = "/bin/true";
    auto busquedas = std::make_shared<Contando>(vemlo::TransporteCurl::compartido(), "/v1/buscar");
    opciones.transporte = busquedas;
    vemlo::app::Estado estado(opciones);
    vemlo::app::VentanaPrincipal ventana(estado);
    ventana.resize(1100, 700);
    ventana.show();
    estado.iniciar(*cuenta.token, cuenta);
    Explorador* e = nullptr;
    esperar([&] { return (e = ventana.findChild<Explorador*>()) && e->carpeta().cargada(); });
    const double picoAntes = picoMiB();

    const double respuestaMs = medianaMs(kRondas, [&] { api.verCarpeta(id); });
    std::vector<double> veces;  // each from the company's root, which is not timed
    for (int i = 0; i < kRondas; ++i) {
      e->abrirCarpeta(std::nullopt);
      esperar([&] { return e->carpeta().vista()->ruta.size() == 1; });
      veces.push_back(medianaMs(1, [&] {
        bool cargada = false;
        const auto aviso = QObject::connect(&e->carpeta(), &vemlo::app::Carpeta::vistaCambio,
                                            [&] { cargada = true; });
        e->abrirCarpeta(id);
        esperar([&] { return cargada; });
        ventana.repaint();
        QObject::disconnect(aviso);
      }));
    }
    std::nth_element(veces.begin(), veces.begin() + kRondas / 2, veces.end());
    const double pintadaMs = veces[kRondas / 2];
    e->abrirCarpeta(id);
    esperar([&] { return e->carpeta().vista()->id == id; });

    ventana.repaint();
    e->contenido()->ponerCuadricula(false);
    const double listaMs = porPagina(e->contenido()->vista());
    e->contenido()->ponerCuadricula(true);
    dejarCorrer(100);
    const double grillaMs = porPagina(e->contenido()->vista());

    const int antes = busquedas->total();
    for (const char c : std::string("elemento-123")) {
      e->busqueda()->insert(QString(QChar(c)));
      dejarCorrer(50);
    }
    dejarCorrer(1000);
    std::printf("elementos %d\nrespuesta_ms %.1f\nabierta_y_pintada_ms %.1f\n",
                e->carpeta().modelo().rowCount(), respuestaMs, pintadaMs);
    std::printf("lista_ms_por_pagina %.2f\ncuadricula_ms_por_pagina %.2f\nbusquedas %d\n", listaMs,
                grillaMs, busquedas->total() - antes);
    std::printf("pico_antes_MiB %.1f\npico_MiB %.1f\n", picoAntes, picoMiB());
  } catch (const std::exception& e) {
    std::cerr << "bench_pantallas: " << e.what() << "\n";
    return 1;
  }
}
