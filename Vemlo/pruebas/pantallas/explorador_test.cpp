// The main window's screens against the real service: which screen shows, the company picker,
// notices, the Vemlo folder's banner, and the Files section (search, breadcrumbs, a reader's
// folder, drops, the item menu).
#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QToolButton>

#include <fstream>

#include "acciones.h"
#include "comun.h"
#include "contenido.h"
#include "entrar.h"
#include "explorador.h"
#include "modelo_items.h"
#include "pedir_nombre.h"
#include "principal.h"
#include "raiz.h"
#include "ventana.h"

namespace vemlo::app {
namespace {

// How many app requests went to `ruta` since the register was cleared.
int pedidosA(const std::string& base, const std::string& metodo, const std::string& ruta) {
  int n = 0;
  const auto visto = pruebas::registro(base);
  for (const auto& p : visto.at("pedidos"))
    n += p.value("metodo", "") == metodo && p.value("ruta", "").starts_with(ruta) &&
         p.at("cabeceras").contains("X-Vemlo-App");
  return n;
}

TEST_F(ConEstado, LaRaizPasaDeEntrarAPrincipalYVuelveAEmpezar) {
  auto estado = crear();
  Raiz raiz(*estado);
  EXPECT_TRUE(qobject_cast<Entrar*>(raiz.currentWidget()));
  entrarComoDemo(*estado);
  auto* principal = qobject_cast<Principal*>(raiz.currentWidget());
  ASSERT_TRUE(principal);
  principal->elegirSeccion(Seccion::papelera);
  estado->salir();
  ASSERT_TRUE(esperar([&] { return qobject_cast<Entrar*>(raiz.currentWidget()); }));
  entrarComoDemo(*estado);
  ASSERT_TRUE(esperar([&] { return qobject_cast<Principal*>(raiz.currentWidget()); }));
  EXPECT_EQ(qobject_cast<Principal*>(raiz.currentWidget())->seccion(), Seccion::archivos);
}

TEST_F(ConEstado, ConUnaSolaEmpresaNoHayQueElegir) {
  auto estado = crear();
  auto cuenta = entrarConMfa(servicio);
  estado->iniciar(*cuenta.token, cuenta);
  ASSERT_TRUE(esperar([&] { return estado->empresa().has_value(); }));
  Principal principal(*estado);
  EXPECT_FALSE(principal.findChild<QComboBox*>()->isVisibleTo(&principal));
}

class EnPrincipal : public ConDemo {
 protected:
  void SetUp() override {
    ConDemo::SetUp();
    ventana = std::make_unique<VentanaPrincipal>(*estado);
    ventana->resize(1100, 700);
    principal = ventana->findChild<Principal*>();
    ASSERT_TRUE(principal);
  }
  Explorador* explorador() { return qobject_cast<Explorador*>(principal->detalle()); }
  // Waits for the Files section's folder to be loaded.
  Explorador& cargado() {
    auto* e = explorador();
    EXPECT_TRUE(e && esperar([&] { return e->carpeta().cargada(); }));
    return *e;
  }
  int fila(const ModeloItems& modelo, const std::string& nombre) {
    for (int f = 0; f < modelo.rowCount(); ++f)
      if (modelo.item(f).nombre == nombre) return f;
    return -1;
  }
  std::unique_ptr<VentanaPrincipal> ventana;
  Principal* principal = nullptr;
};

TEST_F(EnPrincipal, DosAvisosSeguidosSeCierranConUnOk) {
  EXPECT_TRUE(principal->findChild<QComboBox*>()->isVisibleTo(principal));  // two companies
  estado->avisar("uno");
  estado->avisar("dos");
  ASSERT_TRUE(ventana->aviso());
  EXPECT_EQ(ventana->aviso()->text(), "dos");
  ventana->aviso()->button(QMessageBox::Ok)->click();
  EXPECT_FALSE(estado->hayAviso());
  EXPECT_FALSE(ventana->aviso());
}

TEST_F(EnPrincipal, ElAvisoDeLaCarpetaVemloSeVaSolo) {
  auto* aviso = ventana->findChild<QWidget*>("avisoFinder");
  ASSERT_TRUE(aviso);
  EXPECT_FALSE(aviso->isVisibleTo(ventana.get()));
  finder::setUserEnabled(finder::getDomains().at(0).identifier, false);
  ASSERT_TRUE(esperar([&] { return aviso->isVisibleTo(ventana.get()); }));
  finder::setUserEnabled(finder::getDomains().at(0).identifier, true);
  EXPECT_TRUE(esperar([&] { return !aviso->isVisibleTo(ventana.get()); }));
}

TEST_F(EnPrincipal, EscribirDeprisaBuscaUnaVezYMostrarEnSuCarpetaVuelveAArchivos) {
  auto& e = cargado();
  borrarRegistro(servicio.base());
  QSignalSpy listos(&e, &Explorador::resultadosListos);
  for (const char c : std::string("q1.pdf")) {
    QTest::keyClick(e.busqueda(), c);
    QTest::qWait(30);
  }
  ASSERT_TRUE(listos.wait());
  EXPECT_EQ(pedidosA(servicio.base(), "GET", "/v1/buscar"), 1);
  ASSERT_EQ(nombres(e.resultados().items()), std::vector<std::string>{"q1.pdf"});
  Acciones acciones(*estado, e.resultados().item(0), false, true);
  principal->elegirSeccion(Seccion::recientes);
  QObject::connect(&acciones, &Acciones::abrirCarpeta, principal,
                   [this](const QString& id) { principal->abrirCarpeta(id.toStdString()); });
  acciones.accion("mostrar")->trigger();
  ASSERT_EQ(principal->seccion(), Seccion::archivos);
  auto& enSuCarpeta = cargado();
  ASSERT_TRUE(esperar([&] { return enSuCarpeta.carpeta().vista()->ruta.back().nombre == "2026"; }));
  EXPECT_EQ(nombres(enSuCarpeta.carpeta().modelo().items()), std::vector<std::string>{"q1.pdf"});
}

TEST_F(EnPrincipal, LaRaizDeLasMigasLlevaElNombreDeLaEmpresa) {
  auto& e = cargado();
  e.abrirCarpeta(idCarpeta(demo->carpeta(estado->empresa()->carpetaRaizId), "Fotos"));
  ASSERT_TRUE(esperar([&] { return e.carpeta().vista()->ruta.size() == 2; }));
  auto botones = e.findChildren<QToolButton*>();
  auto raiz =
      std::find_if(botones.begin(), botones.end(), [](auto* b) { return b->text() == "Acme"; });
  ASSERT_NE(raiz, botones.end());
  (*raiz)->click();
  EXPECT_TRUE(esperar([&] { return e.carpeta().vista()->ruta.size() == 1; }));
  EXPECT_EQ(e.busqueda()->placeholderText(), "Search in Acme");
}

TEST_F(EnPrincipal, UnLectorNoSubeNiMueveNiRecibe) {
  estado->elegir(estado->cuenta()->organizaciones.at(1));
  auto& e = cargado();
  ASSERT_TRUE(esperar([&] { return e.carpeta().cargada() && !e.carpeta().editable(); }));
  EXPECT_FALSE(e.findChild<QToolButton*>("subir")->isEnabled());
  EXPECT_FALSE(e.findChild<QToolButton*>("nuevaCarpeta")->isEnabled());
  QMimeData datos;
  datos.setUrls({QUrl::fromLocalFile("/etc/hostname")});
  EXPECT_FALSE(e.carpeta().modelo().canDropMimeData(&datos, Qt::CopyAction, -1, -1, {}));
  Acciones acciones(*estado, e.carpeta().modelo().item(0), false, e.carpeta().editable());
  for (const auto* nombre : {"renombrar", "mover", "papelera"})
    EXPECT_FALSE(acciones.accion(nombre)->isEnabled()) << nombre;
  EXPECT_TRUE(acciones.accion("compartir")->isEnabled());
}

TEST_F(EnPrincipal, SoltarSubeArchivosYMueveItemsALaCarpeta) {
  auto& e = cargado();
  const auto local = std::filesystem::path(std::getenv("HOME")) / "soltado.txt";
  std::ofstream(local) << "hola";
  auto& modelo = e.carpeta().modelo();
  QMimeData desdeFuera;
  desdeFuera.setUrls({QUrl::fromLocalFile(QString::fromStdString(local.string()))});
  const auto fotos = modelo.index(fila(modelo, "Fotos"), 0);
  ASSERT_TRUE(modelo.dropMimeData(&desdeFuera, Qt::CopyAction, -1, -1, fotos));
  ASSERT_TRUE(esperar([&] {
    return !estado->subidas().filas().empty() &&
           estado->subidas().filas()[0].estado == EstadoSubida::lista;
  }));
  EXPECT_TRUE(std::filesystem::exists(local));  // a copy: the original stays
  const auto idFotos = modelo.item(fotos.row()).id;
  EXPECT_EQ(archivo(demo->carpeta(idFotos), "soltado.txt").tamanoBytes, 4);

  const auto leeme = modelo.index(fila(modelo, "Léeme.txt"), 0);
  std::unique_ptr<QMimeData> arrastre(modelo.mimeData({leeme}));
  const auto informes = modelo.index(fila(modelo, "Informes"), 0);
  ASSERT_TRUE(modelo.dropMimeData(arrastre.get(), Qt::CopyAction, -1, -1, informes));
  EXPECT_TRUE(esperar([&] { return fila(modelo, "Léeme.txt") < 0; }));
}

TEST_F(EnPrincipal, ConElTecladoSeRenombraYSeManda) {
  auto& e = cargado();
  ventana->show();
  ventana->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(ventana.get()));
  auto* vista = e.contenido()->vista();
  vista->setFocus();
  vista->setCurrentIndex(e.carpeta().modelo().index(fila(e.carpeta().modelo(), "Léeme.txt"), 0));
  QTest::keyClick(vista, Qt::Key_F2);
  auto* nombre = e.findChild<PedirNombre*>();
  ASSERT_TRUE(nombre);
  EXPECT_EQ(nombre->campo()->text(), "Léeme.txt");
  nombre->campo()->setText("Lea.txt");
  QTest::keyClick(nombre->campo(), Qt::Key_Return);
  ASSERT_TRUE(esperar([&] { return fila(e.carpeta().modelo(), "Lea.txt") >= 0; }));
  ventana->activateWindow();  // offscreen has no window manager to give it back
  ASSERT_TRUE(QTest::qWaitForWindowActive(ventana.get()));
  vista->setFocus();
  vista->setCurrentIndex(e.carpeta().modelo().index(fila(e.carpeta().modelo(), "Lea.txt"), 0));
  QTest::keyClick(vista, Qt::Key_Delete);
  EXPECT_TRUE(e.findChild<QMessageBox*>("confirmarPapelera"));
}

TEST_F(EnPrincipal, CopiarElEnlaceDosVecesYCancelarLaDescarga) {
  auto& e = cargado();
  const auto leeme = e.carpeta().modelo().item(fila(e.carpeta().modelo(), "Léeme.txt"));
  for (int i = 0; i < 2; ++i) {
    QSignalSpy avisos(estado.get(), &Estado::avisoCambio);
    Acciones(*estado, leeme, false, true, &e).accion("compartir")->trigger();
    ASSERT_TRUE(avisos.wait());
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("/s/"));
    EXPECT_EQ(estado->aviso(), "Link copied. Anyone with it can open “Léeme.txt” for 7 days.");
  }
  borrarRegistro(servicio.base());
  Acciones(*estado, leeme, false, true, &e).accion("descargar")->trigger();
  auto* guardar = e.findChild<QFileDialog*>("guardar");
  ASSERT_TRUE(guardar);
  EXPECT_EQ(guardar->selectedFiles().value(0).section('/', -1), "Léeme.txt");
  guardar->reject();
  QTest::qWait(100);
  EXPECT_EQ(pedidosA(servicio.base(), "POST", "/v1/descargas"), 0);
}

}  // namespace
}  // namespace vemlo::app
