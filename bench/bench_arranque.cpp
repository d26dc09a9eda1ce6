// Starts a program RUNS times and times, from the spawn, the lines it writes to stderr at its
// milestones (the app's "pintada", "principal", "listado"; see medida_arranque.h), up to LAST;
// then stops it. With REST > 0, after the last run's LAST the program rests REST seconds and
// its memory is read. Prints "<line>_ms median min max" per line, then the memory at rest.
// Usage: bench_arranque RUNS LAST REST -- PROGRAM [ARGS...]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Reloj = std::chrono::steady_clock;
using Tiempos = std::map<std::string, std::vector<double>>;

struct Proceso {
  pid_t pid = -1;
  int errores = -1;  // the read end of its stderr
};

Proceso lanzar(std::vector<char*> argv) {
  int tubo[2];
  if (pipe2(tubo, O_CLOEXEC) != 0) std::exit(1);
  posix_spawn_file_actions_t acciones;
  posix_spawn_file_actions_init(&acciones);
  posix_spawn_file_actions_adddup2(&acciones, tubo[1], 2);
  posix_spawn_file_actions_addclose(&acciones, tubo[0]);
  argv.push_back(nullptr);
  Proceso p;
  if (posix_spawn(&p.pid, argv[0], &acciones, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "bench_arranque: cannot run %s\n", argv[0]);
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&acciones);
  close(tubo[1]);
  p.errores = tubo[0];
  return p;
}

// Reads the program's lines until LAST (true) or its end or 60 s (false), noting each line's
// time since `inicio`.
bool seguir(const Proceso& p, const std::string& ultima, Reloj::time_point inicio,
            Tiempos& tiempos) {
  std::string pendiente;
  while (Reloj::now() - inicio < std::chrono::seconds(60)) {
    pollfd espera{p.errores, POLLIN, 0};
    if (poll(&espera, 1, 1000) <= 0) continue;
    char bloque[512];
    const auto leidos = read(p.errores, bloque, sizeof bloque);
    if (leidos <= 0) return false;
    const double ms = std::chrono::duration<double, std::milli>(Reloj::now() - inicio).count();
    pendiente.append(bloque, static_cast<std::size_t>(leidos));
    for (auto fin = pendiente.find('\n'); fin != std::string::npos; fin = pendiente.find('\n')) {
      const auto linea = pendiente.substr(0, fin);
      pendiente.erase(0, fin + 1);
      if (linea == "pintada" || linea == "principal" || linea == "listado")
        tiempos[linea].push_back(ms);
      if (linea == ultima) return true;
    }
  }
  return false;
}

void detener(const Proceso& p) {
  kill(p.pid, SIGTERM);
  waitpid(p.pid, nullptr, 0);
  close(p.errores);
}

// A field of /proc/PID/status or smaps_rollup, in MiB.
double mib(const std::string& archivo, const std::string& campo) {
  std::ifstream entrada(archivo);
  for (std::string linea; std::getline(entrada, linea);) {
    if (!linea.starts_with(campo + ":")) continue;
    std::istringstream partes(linea.substr(campo.size() + 1));
    double kib = 0;
    partes >> kib;
    return kib / 1024;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6 || std::string(argv[4]) != "--") {
    std::fprintf(stderr, "usage: bench_arranque RUNS LAST REST -- PROGRAM [ARGS...]\n");
    return 2;
  }
  const int veces = std::atoi(argv[1]);
  const std::string ultima = argv[2];
  const int reposo = std::atoi(argv[3]);
  const std::vector<char*> programa(argv + 5, argv + argc);
  Tiempos tiempos;
  for (int i = 0; i < veces; ++i) {
    const auto inicio = Reloj::now();
    const auto p = lanzar(programa);
    if (!seguir(p, ultima, inicio, tiempos)) {
      std::fprintf(stderr, "bench_arranque: %s never wrote %s\n", programa[0], ultima.c_str());
      detener(p);
      return 1;
    }
    if (i + 1 == veces && reposo > 0) {
      std::this_thread::sleep_for(std::chrono::seconds(reposo));
      const auto proc = "/proc/" + std::to_string(p.pid);
      std::printf("rss_reposo_mib %.1f\npss_reposo_mib %.1f\n", mib(proc + "/status", "VmRSS"),
                  mib(proc + "/smaps_rollup", "Pss"));
    }
    detener(p);
  }
  for (auto& [linea, ms] : tiempos) {
    std::ranges::sort(ms);
    std::printf("%s_ms %.1f %.1f %.1f\n", linea.c_str(), ms[ms.size() / 2], ms.front(), ms.back());
  }
}
