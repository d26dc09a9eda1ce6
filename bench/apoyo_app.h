// What the app's benchmarks share: memory figures, medians, the demo's sign-in, a folder of N
// items made through the service, and a transport that counts the requests it passes on.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "vemlo/cliente.h"
#include "vemlo/subida.h"
#include "vemlo/transporte_curl.h"

namespace vemlo::bench {

inline double picoMiB() {
  rusage uso{};
  getrusage(RUSAGE_SELF, &uso);
  return static_cast<double>(uso.ru_maxrss) / 1024.0;
}

inline double residenteMiB() {
  std::ifstream statm("/proc/self/statm");
  long total = 0, residente = 0;
  statm >> total >> residente;
  return static_cast<double>(residente) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// The median time of `rondas` runs of `medir`, in milliseconds.
template <class F>
double medianaMs(int rondas, F&& medir) {
  std::vector<double> ms;
  for (int i = 0; i < rondas; ++i) {
    const auto inicio = std::chrono::steady_clock::now();
    medir();
    ms.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inicio)
            .count());
  }
  std::nth_element(ms.begin(), ms.begin() + rondas / 2, ms.end());
  return ms[static_cast<std::size_t>(rondas / 2)];
}

inline Cuenta entrar(const std::string& base, const std::string& correo, const std::string& clave) {
  const Vemlo anonimo(base, std::nullopt, TransporteCurl::compartido());
  return std::get<RespuestaEntrar::Lista>(anonimo.entrar(correo, clave).valor).cuenta;
}

// A new folder of `n` items: one folder in twenty, the rest empty files of a few types, made by
// four threads. Gives its id.
inline std::string sembrarCarpeta(const Vemlo& api, const std::string& raiz, int n) {
  const auto sufijo = std::to_string(getpid());
  const auto carpeta = api.crearCarpeta(raiz, "bench-" + sufijo);
  const auto vacio = std::filesystem::temp_directory_path() / ("bench-vacio-" + sufijo);
  std::ofstream(vacio).close();
  static const char* const kTipos[] = {".txt", ".pdf", ".docx", ".csv"};
  std::vector<std::jthread> hilos;
  for (int h = 0; h < 4; ++h)
    hilos.emplace_back([&, h] {
      for (int i = h; i < n; i += 4) {
        const auto nombre = "elemento-" + std::to_string(i);
        if (i % 20 == 0)
          api.crearCarpeta(carpeta, nombre);
        else
          subirArchivo(vacio, carpeta, api, {.nombre = nombre + kTipos[i % 4]});
      }
    });
  hilos.clear();
  std::filesystem::remove(vacio);
  return carpeta;
}

// Passes every request on, counting those whose address contains `patron`: in all, and the
// most under way at once.
class Contando : public Transporte {
 public:
  Contando(std::shared_ptr<Transporte> real, std::string patron)
      : real_(std::move(real)), patron_(std::move(patron)) {}
  Respuesta enviar(const Pedido& pedido, std::optional<std::string_view> cuerpo,
                   std::stop_token parar) override {
    const bool cuenta = pedido.url.find(patron_) != std::string::npos;
    if (cuenta) {
      ++total_;
      const int ahora = ++ahora_;
      for (int m = maximo_; ahora > m && !maximo_.compare_exchange_weak(m, ahora);) {
      }
    }
    struct Fin {
      bool cuenta;
      std::atomic<int>& ahora;
      ~Fin() { ahora -= cuenta; }
    } fin{cuenta, ahora_};
    return real_->enviar(pedido, cuerpo, std::move(parar));
  }
  Respuesta recibir(const Pedido& pedido, const Sumidero& sumidero,
                    std::stop_token parar) override {
    return real_->recibir(pedido, sumidero, std::move(parar));
  }
  int total() const { return total_; }
  int maximo() const { return maximo_; }

 private:
  std::shared_ptr<Transporte> real_;
  std::string patron_;
  std::atomic<int> total_{0};
  std::atomic<int> ahora_{0};
  std::atomic<int> maximo_{0};
};

}  // namespace vemlo::bench
