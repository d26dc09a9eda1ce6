// The test endpoints: fault rules (status, delay, cut), the register of requests seen, and
// their absence without --pruebas.
#include <thread>

#include "comun.h"

namespace vemlo::pruebas {
namespace {

using Reloj = std::chrono::steady_clock;

// Rules and the register belong to the whole service: every case starts without either.
class Fallos : public Compartida {
 protected:
  void SetUp() override {
    quitarFallos(compartido().servicio.base());
    borrarRegistro(compartido().servicio.base());
  }
  void TearDown() override { quitarFallos(compartido().servicio.base()); }
  static void poner(const std::string& reglas) {
    ponerFallos(compartido().servicio.base(), nlohmann::json::parse(reglas));
  }
};
using Registro = Fallos;

TEST_F(Fallos, UnaReglaResponderElEstadoYElCodigoLasVecesDichas) {
  auto& e = compartido();
  poner(R"([{"metodo":"GET","ruta":"^/v1/yo$","estado":503,"error":"almacen","veces":2}])");
  EXPECT_TRUE(esError(e.demo.get("/v1/yo"), 503, "almacen"));
  EXPECT_TRUE(esError(e.demo.get("/v1/yo"), 503, "almacen"));
  EXPECT_TRUE(esOk(e.demo.get("/v1/yo")));
}

TEST_F(Fallos, SinErrorElCuerpoVaVacioYVecesValeUno) {
  auto& e = compartido();
  poner(R"([{"ruta":"/v1/carpetas/","estado":500}])");
  const auto c = e.demo.get("/v1/carpetas/" + e.acme.carpetaRaizId);
  EXPECT_EQ(c.estado, 500);
  EXPECT_EQ(c.cuerpo, "");
  EXPECT_TRUE(esOk(e.demo.get("/v1/carpetas/" + e.acme.carpetaRaizId)));
}

TEST_F(Fallos, ElMetodoDistintoNoCoincideYLaPrimeraReglaGana) {
  auto& e = compartido();
  poner(R"([{"metodo":"POST","ruta":"^/v1/yo","estado":418},
            {"ruta":"^/v1/yo","estado":502,"veces":1},
            {"ruta":"^/v1/yo","estado":504,"veces":1}])");
  EXPECT_EQ(e.demo.get("/v1/yo").estado, 502);
  EXPECT_EQ(e.demo.get("/v1/yo").estado, 504);
  EXPECT_TRUE(esOk(e.demo.get("/v1/yo")));
}

TEST_F(Fallos, LaRutaNoMiraLaConsulta) {
  auto& e = compartido();
  poner(R"([{"ruta":"^/v1/buscar$","estado":503}])");
  EXPECT_EQ(e.demo.get("/v1/buscar?organizacionId=" + codificar(e.acme.id) + "&q=a").estado, 503);
}

TEST_F(Fallos, LasReglasSeAcumulanYSeBorran) {
  auto& e = compartido();
  poner(R"([{"ruta":"^/v1/yo$","estado":500}])");
  poner(R"([{"ruta":"^/v1/carpetas","estado":500,"veces":5}])");
  EXPECT_EQ(e.demo.get("/v1/yo").estado, 500);
  EXPECT_EQ(e.demo.get("/v1/carpetas/" + e.acme.carpetaRaizId).estado, 500);
  quitarFallos(e.servicio.base());
  EXPECT_TRUE(esOk(e.demo.get("/v1/carpetas/" + e.acme.carpetaRaizId)));
}

TEST_F(Fallos, UnaDemoraSoloRetrasa) {
  auto& e = compartido();
  poner(R"([{"ruta":"^/v1/yo$","demoraMs":400}])");
  const auto inicio = Reloj::now();
  EXPECT_TRUE(esOk(e.demo.get("/v1/yo")));
  EXPECT_GE(Reloj::now() - inicio, std::chrono::milliseconds(400));
  const auto luego = Reloj::now();
  EXPECT_TRUE(esOk(e.demo.get("/v1/yo")));
  EXPECT_LT(Reloj::now() - luego, std::chrono::milliseconds(400));
}

TEST_F(Fallos, CortarCierraSinRespuesta) {
  auto& e = compartido();
  poner(R"([{"ruta":"^/v1/yo$","cortar":true}])");
  EXPECT_EQ(e.demo.get("/v1/yo").estado, 0) << "llegó una respuesta";
  EXPECT_TRUE(esOk(e.demo.get("/v1/yo")));
}

TEST_F(Fallos, AlcanzanAlAlmacenPeroNuncaAPruebas) {
  auto& e = compartido();
  poner(R"([{"metodo":"PUT","ruta":"^/almacen/","estado":503},
            {"ruta":".*","estado":500,"veces":100}])");
  EXPECT_TRUE(esOk(ClienteHttp(e.servicio.base()).get("/_pruebas/registro")));
  quitarFallos(e.servicio.base());
  poner(R"([{"metodo":"PUT","ruta":"^/almacen/","estado":503}])");
  const auto c = e.demo.post("/v1/subidas", {{"carpetaId", carpetaNueva(e)},
                                             {"nombre", "a.bin"},
                                             {"tamanoBytes", 3},
                                             {"tipo", "application/octet-stream"}});
  const auto s = desdeJson<PedidoSubida>(c.json());
  ASSERT_TRUE(s.url);
  EXPECT_EQ(enviarA(*s.url, "PUT", "abc").estado, 503);
  EXPECT_EQ(enviarA(*s.url, "PUT", "abc").estado, 200);
}

