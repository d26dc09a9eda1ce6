// The app's thumbnails for a folder of pictures scrolled into view, against the same
// thumbnails made one after another from the bytes in memory, in this one process: uploads
// N copies of a picture into a new folder, then makes every thumbnail both ways. Prints
// "base_s", "app_s", "pico_MiB" and "a_la_vez" (the most pictures read at once, each read
// being inside the gate) lines for bench-miniaturas. The service's own thumbnails are left
// aside: each one is made here, behind the gate of three.
#include <unistd.h>

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "apoyo_app.h"
#include "estado.h"
#include "vemlo/archivo.h"
#include "vemlo/miniaturas.h"
#include "vemlo/subida.h"
#include "vemlo/transporte_curl.h"

namespace {

using Reloj = std::chrono::steady_clock;

double desde(Reloj::time_point inicio) {
  return std::chrono::duration<double>(Reloj::now() - inicio).count();
}

// N copies of `archivo` in a new folder of the first company; gives them as the service lists them.
std::vector<vemlo::ArchivoRemoto> subirCopias(const vemlo::Vemlo& api, const std::string& raiz,
                                              const std::filesystem::path& archivo, int n) {
  const auto carpeta = api.crearCarpeta(raiz, "bench-miniaturas-" + std::to_string(getpid()));
  for (int i = 0; i < n; ++i)
    vemlo::subirArchivo(archivo, carpeta, api, {.nombre = "foto-" + std::to_string(i) + ".jpg"});
  auto archivos = api.verCarpeta(carpeta).archivos;
  for (auto& a : archivos) a.miniatura = false;
  return archivos;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 6) {
    std::cerr << "uso: bench_miniaturas BASE CORREO CLAVE IMAGEN N\n";
    return 2;
  }
  try {
    const auto cuenta = vemlo::bench::entrar(argv[1], argv[2], argv[3]);
    const vemlo::Vemlo api(argv[1], cuenta.token, vemlo::TransporteCurl::compartido());
    const auto archivos =
        subirCopias(api, cuenta.organizaciones.at(0).carpetaRaizId, argv[4], std::stoi(argv[5]));

    const auto bytes = vemlo::leerTodo(argv[4]);
    auto inicio = Reloj::now();
    for (std::size_t i = 0; i < archivos.size(); ++i) vemlo::miniaturaDeImagen(bytes);
    const double base = desde(inicio);
    const double picoBase = vemlo::bench::picoMiB();

    vemlo::app::OpcionesEstado opciones;
    opciones.base = argv[1];
    opciones.anfitrion = "/bin/true";
    auto contando =
        std::make_shared<vemlo::bench::Contando>(vemlo::TransporteCurl::compartido(), "/almacen/");
    opciones.transporte = contando;
    vemlo::app::Estado estado(opciones);
    estado.iniciar(*cuenta.token, cuenta);
    while (!estado.cuenta()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::size_t hechas = 0;
    inicio = Reloj::now();
    for (const auto& a : archivos)
      estado.cargarMiniatura(a, &estado, [&](const QImage& imagen) { hechas += !imagen.isNull(); });
    while (hechas < archivos.size()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("base_s %.2f\napp_s %.2f\npico_base_MiB %.1f\npico_MiB %.1f\na_la_vez %d\n", base,
                desde(inicio), picoBase, vemlo::bench::picoMiB(), contando->maximo());
  } catch (const std::exception& e) {
    std::cerr << "bench_miniaturas: " << e.what() << "\n";
    return 1;
  }
}
