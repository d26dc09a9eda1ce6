// Downloads into a file: complete bytes under the final name, and nothing at all under it
// (nor a temporary file beside it) when the transfer fails, is cut or is cancelled.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "servidor_prueba.h"
#include "vemlo/cliente.h"
#include "vemlo/transporte_curl.h"

namespace vemlo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string bytes = [] {
  std::string texto(3 << 20, '\0');
  for (std::size_t i = 0; i < texto.size(); ++i) texto[i] = static_cast<char>(i * 31 + 7);
  return texto;
}();

enum class Final { entera, rechazada, cortada, cancelada };

// Serves the download link and then the bytes, as `final` says.
void servir(Final final, const httplib::Request& pedido, httplib::Response& r) {
  if (pedido.path == "/v1/descargas")
    return r.set_content(R"({"url":"/almacen/t0"})", "application/json");
  if (final == Final::rechazada) {
    r.status = 403;
    return r.set_content(R"({"error":"permiso"})", "application/json");
  }
  r.set_content_provider(bytes.size(), "application/octet-stream",
                         [final](std::size_t desde, std::size_t, httplib::DataSink& sumidero) {
                           if (final != Final::entera && desde >= bytes.size() / 2) {
                             if (final == Final::cortada) return false;
                             std::this_thread::sleep_for(50ms);
                             return true;
                           }
                           sumidero.write(bytes.data() + desde, 64 * 1024);
                           return true;
                         });
}

std::vector<fs::path> contenido(const fs::path& carpeta) {
  std::vector<fs::path> nombres;
  for (const auto& entrada : fs::directory_iterator(carpeta))
    nombres.push_back(entrada.path().filename());
  return nombres;
}

TEST(Descarga, LlegaEnteraBajoSuNombreConSuProgreso) {
  pruebas::ServidorHttp servidor([](const auto& p, auto& r) { servir(Final::entera, p, r); });
  const Vemlo cliente(servidor.base(), "tok", std::make_shared<TransporteCurl>());
  const auto destino = fs::path(std::getenv("HOME")) / "informe.pdf";
  std::int64_t ultimo = 0;
  cliente.descargar("a1", destino, [&](std::int64_t n) { ultimo = n; });
  std::ifstream entrada(destino, std::ios::binary);
  EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(entrada), {}) == bytes);
  EXPECT_EQ(ultimo, static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(contenido(destino.parent_path()), std::vector<fs::path>{"informe.pdf"});
}

class DescargaFallida : public testing::TestWithParam<Final> {};

TEST_P(DescargaFallida, NoDejaNada) {
  pruebas::ServidorHttp servidor([](const auto& p, auto& r) { servir(GetParam(), p, r); });
  const Vemlo cliente(servidor.base(), "tok", std::make_shared<TransporteCurl>());
  const auto carpeta = fs::path(std::getenv("HOME")) / "bajadas";
  fs::create_directories(carpeta);
  std::stop_source parar;
  std::jthread cancelar([&] {
    if (GetParam() != Final::cancelada) return;
    std::this_thread::sleep_for(300ms);
    parar.request_stop();
  });
  try {
    cliente.descargar("a1", carpeta / "informe.pdf", {}, parar.get_token());
    ADD_FAILURE() << "se esperaba un fallo";
  } catch (const ErrorVemlo& e) {
    if (GetParam() == Final::rechazada) {
      EXPECT_EQ(e, ErrorVemlo::api(403, "permiso"));
    }
    if (GetParam() == Final::cancelada) {
      EXPECT_EQ(e, ErrorVemlo::cancelado());
    }
  }
  EXPECT_TRUE(contenido(carpeta).empty());
}

INSTANTIATE_TEST_SUITE_P(Descarga, DescargaFallida,
                         testing::Values(Final::rechazada, Final::cortada, Final::cancelada));

}  // namespace
}  // namespace vemlo
