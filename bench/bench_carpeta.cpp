// The app's load of a folder of N items (default 10,000) into the Files section's state and
// its item model, against the service's answer alone (the request and its decoding), in this
// one process. Prints the medians of R runs each ("respuesta_ms", "modelo_ms": items, model
// and its first screen from a decoded answer, "carpeta_ms": the whole load through the state)
// and the peak and resident memory before and after, for bench-carpeta.
#include <QGuiApplication>

#include <cstdio>
#include <iostream>

#include "apoyo_app.h"
#include "carpeta.h"
#include "estado.h"

namespace {

using namespace vemlo::bench;
constexpr int kRondas = 9;
constexpr int kFilasVisibles = 40;

// What a view asks for its first screen.
void primeraPantalla(const vemlo::app::ModeloItems& modelo) {
  for (int f = 0; f < std::min(kFilasVisibles, modelo.rowCount()); ++f)
    for (int c = 0; c < modelo.columnCount(); ++c) {
      modelo.data(modelo.index(f, c), Qt::DisplayRole);
      modelo.data(modelo.index(f, c), Qt::DecorationRole);
    }
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 5) {
    std::cerr << "uso: bench_carpeta BASE CORREO CLAVE N\n";
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
    vemlo::app::Estado estado(opciones);
    estado.iniciar(*cuenta.token, cuenta);
    while (!estado.cuenta()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double picoAntes = picoMiB();
    const double residenteAntes = residenteMiB();

    vemlo::VistaCarpeta vista;
    const double respuestaMs = medianaMs(kRondas, [&] { vista = api.verCarpeta(id); });
    vemlo::app::ModeloItems modelo(estado);
    const double modeloMs = medianaMs(kRondas, [&] {
      modelo.poner(vemlo::app::itemsDe(vista));
      primeraPantalla(modelo);
    });
    vemlo::app::Carpeta carpeta(estado);
    const double carpetaMs = medianaMs(kRondas, [&] {
      bool cargada = false;
      const auto aviso =
          QObject::connect(&carpeta, &vemlo::app::Carpeta::vistaCambio, [&] { cargada = true; });
      carpeta.abrir(id);
      while (!cargada) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      QObject::disconnect(aviso);
      primeraPantalla(carpeta.modelo());
    });
    std::printf("elementos %d\nrespuesta_ms %.1f\nmodelo_ms %.1f\ncarpeta_ms %.1f\n",
                carpeta.modelo().rowCount(), respuestaMs, modeloMs, carpetaMs);
    std::printf("pico_antes_MiB %.1f\npico_MiB %.1f\n", picoAntes, picoMiB());
    std::printf("residente_antes_MiB %.1f\nresidente_MiB %.1f\n", residenteAntes, residenteMiB());
  } catch (const std::exception& e) {
    std::cerr << "bench_carpeta: " << e.what() << "\n";
    return 1;
  }
}
