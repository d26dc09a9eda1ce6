// vemlo-servicio: reads the options, opens the data folder, seeds the demo when asked,
// prints the accounts and the address on stdout, serves until SIGINT or SIGTERM, and stops
// cleanly (the request threads and the cleaner finish before the process ends).
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "base.h"
#include "demo.h"
#include "http.h"
#include "miniaturas.h"
#include "opciones.h"
#include "servicio.h"
#include "subidas.h"
#include "textos.h"

// glib and libvips keep process-lifetime allocations on purpose; they are not leaks of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libglib\nleak:libgobject\nleak:libgio\nleak:libvips\nleak:libgmodule\n";
}

namespace {

using namespace vemlo::servicio;

// Sweeps abandoned uploads every ten minutes until told to stop.
class Limpieza {
 public:
  Limpieza() : hilo_([this] { correr(); }) {}
  ~Limpieza() {
    {
      std::lock_guard candado(candado_);
      parar_ = true;
    }
    aviso_.notify_all();
    hilo_.join();
  }

 private:
  void correr() {
    std::unique_lock candado(candado_);
    while (!aviso_.wait_for(candado, std::chrono::minutes(10), [this] { return parar_; })) {
      try {
        limpiarAbandonos(ahoraMs());
      } catch (const std::exception& e) {
        std::fprintf(stderr, "limpieza: %s\n", e.what());
      }
    }
  }
  std::mutex candado_;
  std::condition_variable aviso_;
  bool parar_ = false;
  std::thread hilo_;
};

void prepararDatos(const Opciones& opciones) {
  const std::filesystem::path datos(opciones.datos);
  std::filesystem::create_directories(datos / "blobs");
  entorno().opciones = opciones;
  entorno().blobs = std::filesystem::canonical(datos / "blobs");
  abrirBase((datos / "vemlo.db").string());
  limpiarAbandonos(ahoraMs());
}

int servir(const Opciones& opciones, const sigset_t& senales) {
  Servicio servicio(opciones);
  const int puerto = servicio.enlazar();
  if (puerto < 0) {
    std::fprintf(stderr, "no se pudo escuchar en %s:%d\n", opciones.anfitrion.c_str(),
                 opciones.puerto);
    return 1;
  }
  entorno().base = "http://" + opciones.anfitrion + ":" + std::to_string(puerto);
  std::printf("escuchando %s\n", entorno().base.c_str());
  std::fflush(stdout);
  // A signal that comes before the server has started listening must still stop it, so the
  // stop is repeated until the server has returned.
  std::atomic<bool> terminado{false};
  std::thread senal([&] {
    int recibida = 0;
    sigwait(&senales, &recibida);
    while (!terminado) {
      servicio.parar();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  bool bien = false;
  {
    Limpieza limpieza;
    bien = servicio.escuchar();
  }
  terminado = true;
  pthread_kill(senal.native_handle(), SIGTERM);  // wakes the waiter when no signal came
  senal.join();
  return bien ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Large answers (a 10,000-item folder is ~2 MB of JSON) reuse heap memory instead of fresh
  // mappings that fault in page by page on every request; few arenas keep that memory warm.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_ARENA_MAX, 4);
  sigset_t senales;
  sigemptyset(&senales);
  sigaddset(&senales, SIGINT);
  sigaddset(&senales, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &senales, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::string motivo;
  const auto opciones = leerOpciones(argc, argv, motivo);
  if (!opciones) {
    std::fprintf(stderr,
                 "%s\nuso: vemlo-servicio --datos DIR --escuchar 127.0.0.1:PUERTO [--demo] "
                 "[--pruebas] [--parte BYTES] [--directo si|no|alterno] [--umbral BYTES]\n",
                 motivo.c_str());
    return 2;
  }
  // A test's service ends with the test that started it, even when that one crashes.
  if (opciones->pruebas && prctl(PR_SET_PDEATHSIG, SIGTERM) == 0 && getppid() == 1) return 1;
  int resultado = 1;
  try {
    iniciarVips(argv[0]);
    prepararDatos(*opciones);
    if (opciones->demo)
      for (const auto& linea : prepararDemo()) std::printf("%s\n", linea.c_str());
    resultado = servir(*opciones, senales);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vemlo-servicio: %s\n", e.what());
  }
  cerrarVips();
  return resultado;
}
