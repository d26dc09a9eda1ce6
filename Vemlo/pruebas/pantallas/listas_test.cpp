// The company-wide lists and the trash against the real service, an account without companies
// in every section, and the single-instance socket.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QPushButton>
#include <QTableWidget>

#include "acciones.h"
#include "comun.h"
#include "contenido.h"
#include "instancia.h"
#include "lista_items.h"
#include "papelera.h"
#include "principal.h"
#include "vacio.h"

namespace vemlo::app {
namespace {

class Listas : public ConDemo {
 protected:
  template <class Pantalla>
  void esperarLista(Pantalla& p) {
    QSignalSpy cambio(&p, &Pantalla::listaCambio);
    ASSERT_TRUE(cambio.wait());
  }
  std::string raiz() { return estado->empresa()->carpetaRaizId; }
};

TEST_F(Listas, RestaurarQuitaDeLaPapeleraAlRecargar) {
  const auto leeme = archivo(demo->carpeta(raiz()), "Léeme.txt");
  estado->api()->aPapelera(Clase::archivo, leeme.id);
  Papelera papelera(*estado);
  esperarLista(papelera);
  ASSERT_EQ(nombres(papelera.elementos()), std::vector<std::string>{"Léeme.txt"});
  auto* restaurar = qobject_cast<QPushButton*>(papelera.tabla()->cellWidget(0, 2));
  ASSERT_TRUE(restaurar && restaurar->isEnabled());
  restaurar->click();
  ASSERT_TRUE(esperar([&] { return papelera.elementos().empty(); }));
  EXPECT_EQ(archivo(demo->carpeta(raiz()), "Léeme.txt").id, leeme.id);
}

TEST_F(Listas, UnLectorVeLaPapeleraPeroNoRestaura) {
  estado->api()->aPapelera(Clase::archivo, archivo(demo->carpeta(raiz()), "Léeme.txt").id);
  auto lector = *estado->empresa();  // Acme, as a reader would see it
  lector.rol = "lector";
  estado->elegir(lector);
  Papelera papelera(*estado);
  esperarLista(papelera);
  ASSERT_EQ(papelera.tabla()->rowCount(), 1);
  EXPECT_FALSE(papelera.tabla()->cellWidget(0, 2)->isEnabled());
}

TEST_F(Listas, UnaCarpetaFavoritaSeAbreEnArchivos) {
  estado->api()->marcarFavorito("carpeta", idCarpeta(demo->carpeta(raiz()), "Informes"));
  Principal principal(*estado);
  principal.elegirSeccion(Seccion::favoritos);
  auto* lista = qobject_cast<ListaItems*>(principal.detalle());
  ASSERT_TRUE(lista);
  ASSERT_TRUE(esperar([&] { return lista->cargada(); }));
  ASSERT_EQ(nombres(lista->modelo().items()), std::vector<std::string>{"Informes"});
  Acciones acciones(*estado, lista->modelo().item(0), true, true);
  QObject::connect(&acciones, &Acciones::abrirCarpeta, lista, &ListaItems::abrirCarpeta);
  acciones.accion("abrir")->trigger();
  EXPECT_EQ(principal.seccion(), Seccion::archivos);
  EXPECT_EQ(principal.carpeta(), lista->modelo().item(0).id);
}

TEST_F(ConEstado, SinEmpresasCadaSeccionLoDice) {
  OpcionesEstado o;
  o.base = servicio.base();
  o.anfitrion = "/bin/true";
  o.transporte = std::make_shared<TransporteCurl>();
  o.intervalo = 1h;  // no refresh brings the account's companies back meanwhile
  auto estado = std::make_unique<Estado>(o);
  ASSERT_TRUE(esperar([&] { return !estado->cargando(); }));
  auto cuenta = entrar(servicio.base(), correoDemo);
  cuenta.organizaciones.clear();
  estado->iniciar(*cuenta.token, cuenta);
  ASSERT_TRUE(esperar([&] { return estado->cuenta().has_value(); }));
  Principal principal(*estado);
  for (const auto s : {Seccion::archivos, Seccion::recientes, Seccion::favoritos, Seccion::fotos,
                       Seccion::papelera, Seccion::cuenta}) {
    principal.elegirSeccion(s);
    auto* vacio = qobject_cast<Vacio*>(principal.detalle());
    ASSERT_TRUE(vacio) << static_cast<int>(s);
    EXPECT_EQ(vacio->texto(), "You're not in any company yet.");
  }
}

TEST(Instancia, LaSegundaAvisaALaPrimeraYUnEnchufeHuerfanoSeRecupera) {
  // What a crash leaves: a bound socket file that nobody listens on.
  const auto ruta = InstanciaUnica::direccion().toStdString();
  sockaddr_un direccion{};
  direccion.sun_family = AF_UNIX;
  ruta.copy(direccion.sun_path, sizeof direccion.sun_path - 1);
  const int huerfano = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(huerfano, reinterpret_cast<sockaddr*>(&direccion), sizeof direccion), 0);
  ::close(huerfano);
  InstanciaUnica primera;
  ASSERT_TRUE(primera.empezar());
  QSignalSpy abrir(&primera, &InstanciaUnica::abrirPedido);
  InstanciaUnica segunda;
  EXPECT_FALSE(segunda.empezar());
  EXPECT_TRUE(abrir.wait());
}

}  // namespace
}  // namespace vemlo::app
