// The upload engine against a small scripted service on loopback: the part plan, retries and
// their back-off, parallelism, confirmation order, progress, faulty plans and cancellation.
#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "servidor_prueba.h"
#include "vemlo/subida.h"
#include "vemlo/transporte_curl.h"
#include "vemlo/turnos.h"

namespace vemlo {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// A service that answers the upload request with `pedido` and takes parts as scripted:
// `fallos[n]` lists the statuses of part n's first attempts; `demora[n]` holds part n back.
class Servicio {
 public:
  json pedido;
  std::map<int, std::vector<int>> fallos;
  std::map<int, std::chrono::milliseconds> demora;
  bool sinEtag = false;

  struct Visto {
    std::map<int, std::string> partes;  // last body received per part
    std::map<int, int> intentos, firmas;
    std::vector<int> terminadas;
    std::optional<json> confirmado;
    std::string tipoDirecto;
    int maxEnVuelo = 0;
  };

  Servicio() : http_([this](const auto& p, auto& r) { atender(p, r); }) {}
  ~Servicio() {
    {
      std::lock_guard b(candado_);
      soltar_ = true;
    }
    cambio_.notify_all();
  }
  std::string base() const { return http_.base(); }
  Visto visto() {
    std::lock_guard b(candado_);
    return visto_;
  }

 private:
  void atender(const httplib::Request& p, httplib::Response& r) {
    std::smatch m;
    const std::string ruta = p.path;
    if (ruta == "/v1/subidas") return r.set_content(pedido.dump(), "application/json");
    if (ruta.ends_with("/confirmar")) {
      std::lock_guard b(candado_);
      visto_.confirmado = json::parse(p.body);
      return r.set_content("{}", "application/json");
    }
    if (std::regex_match(ruta, m, std::regex(R"(/v1/subidas/v1/partes/(\d+)/firmar)"))) {
      std::lock_guard b(candado_);
      ++visto_.firmas[std::stoi(m[1])];
      return r.set_content(json{{"url", base() + "/directo/" + m[1].str()}}.dump(),
                           "application/json");
    }
    if (ruta == "/directo/todo") {
      std::lock_guard b(candado_);
      const int intento = ++visto_.intentos[0];
      if (intento <= static_cast<int>(fallos[0].size())) {
        r.status = fallos[0][intento - 1];
        return;
      }
      visto_.partes[0] = p.body;
      visto_.tipoDirecto = p.get_header_value("Content-Type");
      return;
    }
    if (std::regex_match(ruta, m, std::regex(R"(/(?:v1/subidas/v1/partes|directo)/(\d+))")))
      return parte(std::stoi(m[1]), p, r);
  }

  void parte(int n, const httplib::Request& p, httplib::Response& r) {
    std::unique_lock b(candado_);
    const int intento = ++visto_.intentos[n];
    visto_.maxEnVuelo = std::max(visto_.maxEnVuelo, ++enVuelo_);
    cambio_.wait_for(b, demora.contains(n) ? demora[n] : 0ms, [&] { return soltar_; });
    --enVuelo_;
    if (intento <= static_cast<int>(fallos[n].size())) {
      r.status = fallos[n][intento - 1];
      return;
    }
    visto_.partes[n] = p.body;
    visto_.terminadas.push_back(n);
    if (!sinEtag) r.set_header("ETag", "e" + std::to_string(n));
    r.set_content(json{{"etag", "e" + std::to_string(n)}}.dump(), "application/json");
  }

