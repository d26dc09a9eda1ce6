// One upload through the upload engine against a running service: signs in with the given
// account, uploads the file into the first company's root folder and prints its throughput
// the process's peak memory and the CPU seconds the upload took, as "MB/s <n>", "pico_MiB <n>"
// and "cpu_s <n>" lines for bench-subida.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "vemlo/cliente.h"
#include "vemlo/subida.h"
#include "vemlo/transporte_curl.h"

namespace {

double segundosDeCpu() {
  rusage uso{};
  getrusage(RUSAGE_SELF, &uso);
  const auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return s(uso.ru_utime) + s(uso.ru_stime);
}

double picoMiB() {
  rusage uso{};
  getrusage(RUSAGE_SELF, &uso);
  return static_cast<double>(uso.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "uso: bench_subida BASE CORREO CLAVE ARCHIVO\n";
    return 2;
  }
  try {
    const vemlo::Vemlo anonimo(argv[1], std::nullopt, vemlo::TransporteCurl::compartido());
    const auto respuesta = anonimo.entrar(argv[2], argv[3]);
    const auto& cuenta = std::get<vemlo::RespuestaEntrar::Lista>(respuesta.valor).cuenta;
    const vemlo::Vemlo api(argv[1], cuenta.token, vemlo::TransporteCurl::compartido());
    const auto carpeta = cuenta.organizaciones.at(0).carpetaRaizId;
    const std::filesystem::path archivo(argv[4]);
    const double antes = picoMiB();
    const double cpu = segundosDeCpu();
    const auto inicio = std::chrono::steady_clock::now();
    vemlo::subirArchivo(archivo, carpeta, api, {.nombre = "bench-" + std::to_string(getpid())});
    const std::chrono::duration<double> segundos = std::chrono::steady_clock::now() - inicio;
    const double mb = static_cast<double>(std::filesystem::file_size(archivo)) / 1e6;
    std::printf("MB/s %.1f\npico_MiB %.1f\nantes_MiB %.1f\ncpu_s %.2f\n", mb / segundos.count(),
                picoMiB(), antes, segundosDeCpu() - cpu);
  } catch (const std::exception& e) {
    std::cerr << "bench_subida: " << e.what() << "\n";
    return 1;
  }
}
