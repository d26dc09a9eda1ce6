// The connectivity flag, read and updated from many threads, and the route monitor in a
// network namespace of its own.
#include "vemlo/conectividad.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vemlo {
namespace {

TEST(Conectividad, EmpiezaConRedYSigueLasActualizacionesDeVariosHilos) {
  Conectividad conectividad;
  EXPECT_TRUE(conectividad.conRed());
  {
    std::vector<std::jthread> hilos;
    for (int h = 0; h < 4; ++h) {
      hilos.emplace_back([&conectividad, h] {
        for (int i = 0; i < 1000; ++i) {
          conectividad.actualizar((i + h) % 2 == 0);
          (void)conectividad.conRed();
        }
      });
    }
  }
  conectividad.actualizar(false);
  EXPECT_FALSE(conectividad.conRed());
  conectividad.actualizar(true);
  EXPECT_TRUE(conectividad.conRed());
}

// A monitor's reports, in order, and ways to wait for them (up to 10 s each).
class Informes {
 public:
  void anotar(bool satisfecho) {
    std::lock_guard bloqueo(candado_);
    valores_.push_back(satisfecho);
    llegada_.notify_all();
  }
  std::optional<bool> primero() {
    std::unique_lock bloqueo(candado_);
    if (!llegada_.wait_for(bloqueo, kPlazo, [&] { return !valores_.empty(); })) return {};
    return valores_.front();
  }
  // Whether some report equals `valor`.
  bool esperar(bool valor) {
    std::unique_lock bloqueo(candado_);
    return llegada_.wait_for(bloqueo, kPlazo,
                             [&] { return std::ranges::count(valores_, valor) > 0; });
  }

 private:
  static constexpr std::chrono::seconds kPlazo{10};
  std::mutex candado_;
  std::condition_variable llegada_;
  std::vector<bool> valores_;
};

// What the namespaced thread saw, handed back so that the test's thread can skip or expect.
struct Vista {
  std::string sinEspacio;  // why unshare failed; empty when it worked
  bool estatica = true;
  std::optional<bool> primero;
  bool conRuta = false;
  bool despuesVerdadero = false;
};

// Loopback is the one interface every new namespace has (down), with no kernel module to
// load, unlike a dummy interface; a default route through it, once up, satisfies the path.
constexpr char kRutaPorLo[] = "ip link set lo up && ip route add default dev lo";

// Runs on its own thread: the new network namespace never reaches gtest's main thread.
void observarEspacioNuevo(Vista& vista) {
  if (::unshare(CLONE_NEWNET) != 0) {
    vista.sinEspacio = std::strerror(errno);
    return;
  }
  vista.estatica = MonitorRutas::hayRutaPorDefecto();
  Informes informes;
  MonitorRutas monitor([&informes](bool satisfecho) { informes.anotar(satisfecho); });
  vista.primero = informes.primero();
  if (vista.primero != false) return;  // the test fails on it already
  vista.conRuta = std::system(kRutaPorLo) == 0;
  if (vista.conRuta) vista.despuesVerdadero = informes.esperar(true);  // a later report
}

TEST(MonitorRutas, SigueLaRutaPorDefectoEnUnEspacioDeRedNuevo) {
  Vista vista;
  std::thread(observarEspacioNuevo, std::ref(vista)).join();
  if (!vista.sinEspacio.empty()) GTEST_SKIP() << "unshare(CLONE_NEWNET): " << vista.sinEspacio;
  EXPECT_FALSE(vista.estatica);
  ASSERT_EQ(vista.primero, false) << "the first report, within 10 s";
  if (!vista.conRuta)
    GTEST_SKIP() << "could not add a default route through lo (is `ip` installed?)";
  EXPECT_TRUE(vista.despuesVerdadero);
}

}  // namespace
}  // namespace vemlo