std::optional<std::string> cabecera(const nlohmann::json& cabeceras, const std::string& nombre) {
  for (const auto& [clave, valor] : cabeceras.items()) {
    if (clave.size() != nombre.size()) continue;
    if (std::equal(clave.begin(), clave.end(), nombre.begin(),
                   [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
      return valor.get<std::string>();
  }
  return std::nullopt;
}

TEST_F(Registro, GuardaMetodoRutaCabecerasYTamanoSinAutorizacion) {
  auto& e = compartido();
  const auto caso = carpetaNueva(e);
  borrarRegistro(e.servicio.base());
  const auto consulta = "/v1/buscar?organizacionId=" + codificar(e.acme.id) + "&q=%C3%B1%20a+b";
  e.demo.get(consulta, {{"X-Prueba", "uno"}});
  const std::string cuerpo = R"({"padreId":")" + caso + R"(","nombre":"Reg"})";
  e.demo.enviar("POST", "/v1/carpetas", cuerpo);
  ClienteHttp(e.servicio.base()).get("/_pruebas/registro");

  const auto r = registro(e.servicio.base());
  ASSERT_TRUE(r.contains("pedidos") && r["pedidos"].is_array()) << r.dump();
  const auto& pedidos = r["pedidos"];
  ASSERT_EQ(pedidos.size(), 2u) << pedidos.dump(1);
  EXPECT_EQ(pedidos[0].value("metodo", ""), "GET");
  EXPECT_EQ(pedidos[0].value("ruta", ""), consulta);
  EXPECT_EQ(pedidos[0].value("tamanoCuerpo", -1), 0);
  EXPECT_EQ(cabecera(pedidos[0]["cabeceras"], "X-Prueba"), std::optional<std::string>("uno"));
  EXPECT_TRUE(cabecera(pedidos[0]["cabeceras"], "Host"));
  EXPECT_EQ(pedidos[1].value("metodo", ""), "POST");
  EXPECT_EQ(pedidos[1].value("ruta", ""), "/v1/carpetas");
  EXPECT_EQ(pedidos[1].value("tamanoCuerpo", -1), static_cast<int>(cuerpo.size()));
  EXPECT_EQ(cabecera(pedidos[1]["cabeceras"], "Content-Type"),
            std::optional<std::string>("application/json"));
  for (const auto& p : pedidos) EXPECT_FALSE(cabecera(p["cabeceras"], "Authorization")) << p.dump();
  EXPECT_EQ(r.dump().find(e.demo.token()), std::string::npos) << "el token quedó en el registro";

  borrarRegistro(e.servicio.base());
  EXPECT_TRUE(registro(e.servicio.base())["pedidos"].empty());
}

TEST_F(Registro, AnotaLasSubidasFirmadas) {
  auto& e = compartido();
  const auto caso = carpetaNueva(e);
  borrarRegistro(e.servicio.base());
  subir(e.demo, caso, "r.bin", std::string(777, 'r'));
  const auto pedidos = registro(e.servicio.base())["pedidos"];
  ASSERT_EQ(pedidos.size(), 3u) << pedidos.dump(1);
  EXPECT_EQ(pedidos[1].value("metodo", ""), "PUT");
  EXPECT_TRUE(pedidos[1].value("ruta", "").starts_with("/almacen/subir/"));
  EXPECT_EQ(pedidos[1].value("tamanoCuerpo", -1), 777);
}

struct FilaSinPruebas {
  std::string nombre;
  std::string metodo;
  std::string ruta;
  friend void PrintTo(const FilaSinPruebas& f, std::ostream* os) { *os << f.nombre; }
};

class SinPruebas : public ConServicioDeLaSuite<testing::TestWithParam<FilaSinPruebas>> {};

TEST_P(SinPruebas, NoExisten) {
  const auto& fila = GetParam();
  const auto cuerpo = fila.metodo == "GET" ? std::nullopt : std::optional<std::string>("[]");
  const auto c = compartido({"--demo"}).anonimo().enviar(fila.metodo, fila.ruta, cuerpo);
  EXPECT_TRUE(esError(c, 404, "noExiste"));
}

INSTANTIATE_TEST_SUITE_P(
    Pruebas, SinPruebas,
    testing::Values(FilaSinPruebas{"PonerFallos", "POST", "/_pruebas/fallos"},
                    FilaSinPruebas{"QuitarFallos", "DELETE", "/_pruebas/fallos"},
                    FilaSinPruebas{"VerRegistro", "GET", "/_pruebas/registro"},
                    FilaSinPruebas{"BorrarRegistro", "DELETE", "/_pruebas/registro"},
                    FilaSinPruebas{"Empresa", "POST", "/_pruebas/empresa"}),
    [](const auto& info) { return info.param.nombre; });

}  // namespace
}  // namespace vemlo::pruebas
