// Downloads into a file: complete bytes under the final name, and nothing at all under it
// (nor a temporary file beside it) when the transfer fails, is cut or is cancelled; and
// downloads into a file others read meanwhile, which continue after the bytes it holds.
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
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

// A download into a file that holds `antes` bytes of it already, from a link that serves
// ranges or not.
struct FilaSeguir {
  const char* nombre;
  std::size_t antes;
  bool rangos;
};

void PrintTo(const FilaSeguir& f, std::ostream* os) {
  *os << f.nombre;
}

class Seguir : public testing::TestWithParam<FilaSeguir> {};

TEST_P(Seguir, TerminaEnteraYSoloPideLoQueFalta) {
  const auto& f = GetParam();
  std::mutex candado;
  std::vector<std::string> rangos;  // the Range of each request for the bytes
  pruebas::ServidorHttp servidor([&](const httplib::Request& p, httplib::Response& r) {
    std::lock_guard bloqueo(candado);
    rangos.push_back(p.get_header_value("Range"));
    if (!f.rangos && p.has_header("Range")) return static_cast<void>(r.status = 416);
    r.set_content(bytes, "application/octet-stream");  // the server applies the Range
  });
  const auto archivo = pruebas::casa() / "siguiendo";
  std::ofstream(archivo, std::ios::binary) << bytes.substr(0, f.antes);
  std::vector<std::int64_t> llegados;
  pruebas::clienteDe(servidor.base())
      .descargarEn(servidor.base() + "/almacen/t0", archivo,
                   [&](std::int64_t n) { llegados.push_back(n); });
  EXPECT_TRUE(leerTodo(archivo) == bytes);
  ASSERT_FALSE(llegados.empty());
  EXPECT_GT(llegados.front(), f.rangos ? static_cast<std::int64_t>(f.antes) : 0);
  EXPECT_EQ(llegados.back(), static_cast<std::int64_t>(bytes.size()));
  const auto desde = std::to_string(f.antes);
  const std::vector<std::string> esperados =
      f.antes == 0 ? std::vector<std::string>{""}
                   : std::vector<std::string>{"bytes=" + desde + "-" + desde,
                                              f.rangos ? "bytes=" + desde + "-" : ""};
  EXPECT_EQ(rangos, esperados);
}

INSTANTIATE_TEST_SUITE_P(Descarga, Seguir,
                         testing::Values(FilaSeguir{"Nueva", 0, true},
                                         FilaSeguir{"SigueDondeQuedo", 1 << 20, true},
                                         FilaSeguir{"SinRangosEmpiezaDeNuevo", 1 << 20, false}));

TEST(Tramo, SoloLosBytesPedidosYAlFinalLosQueHay) {
  pruebas::ServidorHttp servidor([](const httplib::Request&, httplib::Response& r) {
    r.set_content(bytes, "application/octet-stream");  // the server applies the Range
  });
  const auto cliente = pruebas::clienteDe(servidor.base());
  const auto url = servidor.base() + "/almacen/t0";
  EXPECT_TRUE(cliente.descargarTramo(url, 1000, 4096) == bytes.substr(1000, 4096));
  const auto cola = static_cast<std::int64_t>(bytes.size()) - 10;
  EXPECT_TRUE(cliente.descargarTramo(url, cola, 4096) == bytes.substr(bytes.size() - 10));
}

}  // namespace
}  // namespace vemlo
