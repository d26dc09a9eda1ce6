// The app's load of a folder of N items (default 10,000) into the Files section's state and
// its item model, against the service's answer alone (the request and its decoding), in this
// one process. Prints the medians of R runs each ("respuesta_ms", "modelo_ms": items, model
// and its first screen from a decoded answer, "carpeta_ms": the whole load through the state)
// and the peak and resident memory before and after, for bench-carpeta.
#include <sys/resource.h>
#include <unistd.h>

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

#include "carpeta.h"
#include "estado.h"
#include "vemlo/subida.h"
#include "vemlo/transporte_curl.h"

namespace {

using Reloj = std::chrono::steady_clock;
constexpr int kRondas = 9;
constexpr int kHilos = 4;
constexpr int kFilasVisibles = 40;

double picoMiB() {
  rusage uso{};
  getrusage(RUSAGE_SELF, &uso);
  return static_cast<double>(uso.ru_maxrss) / 1024.0;
}

// What the process holds now.
double residenteMiB() {
  std::ifstream statm("/proc/self/statm");
  long total = 0, residente = 0;
  statm >> total >> residente;
  return static_cast<double>(residente) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

template <class F>
double medianaMs(F&& medir) {
  std::vector<double> ms;
  for (int i = 0; i < kRondas; ++i) {
    const auto inicio = Reloj::now();
    medir();
    ms.push_back(std::chrono::duration<double, std::milli>(Reloj::now() - inicio).count());
  }
  std::nth_element(ms.begin(), ms.begin() + kRondas / 2, ms.end());
  return ms[kRondas / 2];
}

// A new folder with one folder in twenty and empty files of a few types, made by kHilos threads.
std::string sembrar(const vemlo::Vemlo& api, const std::string& raiz, int n) {
  const auto carpeta = api.crearCarpeta(raiz, "bench-carpeta-" + std::to_string(getpid()));
  const auto vacio =
      std::filesystem::temp_directory_path() / ("bench-carpeta-" + std::to_string(getpid()));
  std::ofstream(vacio).close();  // an empty file
  static const char* const kTipos[] = {".txt", ".pdf", ".docx", ".csv"};
  std::vector<std::jthread> hilos;
  for (int h = 0; h < kHilos; ++h)
    hilos.emplace_back([&, h] {
      for (int i = h; i < n; i += kHilos) {
        const auto nombre = "elemento-" + std::to_string(i);
        if (i % 20 == 0)
          api.crearCarpeta(carpeta, nombre);
        else
          vemlo::subirArchivo(vacio, carpeta, api, {.nombre = nombre + kTipos[i % 4]});
      }
    });
  hilos.clear();
  std::filesystem::remove(vacio);
  return carpeta;
}

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
    const vemlo::Vemlo anonimo(argv[1], std::nullopt, vemlo::TransporteCurl::compartido());
    const auto respuesta = anonimo.entrar(argv[2], argv[3]);
    const auto cuenta = std::get<vemlo::RespuestaEntrar::Lista>(respuesta.valor).cuenta;
    const vemlo::Vemlo api(argv[1], cuenta.token, vemlo::TransporteCurl::compartido());
    const auto id = sembrar(api, cuenta.organizaciones.at(0).carpetaRaizId, std::stoi(argv[4]));

    vemlo::app::OpcionesEstado opciones;
    opciones.base = argv[1];
    opciones.anfitrion = "/bin/true";
    vemlo::app::Estado estado(opciones);
    estado.iniciar(*cuenta.token, cuenta);
    while (!estado.cuenta()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double picoAntes = picoMiB();
    const double residenteAntes = residenteMiB();

    vemlo::VistaCarpeta vista;
    const double respuestaMs = medianaMs([&] { vista = api.verCarpeta(id); });
    vemlo::app::ModeloItems modelo(estado);
    const double modeloMs = medianaMs([&] {
      modelo.poner(vemlo::app::itemsDe(vista));
      primeraPantalla(modelo);
    });
    vemlo::app::Carpeta carpeta(estado);
    const double carpetaMs = medianaMs([&] {
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
