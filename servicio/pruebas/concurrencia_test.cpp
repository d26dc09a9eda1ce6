// Many clients at once: 16 threads upload and rename files in one folder; afterwards every
// file is there once, with its final name and intact bytes. And a race for one folder name
// has exactly one winner.
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "comun.h"

namespace vemlo::pruebas {
namespace {

class Concurrencia : public Compartida {};

constexpr int hilos = 16;
constexpr int porHilo = 3;

std::string contenido(int hilo, int i) {
  const std::size_t tamanos[porHilo] = {0, 3000, 150000};
  return bytesDePrueba(tamanos[i], static_cast<std::uint32_t>(hilo * 100 + i));
}

std::string nombreFinal(int hilo, int i) {
  return "final-" + std::to_string(hilo) + "-" + std::to_string(i) + ".bin";
}

TEST_F(Concurrencia, DieciseisHilosSubenYRenombranSinPerderNada) {
  auto& e = compartido(conPartesChicas);
  const auto carga = carpetaNueva(e);

  std::mutex candado;
  std::vector<std::string> fallos;
  std::vector<std::thread> trabajo;
  for (int h = 0; h < hilos; ++h) {
    trabajo.emplace_back([&, h] {
      try {
        for (int i = 0; i < porHilo; ++i) {
          const auto provisional = "h" + std::to_string(h) + "-" + std::to_string(i) + ".bin";
          const auto id = subir(e.demo, carga, provisional, contenido(h, i));
          ClienteHttp::exigir(e.demo.patch("/v1/archivos/" + id, {{"nombre", nombreFinal(h, i)}}),
                              "renombrar " + provisional);
        }
      } catch (const std::exception& error) {
        std::lock_guard bloqueo(candado);
        fallos.push_back("hilo " + std::to_string(h) + ": " + error.what());
      }
    });
  }
  for (auto& t : trabajo) t.join();
  for (const auto& f : fallos) ADD_FAILURE() << f;

  const auto vista = e.demo.carpeta(carga);
  ASSERT_EQ(vista.archivos.size(), static_cast<std::size_t>(hilos * porHilo));
  std::set<std::string> ids;
  for (int h = 0; h < hilos; ++h) {
    for (int i = 0; i < porHilo; ++i) {
      SCOPED_TRACE(nombreFinal(h, i));
      const auto& a = archivo(vista, nombreFinal(h, i));
      const auto esperado = contenido(h, i);
      EXPECT_EQ(a.tamanoBytes, static_cast<std::int64_t>(esperado.size()));
      EXPECT_TRUE(descargar(e.demo, a.id) == esperado) << "bytes distintos";
      ids.insert(a.id);
    }
  }
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(hilos * porHilo));
}

TEST_F(Concurrencia, UnaCarreraPorUnNombreTieneUnSoloGanador) {
  auto& e = compartido(conPartesChicas);
  const auto caso = carpetaNueva(e);
  std::atomic<int> creadas{0};
  std::atomic<int> repetidas{0};
  std::mutex candado;
  std::vector<std::string> otras;  // any other answer, to say what it was
  std::vector<std::thread> trabajo;
  for (int h = 0; h < hilos; ++h) {
    trabajo.emplace_back([&] {
      const auto c = e.demo.post("/v1/carpetas", {{"padreId", caso}, {"nombre", "Carrera"}});
      if (c.estado == 200) ++creadas;
      if (esError(c, 409, "repetido")) ++repetidas;
      if (c.estado != 200 && !esError(c, 409, "repetido")) {
        const std::lock_guard bloqueo(candado);
        otras.push_back(c.resumen());
      }
    });
  }
  for (auto& t : trabajo) t.join();
  EXPECT_EQ(creadas.load(), 1);
  EXPECT_EQ(repetidas.load(), hilos - 1) << testing::PrintToString(otras);
  EXPECT_EQ(std::ranges::count(nombres(e.demo.carpeta(caso).carpetas), "Carrera"), 1);
}

}  // namespace
}  // namespace vemlo::pruebas
