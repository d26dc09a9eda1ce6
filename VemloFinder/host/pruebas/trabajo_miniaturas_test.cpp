// The thumbnail worker with a stand-in for the service: thumbnails already current cost no
// fetch, a listing and the queue take a bounded number of files, and stopping cancels the
// fetch in progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "miniaturas.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

fs::path raiz() {
  const auto* prueba = testing::UnitTest::GetInstance()->current_test_info();
  return fs::path(std::getenv("XDG_CACHE_HOME")) / prueba->test_suite_name() / prueba->name() /
         "thumbnails";
}

Encargo encargo(const std::string& id) {
  return {id, "/home/ana/Vemlo-Acme/Fotos/" + id + ".jpg", 1796670769, 5000};
}

Origen origenDe(const Encargo& e) {
  return {uriDe(e.ruta), e.mtime, e.tamano};
}

// What the stand-in was asked for, and a way to hold it in its first fetch.
class Servicio {
 public:
  TraerMiniatura traer() {
    return [this](const std::string& id, std::stop_token parar) -> std::optional<std::string> {
      std::unique_lock bloqueo(candado_);
      pedidos_.push_back(id);
      cambio_.notify_all();
      cambio_.wait(bloqueo, parar, [&] { return !retener_; });
      if (parar.stop_requested() || !conImagen_) return std::nullopt;
      return pngDe({300, 200, std::string(300 * 200 * 3, '\x80')}, {"file:///x", 0, 0});
    };
  }
  // Answers "no thumbnail" from now on.
  void sinImagen() { conImagen_ = false; }
  void retener(bool si) {
    std::lock_guard bloqueo(candado_);
    retener_ = si;
    cambio_.notify_all();
  }
  // Waits until `id` was asked for; gives every request so far.
  std::vector<std::string> hasta(const std::string& id) {
    std::unique_lock bloqueo(candado_);
    cambio_.wait(bloqueo,
                 [&] { return std::find(pedidos_.begin(), pedidos_.end(), id) != pedidos_.end(); });
    return pedidos_;
  }

 private:
  std::mutex candado_;
  std::condition_variable_any cambio_;
  std::vector<std::string> pedidos_;
  bool retener_ = false;
  std::atomic<bool> conImagen_ = true;
};

TEST(Miniaturas, LasQueEstanAlDiaNoSePiden) {
  const CacheMiniaturas cache(raiz());
  const auto png = pngDe({1, 1, "\x10\x20\x30"}, origenDe(encargo("a")));
  for (const auto& medida : {medidaGrande, medidaNormal})
    cache.escribir(medida, origenDe(encargo("a")).uri, png);
  Servicio servicio;
  Miniaturas miniaturas(cache, servicio.traer());
  miniaturas.encargar({encargo("a"), encargo("b"), encargo("c")});
  EXPECT_EQ(servicio.hasta("c"), (std::vector<std::string>{"b", "c"}));
  miniaturas.detener();
  for (const auto& medida : {medidaGrande, medidaNormal})
    EXPECT_EQ(cache.situacion(medida, origenDe(encargo("b"))), CacheMiniaturas::Situacion::alDia);
}

TEST(Miniaturas, CadaListadoYLaColaTienenTope) {
  Servicio servicio;
  servicio.sinImagen();
  servicio.retener(true);
  Miniaturas miniaturas(CacheMiniaturas(raiz()), servicio.traer());
  miniaturas.encargar({encargo("primero")});
  servicio.hasta("primero");
  std::vector<std::string> aceptados;
  for (int listado = 0; listado < 6; ++listado) {
    std::vector<Encargo> encargos;
    for (int i = 0; i < 300; ++i) encargos.push_back(encargo(std::to_string(listado * 1000 + i)));
    miniaturas.encargar(encargos);
    for (std::size_t i = 0; i < Miniaturas::porListado; ++i)
      if (aceptados.size() < Miniaturas::enEspera) aceptados.push_back(encargos[i].id);
  }
  servicio.retener(false);
  const auto pedidos = servicio.hasta(aceptados.back());
  miniaturas.detener();
  EXPECT_EQ(pedidos.size(), 1 + Miniaturas::enEspera);
  EXPECT_EQ(std::vector(pedidos.begin() + 1, pedidos.end()), aceptados);
}

TEST(Miniaturas, DetenerCortaLoQueSeEstaPidiendo) {
  Servicio servicio;
  servicio.retener(true);
  Miniaturas miniaturas(CacheMiniaturas(raiz()), servicio.traer());
  miniaturas.encargar({encargo("a"), encargo("b")});
  servicio.hasta("a");
  miniaturas.detener();  // returns: the fetch saw the stop
  EXPECT_EQ(servicio.hasta("a"), std::vector<std::string>{"a"});
  EXPECT_FALSE(fs::exists(raiz()));
}

}  // namespace
}  // namespace vemlo::finder::host
