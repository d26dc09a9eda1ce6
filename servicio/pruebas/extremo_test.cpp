// End to end with the Vemlo client's own request spine: sign-in with the TOTP code, browsing,
// a multipart upload whose parts travel through the raw transport, and the download back.
#include "comun.h"
#include "vemlo/cliente.h"
#include "vemlo/transporte_curl.h"

namespace vemlo::pruebas {
namespace {

// Sends every part of an upload through the transport; gives the confirmation's list.
nlohmann::json partesPorElTransporte(const Vemlo& cliente, const PedidoSubida& s,
                                     const std::string& bytes) {
  auto lista = nlohmann::json::array();
  const auto& p = *s.partes;
  for (std::int64_t n = 1; n <= p.total; ++n) {
    const auto desde = static_cast<std::size_t>((n - 1) * p.tamanoParte);
    const auto trozo = bytes.substr(desde, static_cast<std::size_t>(p.tamanoParte));
    const auto ruta = "/v1/subidas/" + *s.versionId + "/partes/" + std::to_string(n);
    std::string etag;
    if (p.directo.value_or(false)) {
      const auto enlace = cliente.llamar<Enlace>("POST", ruta + "/firmar");
      const Pedido pedido{"PUT", enlace.url, {}, std::chrono::seconds(60)};
      const auto r = cliente.transporte().enviar(pedido, trozo, {});
      EXPECT_EQ(r.estado, 200);
      etag = r.cabecera("ETag").value_or("");
      EXPECT_FALSE(etag.empty()) << "la parte llegó sin huella";
    } else {
      auto pedido = cliente.armarPedido("PUT", ruta);
      pedido.poner("Content-Type", "application/octet-stream");
      etag = decodificar<REtag>(cliente.transporte().enviar(pedido, trozo, {})).valor;
    }
    lista.push_back({{"n", n}, {"etag", etag}});
  }
  return lista;
}

class Extremo : public ConServicioDeLaSuite<testing::TestWithParam<std::string>> {};
class Transporte : public Compartida {};

TEST_P(Extremo, EntrarConCodigoSubirPorPartesYBajarIgual) {
  auto banderas = conPartesChicas;
  banderas.insert(banderas.end(), {"--directo", GetParam()});
  const auto& servicio = compartido(banderas).servicio;
  const auto transporte = std::make_shared<TransporteCurl>();
  const Vemlo anonimo(servicio.base(), std::nullopt, transporte);

  const auto respuesta = anonimo.llamar<RespuestaEntrar>(
      "POST", "/v1/sesiones", nlohmann::json{{"correo", correoMfa}, {"clave", claveDemo}});
  ASSERT_TRUE(std::holds_alternative<RespuestaEntrar::Codigo>(respuesta.valor));
  const auto desafio = std::get<RespuestaEntrar::Codigo>(respuesta.valor).desafio;
  const auto cuenta = anonimo.llamar<Cuenta>(
      "POST", "/v1/sesiones/mfa",
      nlohmann::json{{"desafio", desafio}, {"codigo", servicio.totpAhora()}});
  ASSERT_TRUE(cuenta.token);
  const Vemlo cliente(servicio.base(), cuenta.token, transporte);

  const auto acme = cliente.llamar<Cuenta>("GET", "/v1/yo").organizaciones.at(0);
  const auto raiz = cliente.llamar<VistaCarpeta>("GET", "/v1/carpetas/" + acme.carpetaRaizId);
  EXPECT_EQ(raiz.rol, "administrador");
  EXPECT_EQ(nombres(raiz.carpetas), (std::vector<std::string>{"Fotos", "Informes", "Proyectos"}));

  const auto bytes = bytesDePrueba(4 * 65536 + 999, 21);
  const auto s = cliente.llamar<PedidoSubida>("POST", "/v1/subidas",
                                              nlohmann::json{{"carpetaId", acme.carpetaRaizId},
                                                             {"nombre", "extremo.bin"},
                                                             {"tamanoBytes", bytes.size()},
                                                             {"tipo", "application/octet-stream"}});
  ASSERT_TRUE(s.versionId && s.partes);
  EXPECT_EQ(s.partes->total, 5);
  EXPECT_EQ(s.partes->directo.value_or(false), GetParam() == "si");
  const auto partes = partesPorElTransporte(cliente, s, bytes);
  cliente.llamar<Ok>("POST", "/v1/subidas/" + *s.versionId + "/confirmar",
                     nlohmann::json{{"partes", partes}});

  const auto enlace =
      cliente.llamar<Enlace>("POST", "/v1/descargas", nlohmann::json{{"archivoId", s.archivoId}});
  const auto bajada = transporte->enviar(cliente.armarPedido("GET", enlace.url), std::nullopt, {});
  ASSERT_EQ(bajada.estado, 200);
  EXPECT_TRUE(bajada.cuerpo == bytes) << "los bytes bajados no son los subidos";

  const auto vista = cliente.llamar<VistaCarpeta>("GET", "/v1/carpetas/" + acme.carpetaRaizId);
  EXPECT_EQ(archivo(vista, "extremo.bin").tamanoBytes, static_cast<std::int64_t>(bytes.size()));
}

INSTANTIATE_TEST_SUITE_P(Extremo, Extremo, testing::Values("si", "no"), [](const auto& info) {
  return info.param == "si" ? "Directas" : "PorElServicio";
});

TEST_F(Transporte, LosErroresLleganComoErrorVemlo) {
  const auto& servicio = compartido().servicio;
  const auto transporte = std::make_shared<TransporteCurl>();
  const Vemlo anonimo(servicio.base(), std::nullopt, transporte);
  try {
    anonimo.llamar<RespuestaEntrar>("POST", "/v1/sesiones",
                                    nlohmann::json{{"correo", correoDemo}, {"clave", "mala"}});
    FAIL() << "entró con una clave mala";
  } catch (const ErrorVemlo& e) {
    EXPECT_EQ(e, ErrorVemlo::api(401, "credenciales"));
  }
  const auto cuenta = entrar(servicio.base(), correoDemo);
  const Vemlo cliente(servicio.base(), cuenta.token, transporte);
  try {
    cliente.llamar<VistaCarpeta>("GET", "/v1/carpetas/no-existe");
    FAIL() << "vio una carpeta inventada";
  } catch (const ErrorVemlo& e) {
    EXPECT_EQ(e, ErrorVemlo::api(404, "noExiste"));
  }
  cliente.llamar<Ok>("DELETE", "/v1/sesiones");
  try {
    cliente.llamar<Cuenta>("GET", "/v1/yo");
    FAIL() << "el token sigue valiendo tras cerrar la sesión";
  } catch (const ErrorVemlo& e) {
    EXPECT_EQ(e, ErrorVemlo::api(401, "sesion"));
  }
}

TEST_F(Transporte, UnaSubidaUnicaVaSinCabecerasDeSesion) {
  const auto& servicio = compartido().servicio;
  const auto transporte = std::make_shared<TransporteCurl>();
  const Vemlo cliente(servicio.base(), entrar(servicio.base(), correoDemo).token, transporte);
  const auto raiz = carpetaNueva(compartido());
  const auto s = cliente.llamar<PedidoSubida>(
      "POST", "/v1/subidas",
      nlohmann::json{
          {"carpetaId", raiz}, {"nombre", "uno.txt"}, {"tamanoBytes", 5}, {"tipo", "text/plain"}});
  ASSERT_TRUE(s.url);
  Pedido pedido{"PUT", *s.url, {}, std::chrono::seconds(60)};
  pedido.poner("Content-Type", "text/plain");
  const auto r = transporte->enviar(pedido, std::string_view("hola!"), {});
  EXPECT_EQ(r.estado, 200);
  EXPECT_TRUE(r.cabecera("ETag"));
  cliente.llamar<Ok>("POST", "/v1/subidas/" + *s.versionId + "/confirmar");
  const auto vista = cliente.llamar<VistaCarpeta>("GET", "/v1/carpetas/" + raiz);
  EXPECT_EQ(archivo(vista, "uno.txt").tamanoBytes, 5);
  EXPECT_EQ(archivo(vista, "uno.txt").tipo, "text/plain");
}

}  // namespace
}  // namespace vemlo::pruebas