  std::mutex candado_;
  std::condition_variable cambio_;
  bool soltar_ = false;
  int enVuelo_ = 0;
  Visto visto_;
  pruebas::ServidorHttp http_;  // last: stops before the members it uses go
};

std::filesystem::path archivoDe(std::int64_t tamano, const std::string& nombre = "datos.bin") {
  const auto ruta = pruebas::casa() / nombre;
  std::ofstream salida(ruta, std::ios::binary);
  for (std::int64_t i = 0; i < tamano; ++i) salida.put(static_cast<char>('a' + i % 26));
  return ruta;
}

json partes(std::int64_t tamanoParte, std::int64_t total, bool directo = false) {
  return {{"archivoId", "a1"},
          {"versionId", "v1"},
          {"partes", {{"tamanoParte", tamanoParte}, {"total", total}, {"directo", directo}}}};
}

// Runs an upload, recording the waits it asks for instead of sleeping.
struct Corrida {
  std::vector<std::uint64_t> esperas;
  std::vector<double> avances;
  std::function<void()> alEsperar;  // runs at each wait, e.g. to change the file meanwhile
  std::mutex candado;

  std::string subir(Servicio& s, const std::filesystem::path& archivo, std::stop_token parar = {}) {
    const Vemlo api(s.base(), "tok", std::make_shared<TransporteCurl>());
    const Esperar esperar = [&](std::uint64_t ns, std::stop_token) {
      std::lock_guard b(candado);
      esperas.push_back(ns / 1'000'000'000ULL);
      if (alEsperar) alEsperar();
    };
    const auto avanzar = [&](double f) {
      std::lock_guard b(candado);
      avances.push_back(f);
    };
    return subirArchivo(archivo, "c1", api,
                        {.esperar = esperar, .alAvanzar = avanzar, .parar = std::move(parar)});
  }
};

struct FilaPlan {
  std::int64_t tamano, tamanoParte, total;
  std::vector<std::pair<int, int>> esperadas;  // (n, length)
  friend void PrintTo(const FilaPlan& f, std::ostream* os) {
    *os << f.tamano << "/" << f.tamanoParte << "/" << f.total;
  }
};

class Plan : public testing::TestWithParam<FilaPlan> {};

TEST_P(Plan, CadaParteLlevaSuTrozoYSeConfirmaEnOrden) {
  const auto& f = GetParam();
  Servicio s;
  s.pedido = partes(f.tamanoParte, f.total);
  const auto archivo = archivoDe(f.tamano);
  Corrida corrida;
  EXPECT_EQ(corrida.subir(s, archivo), "a1");
  const auto visto = s.visto();
  json confirmadas = json::array();
  for (const auto& [n, largo] : f.esperadas) {
    EXPECT_EQ(visto.partes.at(n).size(), static_cast<std::size_t>(largo));
    confirmadas.push_back({{"n", n}, {"etag", "e" + std::to_string(n)}});
  }
  EXPECT_EQ(visto.partes.size(), f.esperadas.size());
  const json esperado = f.esperadas.empty() ? json::object() : json{{"partes", confirmadas}};
  EXPECT_EQ(*visto.confirmado, esperado);
  EXPECT_EQ(corrida.avances.size(), f.esperadas.size());
}

INSTANTIATE_TEST_SUITE_P(Subida, Plan,
                         testing::Values(FilaPlan{10, 4, 3, {{1, 4}, {2, 4}, {3, 2}}},
                                         FilaPlan{4, 4, 2, {{1, 4}, {2, 0}}},
                                         FilaPlan{8, 4, 2, {{1, 4}, {2, 4}}},
                                         FilaPlan{9, 4, 3, {{1, 4}, {2, 4}, {3, 1}}},
                                         FilaPlan{1, 4, 1, {{1, 1}}}, FilaPlan{5, 4, 0, {}}));

TEST(Subida, SinVersionNoEnviaNada) {
  Servicio s;
  s.pedido = {{"archivoId", "a0"}};
  Corrida corrida;
  EXPECT_EQ(corrida.subir(s, archivoDe(0)), "a0");
  EXPECT_FALSE(s.visto().confirmado);
  EXPECT_TRUE(corrida.avances.empty());
}

// One request with its media type and one progress report; another program empties the file
// between two attempts, and the retry sends the bytes read before, not a mixture.
TEST(Subida, UnaSolaVezConSuTipoYLosBytesQueLeyo) {
  Servicio s;
  s.pedido = {{"archivoId", "a1"}, {"versionId", "v1"}, {"url", s.base() + "/directo/todo"}};
  s.fallos[0] = {503};
  const auto archivo = archivoDe(3 << 20, "informe.pdf");
  Corrida corrida;
  corrida.alEsperar = [&] { std::filesystem::resize_file(archivo, 0); };
  EXPECT_EQ(corrida.subir(s, archivo), "a1");
  const auto visto = s.visto();
  EXPECT_EQ(visto.intentos.at(0), 2);
  ASSERT_EQ(visto.partes.at(0).size(), 3u << 20);
  EXPECT_EQ(visto.partes.at(0).substr(0, 3), "abc");
  EXPECT_EQ(visto.tipoDirecto, "application/pdf");
  EXPECT_EQ(*visto.confirmado, json::object());
  EXPECT_EQ(corrida.avances, std::vector<double>{1.0});
}

TEST(Subida, ReintentaCon503YEsperaUnoYDosSegundos) {
  Servicio s;
  s.pedido = partes(4, 3);
  s.fallos[2] = {503, 503};
  Corrida corrida;
  corrida.subir(s, archivoDe(10));
  EXPECT_EQ(corrida.esperas, (std::vector<std::uint64_t>{1, 2}));
  EXPECT_EQ(s.visto().intentos.at(2), 3);
  EXPECT_TRUE(s.visto().confirmado);
}

TEST(Subida, SeisIntentosYLuegoFallaSinConfirmarYCancelaLasDemas) {
  Servicio s;
  s.pedido = partes(4, 8);
  s.fallos[1] = std::vector<int>(6, 500);
  for (int n = 2; n <= 8; ++n) s.demora[n] = 1h;  // returning at all means they were cancelled
  Corrida corrida;
  EXPECT_EQ(pruebas::falla([&] { corrida.subir(s, archivoDe(32)); }),
            ErrorVemlo::api(500, "servidor"));
  EXPECT_EQ(corrida.esperas, (std::vector<std::uint64_t>{1, 2, 4, 8, 16}));
  EXPECT_EQ(s.visto().intentos.at(1), 6);
  EXPECT_FALSE(s.visto().confirmado);
}

TEST(Subida, Un404QueNoEsNoLlegoNoSeReintenta) {
  Servicio s;
  s.pedido = partes(4, 1);
  s.fallos[1] = {404};
  Corrida corrida;
  EXPECT_THROW(corrida.subir(s, archivoDe(4)), ErrorVemlo);
  EXPECT_EQ(s.visto().intentos.at(1), 1);
  EXPECT_TRUE(corrida.esperas.empty());
}

TEST(Subida, DirectoFirmaDeNuevoEnCadaReintento) {
  Servicio s;
  s.pedido = partes(4, 2, true);
  s.fallos[2] = {503};
  Corrida corrida;
  corrida.subir(s, archivoDe(8));
  EXPECT_EQ(s.visto().firmas.at(2), 2);
  EXPECT_EQ(s.visto().firmas.at(1), 1);
}

TEST(Subida, UnaParteDirectaSinHuellaEsFormato) {
  Servicio s;
  s.pedido = partes(4, 1, true);
  s.sinEtag = true;
  Corrida corrida;
  EXPECT_EQ(pruebas::falla([&] { corrida.subir(s, archivoDe(4)); }),
            ErrorVemlo::formato("la parte llegó sin huella"));
  EXPECT_EQ(s.visto().firmas.at(1), 1);
}

TEST(Subida, NuncaMasDeCuatroAlaVezYConfirmaEnOrdenAunqueTerminenDesordenadas) {
  Servicio s;
  s.pedido = partes(1, 12);
  for (int n = 1; n <= 12; ++n) s.demora[n] = std::chrono::milliseconds(40 * (13 - n));
  Corrida corrida;
  corrida.subir(s, archivoDe(12));
  const auto visto = s.visto();
  EXPECT_EQ(visto.maxEnVuelo, 4);
  EXPECT_FALSE(std::ranges::is_sorted(visto.terminadas));
  for (int n = 1; n <= 12; ++n) EXPECT_EQ(visto.confirmado->at("partes")[n - 1].at("n"), n);
  EXPECT_DOUBLE_EQ(corrida.avances.front(), 1.0 / 12);
  EXPECT_DOUBLE_EQ(corrida.avances.back(), 1.0);
  EXPECT_TRUE(std::ranges::is_sorted(corrida.avances));
}

class PlanDefectuoso : public testing::TestWithParam<json> {};

TEST_P(PlanDefectuoso, EsFormatoAntesDeEnviarUnByte) {
  Servicio s;
  s.pedido = GetParam();
  if (s.pedido.contains("url") && s.pedido["url"].get<std::string>().empty())
    s.pedido["url"] = "/relativa";
  Corrida corrida;
  const auto error = pruebas::falla([&] { corrida.subir(s, archivoDe(10)); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->caso(), ErrorVemlo::Caso::formato);
  EXPECT_TRUE(s.visto().intentos.empty());
  EXPECT_FALSE(s.visto().confirmado);
}

INSTANTIATE_TEST_SUITE_P(
    Subida, PlanDefectuoso,
    testing::Values(partes(4, -1), partes(-4, 3), partes(std::int64_t{1} << 62, 3),
                    json{{"archivoId", "a1"}, {"versionId", "v1"}},
                    json{{"archivoId", "a1"}, {"versionId", "v1"}, {"url", ""}}));

TEST(Subida, CancelarTerminaLasPartesYNoConfirma) {
  Servicio s;
  s.pedido = partes(4, 6);
  for (int n = 1; n <= 6; ++n) s.demora[n] = 1h;  // only the cancellation ends them
  std::stop_source parar;
  std::jthread cancelar([&] {
    std::this_thread::sleep_for(300ms);
    parar.request_stop();
  });
  Corrida corrida;
  EXPECT_EQ(pruebas::falla([&] { corrida.subir(s, archivoDe(24), parar.get_token()); }),
            ErrorVemlo::cancelado());
  EXPECT_FALSE(s.visto().confirmado);
}

TEST(Subida, UnArchivoQueNoExisteNoEnviaNada) {
  Servicio s;
  s.pedido = partes(4, 1);
  Corrida corrida;
  EXPECT_THROW(corrida.subir(s, "/no/existe"), std::filesystem::filesystem_error);
  EXPECT_FALSE(s.visto().confirmado);
}

TEST(Turnos, TresLugaresCincoQuePidenPorOrdenDeLlegada) {
  Turnos turnos(3);
  for (int i = 0; i < 3; ++i) turnos.pedir();
  std::mutex candado;
  std::condition_variable llegada;
  std::vector<int> orden;
  std::vector<std::jthread> esperando;
  for (int i = 0; i < 2; ++i) {
    esperando.emplace_back([&, i] {
      turnos.pedir();
      std::lock_guard b(candado);
      orden.push_back(i);
      llegada.notify_all();
    });
    std::this_thread::sleep_for(50ms);  // so that 0 asks before 1
  }
  {
    std::unique_lock b(candado);
    EXPECT_TRUE(orden.empty());
    turnos.soltar();
    llegada.wait(b, [&] { return !orden.empty(); });
    EXPECT_EQ(orden, std::vector<int>{0});
  }
  turnos.soltar();
  esperando.clear();
  EXPECT_EQ(orden, (std::vector<int>{0, 1}));
  std::stop_source parar;
  parar.request_stop();
  EXPECT_THROW(turnos.pedir(parar.get_token()), ErrorVemlo);
}

}  // namespace
}  // namespace vemlo
