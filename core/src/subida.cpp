// The upload engine: ask the service how the bytes should travel, send them (one signed PUT,
// or parts on up to four threads, each retried with back-off), then confirm.
#include "vemlo/subida.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "url.h"
#include "vemlo/descriptor.h"
#include "vemlo/tipos.h"

namespace vemlo {
namespace {

constexpr int maxParalelo = 4;
constexpr int maxReintentos = 5;

// Positioned reads of one open file: concurrent parts never share a file offset.
class LectorPartes {
 public:
  explicit LectorPartes(const std::filesystem::path& archivo)
      : archivo_(archivo), fd_(open(archivo.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (!fd_) fallaArchivo("open");
  }

  // At most `largo` bytes from `desde`; fewer at the end of the file.
  std::string leerParte(std::int64_t desde, std::int64_t largo) const {
    std::string bytes(static_cast<std::size_t>(largo), '\0');
    std::size_t leidos = 0;
    while (leidos < bytes.size()) {
      const auto n = pread(fd_.get(), bytes.data() + leidos, bytes.size() - leidos,
                           static_cast<off_t>(desde + static_cast<std::int64_t>(leidos)));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) fallaArchivo("pread");
      if (n == 0) break;
      leidos += static_cast<std::size_t>(n);
    }
    bytes.resize(leidos);
    return bytes;
  }

 private:
  [[noreturn]] void fallaArchivo(const char* que) const {
    throw std::filesystem::filesystem_error(que, archivo_, {errno, std::generic_category()});
  }

  std::filesystem::path archivo_;
  Descriptor fd_;
};

// Counts finished parts and reports the fraction, one report at a time.
class Contador {
 public:
  Contador(std::int64_t total, std::function<void(double)> alAvanzar)
      : total_(total), alAvanzar_(std::move(alAvanzar)) {}

  void avanzar() {
    std::lock_guard bloqueo(candado_);
    ++hechas_;
    if (alAvanzar_)
      alAvanzar_(static_cast<double>(hechas_) /
                 static_cast<double>(std::max<std::int64_t>(total_, 1)));
  }

 private:
  std::mutex candado_;  // serialises the count and its report
  const std::int64_t total_;
  std::function<void(double)> alAvanzar_;
  std::int64_t hechas_ = 0;
};

// The wait before attempt k + 1: min(2^(k-1), 30) seconds.
std::uint64_t esperaTras(int k) {
  const std::uint64_t segundos = std::min<std::uint64_t>(1ULL << (k - 1), 30);
  return segundos * 1'000'000'000ULL;
}

template <class Intento>
auto conReintentos(const Intento& intento, const Esperar& esperar, const std::stop_token& parar) {
  for (int k = 1;; ++k) {
    try {
      return intento();
    } catch (const ErrorVemlo& e) {
      if (k > maxReintentos || !reintentable(e)) throw;
    }
    esperar(esperaTras(k), parar);
  }
}

std::string unaSolaVez(const std::filesystem::path& archivo, std::int64_t tamano,
                       const PedidoSubida& pedido, const std::string& tipo, const Vemlo& api,
                       const OpcionesSubida& opciones) {
  const auto& parar = opciones.parar;
  if (!urlAbsoluta(*pedido.url)) throw ErrorVemlo::formato("enlace");
  // Read once into memory, never mapped: another program may shrink the file meanwhile, and
  // every attempt sends the same bytes.
  const auto bytes = LectorPartes(archivo).leerParte(0, tamano);
  conReintentos([&] { return api.subirDirecto(*pedido.url, bytes, tipo, parar); }, opciones.esperar,
                parar);
  if (opciones.alAvanzar) opciones.alAvanzar(1.0);
  api.confirmarSubida(*pedido.versionId, {}, parar);
  return pedido.archivoId;
}

// The numbered parts of a plan, handed out in order to the threads that send them.
struct Plan {
  std::int64_t tamano;
  Partes partes;

  // A plan that a faulty answer cannot turn into negative sizes or overflowing offsets.
  void validar() const {
    std::int64_t ultimo = 0;
    if (partes.total < 0 || partes.tamanoParte < 0 ||
        (partes.total > 0 && __builtin_mul_overflow(partes.total - 1, partes.tamanoParte, &ultimo)))
      throw ErrorVemlo::formato("plan de partes no válido");
  }
  std::int64_t desde(std::int64_t i) const { return i * partes.tamanoParte; }
  std::int64_t largo(std::int64_t i) const {
    return std::max<std::int64_t>(0, std::min(tamano - desde(i), partes.tamanoParte));
  }
};

// What the part threads share: the next part to start, the results, the first failure.
class Grupo {
 public:
  explicit Grupo(const std::stop_token& parar)
      : enlace_(parar, [this] { parar_.request_stop(); }) {}

