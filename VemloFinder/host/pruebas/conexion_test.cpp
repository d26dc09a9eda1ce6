// The watcher's turns: nothing to do online, a probe after the pause offline, and a catch-up
// as soon as a request reaches the service again.
#include <gtest/gtest.h>

#include <future>

#include "conexion.h"

namespace vemlo::finder::host {
namespace {

using namespace std::chrono_literals;
using Turno = Conexion::Turno;

// A token already stopped: the turn says what it found, or parar when nothing was owed.
std::stop_token parado() {
  std::stop_source fuente;
  fuente.request_stop();
  return fuente.get_token();
}

TEST(Conexion, EnLineaNadaSeProbaria) {
  Conexion c;
  c.alcanzada();
  EXPECT_FALSE(c.sinRed());
  EXPECT_EQ(c.esperar(parado(), 0s), Turno::parar);
}

TEST(Conexion, SinRedSePruebaTrasLaPausa) {
  Conexion c;
  c.perdida();
  EXPECT_TRUE(c.sinRed());
  EXPECT_EQ(c.esperar({}, 0s), Turno::probar);
  EXPECT_EQ(c.esperar({}, 0s), Turno::probar);  // until the service answers
}

TEST(Conexion, UnPedidoQueLlegaTraeLaPuestaAlDiaUnaVez) {
  Conexion c;
  c.perdida();
  c.alcanzada();
  EXPECT_FALSE(c.sinRed());
  EXPECT_EQ(c.esperar({}, 1h), Turno::ponerseAlDia);
  EXPECT_EQ(c.esperar(parado(), 0s), Turno::parar);
}

TEST(Conexion, LaPuestaAlDiaSaldaLoDebido) {
  Conexion c;
  c.perdida();
  c.alcanzada();
  c.alDia();
  EXPECT_EQ(c.esperar(parado(), 0s), Turno::parar);
}

// The watcher waits online; a loss wakes it, and a request that gets through during the
// pause ends the pause with the catch-up.
TEST(Conexion, UnaPerdidaYUnaVueltaDespiertanAlVigia) {
  Conexion c;
  auto turno = std::async(std::launch::async, [&] { return c.esperar({}, 1h); });
  c.perdida();
  c.alcanzada();
  EXPECT_EQ(turno.get(), Turno::ponerseAlDia);
}

// A network path that comes back ends the pause; online it means nothing.
TEST(Conexion, ProbarYaAcortaLaPausa) {
  Conexion c;
  c.probarYa();
  c.perdida();
  auto turno = std::async(std::launch::async, [&] { return c.esperar({}, 1h); });
  c.probarYa();
  EXPECT_EQ(turno.get(), Turno::probar);
  EXPECT_TRUE(c.sinRed());
}

TEST(Conexion, ParaMientrasEspera) {
  Conexion c;
  c.perdida();
  std::stop_source fuente;
  auto turno = std::async(std::launch::async, [&] { return c.esperar(fuente.get_token(), 1h); });
  fuente.request_stop();
  EXPECT_EQ(turno.get(), Turno::parar);
}

}  // namespace
}  // namespace vemlo::finder::host
