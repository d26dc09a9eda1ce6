// Estado against the reference service, the real domain registry and the real session store:
// the launch table, sign-in and sign-out, the remembered company, the domains each account
// gets, the folder's switch and the login item.
#include <gtest/gtest.h>

#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include "arranque.h"
#include "comun.h"
#include "estado.h"
#include "finder/dominios.h"
#include "http_servicio.h"
#include "servicio_en_marcha.h"
#include "vemlo/error.h"
#include "vemlo/mensajes.h"
#include "vemlo/sesion.h"
#include "vemlo/transporte_curl.h"

namespace vemlo::app {
namespace {

using namespace vemlo::pruebas;
using namespace std::chrono_literals;

// What a stored session leads to at launch.
struct FilaArranque {
  const char* nombre;
  std::function<void(ServicioEnMarcha&)> preparar;  // after a demo session was stored
  bool entra;                                       // signed in
  bool sesionGuardada;                              // still stored afterwards
  bool conAviso;
};

void PrintTo(const FilaArranque& f, std::ostream* os) {
  *os << f.nombre;
}

class Arranque : public ConEstado, public testing::WithParamInterface<FilaArranque> {};

TEST_P(Arranque, DecideConLaSesionGuardada) {
  SesionGuardada::guardar(*entrar(servicio.base(), correoDemo).token);
  GetParam().preparar(servicio);
  auto estado = crear();
  EXPECT_EQ(estado->cuenta().has_value(), GetParam().entra);
  EXPECT_EQ(SesionGuardada::leer().has_value(), GetParam().sesionGuardada);
  EXPECT_EQ(estado->hayAviso(), GetParam().conAviso) << estado->aviso().toStdString();
  // A check that failed for another reason keeps the client for the next try.
  EXPECT_EQ(estado->api() != nullptr, GetParam().sesionGuardada);
}

INSTANTIATE_TEST_SUITE_P(
    Estado, Arranque,
    testing::Values(FilaArranque{"Valida", [](ServicioEnMarcha&) {}, true, true, false},
                    FilaArranque{"Vencida",
                                 [](ServicioEnMarcha& s) {
                                   ponerFallos(s.base(), {{{"metodo", "GET"},
                                                           {"ruta", "^/v1/yo$"},
                                                           {"estado", 401},
                                                           {"error", "sesion"}}});
                                 },
                                 false, false, false},
                    FilaArranque{"CodigoSesion",
                                 [](ServicioEnMarcha& s) {
                                   ponerFallos(s.base(), {{{"metodo", "GET"},
                                                           {"ruta", "^/v1/yo$"},
                                                           {"estado", 403},
                                                           {"error", "sesion"}}});
                                 },
                                 false, false, false},
                    FilaArranque{"SinServicio", [](ServicioEnMarcha& s) { s.detener(); }, false,
                                 true, true}),
    [](const auto& info) { return std::string(info.param.nombre); });

TEST_F(ConEstado, SinSesionGuardadaEsperaLaEntrada) {
  auto estado = crear();
  EXPECT_FALSE(estado->cuenta());
  EXPECT_FALSE(estado->api());
  EXPECT_FALSE(estado->hayAviso());
  EXPECT_TRUE(registro().empty());
}

// Right after login the keyring may answer nothing for a moment: the launch reads again before
// it shows the sign-in screen.
TEST_F(ConEstado, UnLlaveroTardioNoSacaDeLaSesion) {
  const auto token = *entrar(servicio.base(), correoDemo).token;
  OpcionesEstado o;
  o.base = servicio.base();
  o.transporte = std::make_shared<TransporteCurl>();
  o.esperaDelLlavero = 100ms;
  o.lecturasDelLlavero = 50;
  o.anfitrion = "/bin/true";
  Estado estado(o);
  QTimer::singleShot(300ms, [&] { SesionGuardada::guardar(token); });
  ASSERT_TRUE(esperar([&] { return !estado.cargando(); }));
  EXPECT_TRUE(estado.cuenta());
}

// A sign-in that completes while the launch check still waits for the keyring ends the wait.
TEST_F(ConEstado, EntrarDuranteElArranqueTerminaLaEspera) {
  OpcionesEstado o;
  o.base = servicio.base();
  o.transporte = std::make_shared<TransporteCurl>();
  o.esperaDelLlavero = 100ms;
  o.lecturasDelLlavero = 30;
  o.anfitrion = "/bin/true";
  Estado estado(o);
  auto cuenta = entrar(servicio.base(), correoDemo);
  estado.iniciar(*cuenta.token, cuenta);
  ASSERT_TRUE(esperar([&] { return estado.cuenta() && !estado.cargando(); }));
}

TEST_F(ConEstado, DosEntradasDejanUnSoloReloj) {
  auto estado = crear();
  entrarComoDemo(*estado);
  entrarComoDemo(*estado);
  EXPECT_EQ(estado->findChildren<QTimer*>("reloj").size(), 1);
  EXPECT_TRUE(SesionGuardada::leer());
}

TEST_F(ConEstado, SalirSinSesionBorraLoGuardadoYLosDominios) {
  auto estado = crear();
  SesionGuardada::guardar("otra");
  finder::addDomain({"x", "X", true});
  QSignalSpy cuenta(estado.get(), &Estado::cuentaCambio);
  estado->salir();
  ASSERT_TRUE(cuenta.wait(10'000));
  EXPECT_FALSE(SesionGuardada::leer());
  EXPECT_TRUE(registro().empty());
  EXPECT_FALSE(estado->finderListo());
}

TEST_F(ConEstado, SalirYVolverRecuerdaLaEmpresa) {
  auto estado = crear();
  entrarComoDemo(*estado);
  EXPECT_EQ(estado->empresa()->nombre, "Acme");
  const auto beta = estado->cuenta()->organizaciones.at(1);
  estado->elegir(beta);
  EXPECT_EQ(estado->cambios(), 1);
  estado->salir();
  ASSERT_TRUE(esperar([&] { return !estado->cuenta(); }));
  EXPECT_EQ(estado->empresa(), std::nullopt);
  EXPECT_TRUE(registro().empty());
  entrarComoDemo(*estado);
  EXPECT_EQ(estado->empresa()->nombre, "Beta");
  // A remembered company the account left: the first one.
  QSettings("Vemlo", "Vemlo").setValue("empresa", "ya-no");
  entrarComoDemo(*estado);
  EXPECT_EQ(estado->empresa()->nombre, "Acme");
}

// The registry after a sign-in with these companies (the service's account, trimmed).
struct FilaDominios {
  const char* nombre;
  std::vector<std::string> empresas;
  std::vector<std::pair<std::string, bool>> registro;
};

void PrintTo(const FilaDominios& f, std::ostream* os) {
  *os << f.nombre;
}

class Dominios : public ConEstado, public testing::WithParamInterface<FilaDominios> {};

TEST_P(Dominios, UnoPorEmpresaYSeVanLasQueSalieron) {
  finder::addDomain({"se-fue", "Vieja", true});
  auto estado = crear();
  auto cuenta = entrar(servicio.base(), correoDemo);
  std::erase_if(cuenta.organizaciones, [&](const auto& o) {
    return std::ranges::find(GetParam().empresas, o.nombre) == GetParam().empresas.end();
  });
  const auto token = *cuenta.token;
  estado->iniciar(token, cuenta);
  ASSERT_TRUE(esperar([&] { return estado->finderListo(); }));
  EXPECT_EQ(registro(), GetParam().registro);
  EXPECT_EQ(estado->empresa().has_value(), !GetParam().empresas.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Estado, Dominios,
    testing::Values(FilaDominios{"Ninguna", {}, {}},
                    FilaDominios{"Una", {"Acme"}, {{"Vemlo", true}}},
                    FilaDominios{"Dos", {"Acme", "Beta"}, {{"Acme", true}, {"Beta", true}}}),
    [](const auto& info) { return std::string(info.param.nombre); });

TEST_F(ConEstado, ElInterruptorDeLaCarpetaSeVeEnUnTic) {
  auto estado = crear();
  entrarComoDemo(*estado);
  EXPECT_FALSE(estado->finderApagado());
  finder::setUserEnabled(estado->empresa()->id, false);
  EXPECT_TRUE(esperar([&] { return estado->finderApagado(); }));
  // From the settings: checked every sondeo until it is on again.
  QSignalSpy pedidos(estado.get(), &Estado::ajustesFinderPedidos);
  estado->abrirAjustesFinder();
  EXPECT_EQ(pedidos.size(), 1);
  finder::setUserEnabled(estado->empresa()->id, true);
  EXPECT_TRUE(esperar([&] { return !estado->finderApagado(); }));
}

TEST_F(ConEstado, ElArranqueSeEscribeUnaVezYLuegoManda) {
  auto estado = crear();
  entrarComoDemo(*estado);
  EXPECT_TRUE(estado->arranqueEncendido());
  estado->ponerArranque(false);
  EXPECT_FALSE(estado->arranqueEncendido());
  estado->salir();
  ASSERT_TRUE(esperar([&] { return !estado->cuenta(); }));
  entrarComoDemo(*estado);
  EXPECT_FALSE(estado->arranqueEncendido());
}

TEST_F(ConEstado, AbrirSinMontajeSincronizaYNoAbreNada) {
  auto estado = crear();
  entrarComoDemo(*estado);
  QSignalSpy listo(estado.get(), &Estado::finderListoCambio);
  estado->abrirEnFinder();
  ASSERT_TRUE(listo.wait(10'000));
  EXPECT_TRUE(abiertas.empty());
}

// What a screen's failure does to the session.
TEST_F(ConEstado, MostrarUnaSesionVencidaSaleYLoDice) {
  auto estado = crear();
  entrarComoDemo(*estado);
  estado->mostrar(std::make_exception_ptr(ErrorVemlo::cancelado()));
  EXPECT_FALSE(estado->hayAviso());
  estado->mostrar(std::make_exception_ptr(ErrorVemlo::api(409, "repetido")));
  EXPECT_EQ(estado->aviso().toStdString(), mensaje("repetido", false));
  EXPECT_TRUE(estado->cuenta());
  estado->mostrar(std::make_exception_ptr(ErrorVemlo::api(401, "sesion")));
  EXPECT_FALSE(estado->cuenta());
  EXPECT_FALSE(estado->api());
  EXPECT_EQ(estado->aviso().toStdString(), mensaje("sesion", false));
  EXPECT_TRUE(esperar([&] { return !estado->finderListo(); }));
  EXPECT_FALSE(SesionGuardada::leer());
  EXPECT_TRUE(registro().empty());
}

}  // namespace
}  // namespace vemlo::app