  std::optional<std::int64_t> siguiente(std::int64_t total) {
    if (parar_.stop_requested()) return std::nullopt;
    const auto i = siguiente_++;
    return i < total ? std::optional(i) : std::nullopt;
  }
  void terminada(Vemlo::ParteSubida parte) {
    std::lock_guard bloqueo(candado_);
    hechas_.push_back(std::move(parte));
  }
  void fallida(std::exception_ptr fallo) {
    {
      std::lock_guard bloqueo(candado_);
      if (!primerFallo_) primerFallo_ = std::move(fallo);
    }
    parar_.request_stop();
  }
  std::stop_token token() const { return parar_.get_token(); }

  // The results sorted by part number, or the failure that ended the upload.
  std::vector<Vemlo::ParteSubida> resultado(std::int64_t total) {
    if (primerFallo_) std::rethrow_exception(primerFallo_);
    if (static_cast<std::int64_t>(hechas_.size()) != total) throw ErrorVemlo::cancelado();
    std::ranges::sort(hechas_, {}, &Vemlo::ParteSubida::n);
    return std::move(hechas_);
  }

 private:
  std::stop_source parar_;
  std::stop_callback<std::function<void()>> enlace_;
  std::atomic<std::int64_t> siguiente_{0};
  std::mutex candado_;  // guards hechas_ and primerFallo_
  std::vector<Vemlo::ParteSubida> hechas_;
  std::exception_ptr primerFallo_;
};

std::string enviarParte(const Vemlo& api, const PedidoSubida& pedido, std::int64_t n,
                        const std::string& bytes, const std::stop_token& parar) {
  const auto& version = *pedido.versionId;
  if (!pedido.partes->directo.value_or(false)) return api.subirParte(version, n, bytes, parar);
  const auto firma = api.llamar<Enlace>("POST",
                                        std::string("/v1/subidas/")
                                            .append(version)
                                            .append("/partes/")
                                            .append(std::to_string(n))
                                            .append("/firmar"),
                                        std::nullopt, parar);
  auto etag = api.subirDirecto(firma.url, bytes, std::nullopt, parar);
  if (!etag) throw ErrorVemlo::formato("la parte llegó sin huella");
  return std::move(*etag);
}

std::string porPartes(const std::filesystem::path& archivo, std::int64_t tamano,
                      const PedidoSubida& pedido, const Vemlo& api,
                      const OpcionesSubida& opciones) {
  const Plan plan{tamano, *pedido.partes};
  plan.validar();
  const LectorPartes lector(archivo);
  Contador contador(plan.partes.total, opciones.alAvanzar);
  Grupo grupo(opciones.parar);
  const auto trabajar = [&] {
    while (const auto i = grupo.siguiente(plan.partes.total)) {
      try {
        const auto bytes = lector.leerParte(plan.desde(*i), plan.largo(*i));
        const auto n = *i + 1;
        auto etag = conReintentos([&] { return enviarParte(api, pedido, n, bytes, grupo.token()); },
                                  opciones.esperar, grupo.token());
        contador.avanzar();
        grupo.terminada({n, std::move(etag)});
      } catch (...) {
        grupo.fallida(std::current_exception());
      }
    }
  };
  {
    std::vector<std::jthread> hilos;
    const auto cuantos = std::min<std::int64_t>(maxParalelo, plan.partes.total);
    for (std::int64_t h = 0; h < cuantos; ++h) hilos.emplace_back(trabajar);
  }
  api.confirmarSubida(*pedido.versionId, grupo.resultado(plan.partes.total), opciones.parar);
  return pedido.archivoId;
}

}  // namespace

void esperarDeVerdad(std::uint64_t nanosegundos, std::stop_token parar) {
  std::mutex candado;
  std::condition_variable_any despertar;
  std::unique_lock bloqueo(candado);
  if (despertar.wait_for(bloqueo, parar, std::chrono::nanoseconds(nanosegundos),
                         [] { return false; });
      parar.stop_requested())
    throw ErrorVemlo::cancelado();
}

std::string subirArchivo(const std::filesystem::path& archivo, std::string_view carpetaId,
                         const Vemlo& api, const OpcionesSubida& opciones) {
  const auto tamano = static_cast<std::int64_t>(std::filesystem::file_size(archivo));
  const auto nombreFinal = opciones.nombre.value_or(archivo.filename().string());
  const auto tipo = tipoMime(nombreFinal);
  const nlohmann::json cuerpo{
      {"carpetaId", carpetaId}, {"nombre", nombreFinal}, {"tamanoBytes", tamano}, {"tipo", tipo}};
  const auto pedido = api.llamar<PedidoSubida>("POST", "/v1/subidas", cuerpo, opciones.parar);
  if (!pedido.versionId) return pedido.archivoId;
  if (pedido.url) return unaSolaVez(archivo, tamano, pedido, tipo, api, opciones);
  if (!pedido.partes) throw ErrorVemlo::formato("subida sin enlace ni partes");
  return porPartes(archivo, tamano, pedido, api, opciones);
}

}  // namespace vemlo
