// Round trips of GET /v1/yo on loopback: the transport with its reused keep-alive connections
// against a fresh libcurl connection per request, and new connections per request after
// warm-up with one and with four threads calling at once.
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <curl/curl.h>
#include <httplib.h>

#include "vemlo/cliente.h"
#include "vemlo/transporte_curl.h"

namespace {

using Reloj = std::chrono::steady_clock;

constexpr const char* cuenta =
    R"({"usuario":{"id":"u1","nombre":"Ana","correo":"ana@vemlo.test"},)"
    R"("organizaciones":[{"id":"o1","nombre":"Acme","rol":"editor","carpetaRaizId":"c1"}]})";

struct Medida {
  double porSegundo;
  double conexionesPorPedido;
};

// `hilos` threads each make `pedidos` calls through one client; gives calls/s and the new
// connections the transport opened per call.
Medida conReuso(const vemlo::Vemlo& cliente, vemlo::TransporteCurl& transporte, int hilos,
                int pedidos) {
  const auto antes = transporte.conexionesAbiertas();
  const auto inicio = Reloj::now();
  std::vector<std::jthread> grupo;
  for (int h = 0; h < hilos; ++h)
    grupo.emplace_back([&] {
      for (int i = 0; i < pedidos; ++i) cliente.llamar<vemlo::Cuenta>("GET", "/v1/yo");
    });
  grupo.clear();
  const std::chrono::duration<double> segundos = Reloj::now() - inicio;
  const double total = static_cast<double>(hilos) * pedidos;
  return {total / segundos.count(),
          static_cast<double>(transporte.conexionesAbiertas() - antes) / total};
}

// The baseline: a new easy handle, so a new connection, for every request.
double sinReuso(const std::string& url, int pedidos) {
  curl_slist* cabeceras = curl_slist_append(nullptr, "X-Vemlo-App: mac");
  cabeceras = curl_slist_append(cabeceras, "Authorization: Bearer token-de-prueba");
  const auto descartar = +[](char*, size_t, size_t n, void*) { return n; };
  const auto inicio = Reloj::now();
  for (int i = 0; i < pedidos; ++i) {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, cabeceras);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, descartar);
    curl_easy_perform(easy);
    curl_easy_cleanup(easy);
  }
  const std::chrono::duration<double> segundos = Reloj::now() - inicio;
  curl_slist_free_all(cabeceras);
  return pedidos / segundos.count();
}

}  // namespace

int main() {
  httplib::Server servidor;
  servidor.Get("/v1/yo", [](const auto&, auto& r) { r.set_content(cuenta, "application/json"); });
  servidor.set_tcp_nodelay(true);
  servidor.set_keep_alive_max_count(1 << 30);
  const int puerto = servidor.bind_to_any_port("127.0.0.1");
  std::jthread escucha([&] { servidor.listen_after_bind(); });
  while (!servidor.is_running()) std::this_thread::yield();

  const std::string base = "http://127.0.0.1:" + std::to_string(puerto);
  auto transporte = std::make_shared<vemlo::TransporteCurl>();
  const vemlo::Vemlo cliente(base, "token-de-prueba", transporte);

  conReuso(cliente, *transporte, 4, 200);  // warm-up: one open connection per thread
  const auto uno = conReuso(cliente, *transporte, 1, 5000);
  const auto cuatro = conReuso(cliente, *transporte, 4, 2500);
  const double fresco = sinReuso(base + "/v1/yo", 3000);

  std::printf("GET /v1/yo on loopback\n");
  std::printf("  reused connections, 1 thread : %9.0f req/s, %.4f new connections/request\n",
              uno.porSegundo, uno.conexionesPorPedido);
  std::printf("  reused connections, 4 threads: %9.0f req/s, %.4f new connections/request\n",
              cuatro.porSegundo, cuatro.conexionesPorPedido);
  std::printf("  fresh connection per request : %9.0f req/s\n", fresco);
  std::printf("  reuse / fresh (1 thread)     : %9.2fx\n", uno.porSegundo / fresco);
  servidor.stop();
}
