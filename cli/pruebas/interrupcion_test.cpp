// Ctrl-C during transfers: SIGINT to vemlo-cli while the service holds an upload's parts or a
// download back. The command ends promptly with 130, the upload is never confirmed and the
// download leaves no file behind, final or temporary.
#include <signal.h>

#include "comun.h"

namespace vemlo::pruebas {
namespace {

using namespace std::chrono_literals;

class Interrupcion : public testing::Test, public ConServicio {
 protected:
  Interrupcion() : ConServicio({"--demo", "--pruebas", "--parte", "65536", "--umbral", "65536"}) {}
  void SetUp() override { http = entrarComo(correoDemo); }

  // Waits until the service saw `metodo` on a path containing `ruta`.
  bool esperarPedido(const std::string& metodo, const std::string& ruta) const {
    for (const auto hasta = std::chrono::steady_clock::now() + 30s;
         std::chrono::steady_clock::now() < hasta; std::this_thread::sleep_for(20ms))
      for (const auto pedidos = registro(servicio.base())["pedidos"]; const auto& pedido : pedidos)
        if (pedido["metodo"] == metodo && contiene(pedido["ruta"].get<std::string>(), ruta))
          return true;
    return false;
  }

  // SIGINT once `metodo ruta` reached the service; gives the end and how long it took.
  std::pair<Resultado, std::chrono::milliseconds> interrumpir(
      const std::vector<std::string>& argumentos, const std::string& metodo,
      const std::string& ruta) const {
    Ejecucion ejecucion(argumentos, "", entorno());
    EXPECT_TRUE(esperarPedido(metodo, ruta));
    std::this_thread::sleep_for(300ms);
    const auto antes = std::chrono::steady_clock::now();
    ejecucion.senal(SIGINT);
    auto resultado = ejecucion.esperar(30s);
    return {resultado, std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - antes)};
  }

  ClienteHttp http{""};
  CarpetaLocal local;
};

TEST_F(Interrupcion, UnaSubidaSeCancelaSinConfirmar) {
  local.escribir("grande.bin", bytesDePrueba(1 << 20, 3));  // 16 parts
  ponerFallos(servicio.base(),
              nlohmann::json::array(
                  {{{"metodo", "PUT"}, {"ruta", "/partes/"}, {"demoraMs", 4000}, {"veces", 100}}}));
  const auto [r, tardo] = interrumpir(
      {"upload", "--company", "Acme", (local.ruta() / "grande.bin").string(), "/Proyectos"}, "POST",
      "/v1/subidas");
  EXPECT_EQ(r.estado, 130) << r.resumen();
  EXPECT_TRUE(contiene(r.errores, "interrupted")) << r.errores;
  EXPECT_LT(tardo, 3000ms);
  const auto pedidos = registro(servicio.base())["pedidos"];
  for (const auto& pedido : pedidos)
    EXPECT_FALSE(contiene(pedido["ruta"].get<std::string>(), "/confirmar")) << pedido.dump();
  const auto proyectos = carpeta(http, raiz(http, "Acme"), {"Proyectos"});
  EXPECT_TRUE(proyectos.archivos.empty());
}

TEST_F(Interrupcion, UnaBajadaNoDejaArchivo) {
  const auto raizAcme = raiz(http, "Acme");
  subir(http, raizAcme, "grande.bin", bytesDePrueba(1 << 20, 5));
  ponerFallos(
      servicio.base(),
      nlohmann::json::array({{{"metodo", "GET"}, {"ruta", "^/almacen/"}, {"demoraMs", 4000}}}));
  const auto [r, tardo] =
      interrumpir({"download", "--company", "Acme", "/grande.bin", local.ruta().string()}, "POST",
                  "/v1/descargas");
  EXPECT_EQ(r.estado, 130) << r.resumen();
  EXPECT_LT(tardo, 3000ms);
  EXPECT_TRUE(local.nombres().empty()) << testing::PrintToString(local.nombres());
}

}  // namespace
}  // namespace vemlo::pruebas
