// Downloads into a file: complete bytes under the final name, and nothing at all under it
// (nor a temporary file beside it) when the transfer fails, is cut or is cancelled.
#include <gtest/gtest.h>

#include <thread>

#include "servidor_prueba.h"
#include "vemlo/archivo.h"

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

class Descarga : public testing::TestWithParam<Final> {};

TEST_P(Descarga, LlegaEnteraBajoSuNombreONoDejaNada) {
  pruebas::ServidorHttp servidor([](const auto& p, auto& r) { servir(GetParam(), p, r); });
  const auto carpeta = pruebas::casa() / "bajadas";
  fs::create_directories(carpeta);
  std::stop_source parar;
  std::jthread cancelar([&] {
    if (GetParam() != Final::cancelada) return;
    std::this_thread::sleep_for(300ms);
    parar.request_stop();
  });
  std::int64_t ultimo = 0;
  const auto error = pruebas::falla([&] {
    pruebas::clienteDe(servidor.base())
        .descargar(
            "a1", carpeta / "informe.pdf", [&](std::int64_t n) { ultimo = n; }, parar.get_token());
  });
  if (GetParam() == Final::entera) {
    EXPECT_FALSE(error) << error->what();
    EXPECT_TRUE(leerTodo(carpeta / "informe.pdf") == bytes);
    EXPECT_EQ(ultimo, static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(contenido(carpeta), std::vector<fs::path>{"informe.pdf"});
    return;
  }
  ASSERT_TRUE(error);
  if (GetParam() == Final::rechazada) {
    EXPECT_EQ(error, ErrorVemlo::api(403, "permiso"));
  }
  if (GetParam() == Final::cancelada) {
    EXPECT_EQ(error, ErrorVemlo::cancelado());
  }
  EXPECT_TRUE(contenido(carpeta).empty());
}

INSTANTIATE_TEST_SUITE_P(Descarga, Descarga,
                         testing::Values(Final::entera, Final::rechazada, Final::cortada,
                                         Final::cancelada));

}  // namespace
}  // namespace vemlo
