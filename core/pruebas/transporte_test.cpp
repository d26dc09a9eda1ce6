// TransporteCurl against real loopback peers: failures and their classification, connection
// reuse, bodies both ways, time-outs and cancellation.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include <curl/curl.h>

#include "error_curl.h"
#include "servidor_prueba.h"
#include "vemlo/conectividad.h"
#include "vemlo/transporte_curl.h"

namespace vemlo {
namespace {

using namespace std::chrono_literals;
using pruebas::ServidorCrudo;
using pruebas::ServidorHttp;
using Caso = ErrorVemlo::Caso;

Pedido pedidoA(const std::string& base, std::chrono::seconds limite = 60s) {
  return {"GET", base + "/v1/yo", {{"X-Vemlo-App", "mac"}}, limite};
}

ErrorVemlo fallo(Transporte& transporte, const Pedido& pedido, std::stop_token parar = {}) {
  try {
    transporte.enviar(pedido, std::nullopt, std::move(parar));
  } catch (const ErrorVemlo& e) {
    return e;
  }
  ADD_FAILURE() << "se esperaba un fallo";
  return ErrorVemlo::formato("sin fallo");
}

struct FilaClasificacion {
  std::string nombre;
  int codigo;
  int errnoSistema;
  bool conRed;
  Caso esperado;
};

class Clasificacion : public testing::TestWithParam<FilaClasificacion> {};

TEST_P(Clasificacion, DeCurlAErrorVemlo) {
  const auto& f = GetParam();
  const auto error = errorDeTransporte(
      std::make_exception_ptr(ErrorCurl(f.codigo, f.errnoSistema, "x")), f.conRed);
  EXPECT_EQ(error.caso(), f.esperado) << error.what();
}

INSTANTIATE_TEST_SUITE_P(
    Transporte, Clasificacion,
    testing::Values(
        FilaClasificacion{"TiempoConRed", CURLE_OPERATION_TIMEDOUT, 0, true, Caso::servidor},
        FilaClasificacion{"TiempoSinRed", CURLE_OPERATION_TIMEDOUT, 0, false, Caso::red},
        FilaClasificacion{"RechazoConRed", CURLE_COULDNT_CONNECT, ECONNREFUSED, true,
                          Caso::servidor},
        FilaClasificacion{"RedInalcanzable", CURLE_COULDNT_CONNECT, ENETUNREACH, true, Caso::red},
        FilaClasificacion{"DnsSinRed", CURLE_COULDNT_RESOLVE_HOST, 0, false, Caso::red},
        FilaClasificacion{"TlsConRed", CURLE_SSL_CONNECT_ERROR, 0, true, Caso::servidor},
        FilaClasificacion{"CorteAlRecibir", CURLE_RECV_ERROR, ECONNRESET, true, Caso::red},
        FilaClasificacion{"CorteAlEnviar", CURLE_SEND_ERROR, EPIPE, true, Caso::red},
        FilaClasificacion{"RespuestaIncompleta", CURLE_PARTIAL_FILE, 0, true, Caso::red},
        FilaClasificacion{"Cancelada", CURLE_ABORTED_BY_CALLBACK, 0, false, Caso::cancelado}),
    pruebas::porNombre);

TEST(Transporte, OtrosFallosSiguenLaBanderaYErrorVemloPasaIntacto) {
  const auto api = ErrorVemlo::api(404, "noExiste");
  EXPECT_EQ(errorDeTransporte(std::make_exception_ptr(api), false), api);
  const auto otro = std::make_exception_ptr(std::runtime_error("x"));
  EXPECT_EQ(errorDeTransporte(otro, true).caso(), Caso::servidor);
  EXPECT_EQ(errorDeTransporte(otro, false).caso(), Caso::red);
}

// A refused port, and a peer that never answers (its time-out): `servidor` while the flag
// says there is a network (as it does at first), `red` while it says there is none.
class SegunLaBandera : public testing::TestWithParam<bool> {};

TEST_P(SegunLaBandera, ServidorConRedYRedSinElla) {
  std::optional<ServidorCrudo> mudo;
  if (GetParam()) mudo.emplace("", false);
  const auto pedido = pedidoA(
      mudo ? mudo->base() : "http://127.0.0.1:" + std::to_string(pruebas::puertoCerrado()), 1s);
  Conectividad conectividad;
  TransporteCurl transporte(&conectividad);
  EXPECT_EQ(fallo(transporte, pedido).caso(), Caso::servidor);
  conectividad.actualizar(false);
  EXPECT_EQ(fallo(transporte, pedido).caso(), Caso::red);
  conectividad.actualizar(true);
  EXPECT_EQ(fallo(transporte, pedido).caso(), Caso::servidor);
}

INSTANTIATE_TEST_SUITE_P(Transporte, SegunLaBandera, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Mudo" : "PuertoCerrado"; });

struct FilaPar {
  std::string nombre;
  std::string respuesta;
  std::optional<Caso> esperado;  // none: a 200 with an empty body
};

class PeerCrudo : public testing::TestWithParam<FilaPar> {};

TEST_P(PeerCrudo, SeLeeOFallaConUnErrorClaro) {
  TransporteCurl transporte;
  ServidorCrudo servidor(GetParam().respuesta, true);
  if (!GetParam().esperado) {
    const auto respuesta = transporte.enviar(pedidoA(servidor.base()), std::nullopt, {});
    EXPECT_EQ(respuesta.estado, 200);
    EXPECT_TRUE(respuesta.cuerpo.empty());
    return;
  }
  const auto error = fallo(transporte, pedidoA(servidor.base()));
  EXPECT_EQ(error.caso(), GetParam().esperado) << error.what();
}

INSTANTIATE_TEST_SUITE_P(
    Transporte, PeerCrudo,
    testing::Values(FilaPar{"LineaDeEstadoSinCuerpo",
                            "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", std::nullopt},
                    FilaPar{"CortaAMitadDelCuerpo",
                            "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"a\":", Caso::red},
                    FilaPar{"CortaAMitadDeCabeceras", "HTTP/1.1 200 OK\r\nContent-Le", Caso::red},
                    FilaPar{"CierraSinResponder", "", Caso::red},
                    FilaPar{"NoEsHttp", "hola, soy un servidor de otra cosa\r\n\r\n",
                            Caso::formato}),
    pruebas::porNombre);

std::size_t hilosDelProceso() {
  const std::filesystem::directory_iterator tareas("/proc/self/task");
  return static_cast<std::size_t>(std::distance(begin(tareas), end(tareas)));
}

TEST(Transporte, CancelarTerminaYNoDejaHilos) {
  TransporteCurl transporte;
  ServidorCrudo servidor("", false);
  const auto hilosAntes = hilosDelProceso();
  // The peer never answers: only the cancellation, not the 60 s limit, ends the transfer.
  std::optional<ErrorVemlo> error;
  {
    std::jthread envio([&](std::stop_token parar) {
      error = fallo(transporte, pedidoA(servidor.base()), std::move(parar));
    });
    std::this_thread::sleep_for(200ms);
  }  // asks the thread to stop and joins it
  ASSERT_TRUE(error);
  EXPECT_EQ(error->caso(), Caso::cancelado);
  EXPECT_TRUE(esCancelacion(std::make_exception_ptr(*error)));
  EXPECT_EQ(hilosDelProceso(), hilosAntes);
}

TEST(Transporte, ReutilizaLaConexionYTraeCabecerasYCuerpos) {
  std::string recibido;
  ServidorHttp servidor([&](const httplib::Request& pedido, httplib::Response& r) {
    recibido = pedido.body;
    r.set_header("ETag", "\"e1\"");
    r.set_content(std::string(3 << 20, 'z'), "application/octet-stream");
  });
  TransporteCurl transporte;
  std::string cuerpo(3 << 20, '\0');
  for (std::size_t i = 0; i < cuerpo.size(); ++i) cuerpo[i] = static_cast<char>(i * 7);
  auto pedido = pedidoA(servidor.base());
  pedido.metodo = "PUT";
  for (int vez = 0; vez < 3; ++vez) {
    const auto respuesta = transporte.enviar(pedido, cuerpo, {});
    EXPECT_EQ(respuesta.cabecera("etag"), "\"e1\"");
    EXPECT_EQ(respuesta.cuerpo.size(), 3u << 20);
    EXPECT_EQ(recibido, cuerpo);
  }
  EXPECT_EQ(transporte.conexionesAbiertas(), 1u);
}

}  // namespace
}  // namespace vemlo
