// TransporteCurl: the process-wide transport over libcurl.
//
// Each transfer borrows a channel (a curl multi handle with its easy handle) from a pool and
// gives it back afterwards, so keep-alive connections are reused across requests and threads
// without ever sharing one connection cache between threads that run at once. The calling
// thread drives its own transfer, and a stop request wakes it at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "vemlo/transporte.h"

namespace vemlo {

class Conectividad;

class TransporteCurl final : public Transporte {
 public:
  // `conectividad` classifies failures; without one, the process's shared monitor is used
  // (started on the first failure that needs it).
  explicit TransporteCurl(Conectividad* conectividad = nullptr);
  ~TransporteCurl() override;
  TransporteCurl(const TransporteCurl&) = delete;
  TransporteCurl& operator=(const TransporteCurl&) = delete;

  // The transport of the process, created on first use and never destroyed.
  static std::shared_ptr<TransporteCurl> compartido();

  Respuesta enviar(const Pedido& pedido, std::optional<std::string_view> cuerpo,
                   std::stop_token parar) override;
  Respuesta recibir(const Pedido& pedido, const Sumidero& sumidero, std::stop_token parar) override;

  // How many connections this transport has opened so far (diagnostics and benchmarks).
  std::uint64_t conexionesAbiertas() const { return conexiones_.load(); }

 private:
  struct Canal;
  std::unique_ptr<Canal> tomarCanal();
  void devolverCanal(std::unique_ptr<Canal> canal);
  bool conRed() const;
  Respuesta transferir(const Pedido& pedido, std::optional<std::string_view> cuerpo,
                       const Sumidero* sumidero, const std::stop_token& parar);

  Conectividad* conectividad_;
  std::mutex candado_;  // guards libres_ only
  std::vector<std::unique_ptr<Canal>> libres_;
  std::atomic<std::uint64_t> conexiones_{0};
};

}  // namespace vemlo
