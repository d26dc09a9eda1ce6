// "Show in Vemlo" in the app: a path of a Vemlo folder goes to the host's control socket (here
// a stand-in that answers one request as vemlo-finder does), and the window switches to the
// item's company and shows its folder in Files with the item selected.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractItemView>

#include <fstream>
#include <mutex>
#include <thread>

#include "aplicacion.h"
#include "comun.h"
#include "contenido.h"
#include "explorador.h"
#include "finder/control.h"
#include "finder/enchufe.h"
#include "mostrador.h"
#include "principal.h"
#include "vemlo/descriptor.h"
#include "vemlo/mensajes.h"

namespace vemlo::app {
namespace {

namespace fs = std::filesystem;

// Listens on the host's control socket: answers "item" requests with `respuesta`, and any other
// (the app also asks for the host's status, at times of its own) as a host with no folders.
class AnfitrionFalso {
 public:
  explicit AnfitrionFalso(std::string respuesta) {
    const auto dir = finder::direccionDe(finder::prepararCarpetaDeEjecucion() / "finder.sock");
    escucha_ = Descriptor(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    EXPECT_EQ(bind(escucha_.get(), reinterpret_cast<const sockaddr*>(&dir), sizeof dir), 0);
    EXPECT_EQ(listen(escucha_.get(), 4), 0);
    hilo_ = std::jthread([this, respuesta = std::move(respuesta)] { atender(respuesta); });
  }
  ~AnfitrionFalso() { shutdown(escucha_.get(), SHUT_RDWR); }  // wakes a poll still waiting

  // The last "item" request.
  std::string pedido() {
    std::lock_guard candado(candado_);
    return pedido_;
  }

 private:
  void atender(const std::string& respuesta) {
    for (;;) {
      pollfd espera{escucha_.get(), POLLIN, 0};
      if (poll(&espera, 1, -1) != 1 || !(espera.revents & POLLIN)) return;
      const Descriptor cliente(accept(escucha_.get(), nullptr, nullptr));
      if (!cliente) return;
      const auto linea = finder::leerLinea(cliente.get()).value_or("");
      const bool item = linea.starts_with("item ");
      if (item) {
        std::lock_guard candado(candado_);
        pedido_ = linea;
      }
      finder::enviarTodo(cliente.get(), (item ? respuesta : R"({"dominios":[]})") + "\n");
    }
  }

  Descriptor escucha_;
  std::mutex candado_;
  std::string pedido_;
  std::jthread hilo_;
};

class Mostrar : public ConEstado {
 protected:
  OpcionesEstado opciones() {
    OpcionesEstado o;
    o.base = servicio.base();
    o.esperaDelLlavero = 0ms;
    o.anfitrion = "/bin/true";
    o.transporte = std::make_shared<TransporteCurl>();
    return o;
  }
};

TEST_F(Mostrar, UnaRutaDeLaCarpetaLlevaASuEmpresaYSuCarpetaConElItemElegido) {
  Aplicacion aplicacion(opciones());
  auto& estado = aplicacion.estado();
  entrarComoDemo(estado);
  const auto& empresas = estado.cuenta()->organizaciones;
  const auto acme = *std::ranges::find(empresas, "Acme", &Organizacion::nombre);
  estado.elegir(*std::ranges::find(empresas, "Beta", &Organizacion::nombre));
  ClienteHttp demo(servicio.base(), *estado.api()->token());
  const auto informes = idCarpeta(demo.carpeta(acme.carpetaRaizId), "Informes");
  const auto ano = idCarpeta(demo.carpeta(informes), "2026");
  const auto q1 = demo.carpeta(ano).archivos.at(0).id;
  const auto carpeta = fs::path(std::getenv("HOME")) / "Vemlo-Acme" / "Informes" / "2026";
  fs::create_directories(carpeta);
  std::ofstream(carpeta / "q1.pdf") << "%PDF";
  AnfitrionFalso anfitrion(nlohmann::json{
      {"identifier", acme.id}, {"id", q1}, {"padre", ano}, {"carpeta", false}, {"raiz", false}}
                               .dump());

  Mostrador mostrador(aplicacion);
  QSignalSpy mostrado(&mostrador, &Mostrador::mostrado);
  // Reached through a "..": the host is asked the plain path.
  mostrador.mostrar(QString::fromStdString((carpeta / ".." / "2026" / "q1.pdf").string()));
  ASSERT_TRUE(mostrado.wait());
  EXPECT_EQ(anfitrion.pedido(), "item " + fs::canonical(carpeta / "q1.pdf").string());
  EXPECT_EQ(estado.empresa()->id, acme.id);
  auto* explorador =
      qobject_cast<Explorador*>(aplicacion.ventana().findChild<Principal*>()->detalle());
  ASSERT_TRUE(explorador);
  auto* vista = explorador->contenido()->vista();
  ASSERT_TRUE(esperar([&] { return vista->currentIndex().isValid(); }));
  EXPECT_EQ(explorador->carpeta().vista()->id, ano);
  EXPECT_EQ(explorador->carpeta().modelo().item(vista->currentIndex().row()).id, q1);
}

TEST_F(Mostrar, SinAnfitrionLoDiceEnUnAviso) {
  Aplicacion aplicacion(opciones());
  entrarComoDemo(aplicacion.estado());
  Mostrador mostrador(aplicacion);
  QSignalSpy aviso(&aplicacion.estado(), &Estado::avisoCambio);
  mostrador.mostrar(QString::fromStdString(std::getenv("HOME")));
  ASSERT_TRUE(aviso.wait());
  EXPECT_EQ(aplicacion.estado().aviso().toStdString(), mensaje("sinAnfitrion", false));
}

}  // namespace
}  // namespace vemlo::app
