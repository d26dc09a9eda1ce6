// The Account section, the tray's menu and the settings window, offscreen against the
// reference service: role names, the menu's texts and status line without any tray host, the
// login item's switch when the desktop refuses a change, and a company's Vemlo folder switched
// off and on in the registry.
#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>

#include <fstream>

#include "ajustes.h"
#include "arranque.h"
#include "bandeja.h"
#include "comun.h"
#include "iconos.h"
#include "pantalla_cuenta.h"

namespace vemlo::app {
namespace {

namespace fs = std::filesystem;

// Each test runs in a process of its own: the language holds for the whole test.
void hablar(const char* idioma) {
  qputenv("LANGUAGE", idioma);
}

template <class W>
W* conTexto(QWidget& raiz, const QString& texto) {
  for (auto* w : raiz.findChildren<W*>())
    if (w->text() == texto) return w;
  return nullptr;
}

QStringList textos(const QMenu& menu) {
  QStringList lista;
  for (const auto* a : menu.actions())
    if (!a->isSeparator()) lista << a->text();
  return lista;
}

QAction* accion(const QMenu& menu, const QString& texto) {
  for (auto* a : menu.actions())
    if (a->text() == texto) return a;
  return nullptr;
}

void guardar(QWidget& ventana, const char* nombre, QSize tamano) {
  ventana.resize(tamano);
  ventana.show();
  QTest::qWait(50);
  EXPECT_TRUE(ventana.grab().save(QStringLiteral("/tmp/%1.png").arg(nombre)));
}

// The pages the screens hand to the browser.
class Navegador : public QObject {
  Q_OBJECT

 public:
  Navegador() { QDesktopServices::setUrlHandler("http", this, "abrir"); }
  ~Navegador() override { QDesktopServices::unsetUrlHandler("http"); }
  std::vector<QUrl> abiertas;

 public slots:
  void abrir(const QUrl& url) { abiertas.push_back(url); }
};

struct CasoRol {
  const char* rol;
  const char* idioma;
  const char* nombre;
};

void PrintTo(const CasoRol& caso, std::ostream* os) {
  *os << caso.rol << " (" << caso.idioma << ")";
}

class CuentaRol : public testing::TestWithParam<CasoRol> {};

TEST_P(CuentaRol, SeLeeEnSuIdiomaYElDesconocidoEsLector) {
  hablar(GetParam().idioma);
  EXPECT_EQ(nombreDeRol(GetParam().rol), QString::fromUtf8(GetParam().nombre));
}

INSTANTIATE_TEST_SUITE_P(
    Cuenta, CuentaRol,
    testing::Values(CasoRol{"dueno", "en", "Owner"}, CasoRol{"administrador", "en", "Admin"},
                    CasoRol{"editor", "en", "Editor"}, CasoRol{"lector", "en", "Viewer"},
                    CasoRol{"auditor", "en", "Viewer"}, CasoRol{"dueno", "es", "Dueño"},
                    CasoRol{"administrador", "es", "Administrador"},
                    CasoRol{"auditor", "es", "Lector"}));

class EnIngles : public ConDemo {
 protected:
  void SetUp() override {
    hablar("en");
    ConDemo::SetUp();
  }
  const Organizacion& empresa(const std::string& nombre) {
    const auto& lista = estado->cuenta()->organizaciones;
    return *std::ranges::find(lista, nombre, &Organizacion::nombre);
  }
};

using CuentaPantalla = EnIngles;

TEST_F(CuentaPantalla, MuestraCorreoEmpresaYRolDeLaEmpresaElegida) {
  PantallaCuenta pantalla(*estado);
  EXPECT_TRUE(conTexto<QLabel>(pantalla, "demo@vemlo.test"));
  EXPECT_TRUE(conTexto<QLabel>(pantalla, "Acme") && conTexto<QLabel>(pantalla, "Editor"));
  EXPECT_TRUE(conTexto<QLabel>(pantalla, "On"));
  EXPECT_TRUE(conTexto<QPushButton>(pantalla, "Turn on in Settings")->isHidden());
  guardar(pantalla, "cuenta-encendida", {760, 760});
  estado->elegir(empresa("Beta"));
  EXPECT_TRUE(conTexto<QLabel>(pantalla, "Beta") && conTexto<QLabel>(pantalla, "Viewer"));
  estado->elegir({"otra", "Gamma", "auditor", ""});
  EXPECT_TRUE(conTexto<QLabel>(pantalla, "Gamma") && conTexto<QLabel>(pantalla, "Viewer"));
}

TEST_F(CuentaPantalla, EnlacesAbrenLaWebYCerrarSesionSale) {
  Navegador navegador;
  PantallaCuenta pantalla(*estado);
  conTexto<QPushButton>(pantalla, "Usage and billing")->click();
  conTexto<QPushButton>(pantalla, "Help (Docs)")->click();
  const QUrl sitio(QString::fromStdString(servicio.base()));
  ASSERT_EQ(navegador.abiertas.size(), 2u);
  EXPECT_EQ(navegador.abiertas[0], sitio.resolved(QUrl("/app")));
  EXPECT_EQ(navegador.abiertas[1], sitio.resolved(QUrl("/docs/mac-app")));
  conTexto<QPushButton>(pantalla, "Sign out")->click();
  EXPECT_TRUE(esperar([&] { return !estado->cuenta(); }));
}

TEST_F(CuentaPantalla, CarpetaApagadaOfreceActivarlaEnAjustes) {
  PantallaCuenta pantalla(*estado);
  finder::setUserEnabled(empresa("Beta").id, false);
  estado->comprobarFinder();
  ASSERT_TRUE(esperar([&] { return conTexto<QLabel>(pantalla, "Off") != nullptr; }));
  auto* activar = conTexto<QPushButton>(pantalla, "Turn on in Settings");
  EXPECT_FALSE(activar->isHidden());
  guardar(pantalla, "cuenta-apagada", {760, 760});
  QSignalSpy pedidos(estado.get(), &Estado::ajustesFinderPedidos);
  activar->click();
  EXPECT_EQ(pedidos.size(), 1);
}

struct CasoMenu {
  const char* idioma;
  QStringList textos;
};

void PrintTo(const CasoMenu& caso, std::ostream* os) {
  *os << caso.idioma;
}

class BandejaIdioma : public ConDemo, public testing::WithParamInterface<CasoMenu> {
 protected:
  void SetUp() override {
    hablar(GetParam().idioma);
    ConDemo::SetUp();
  }
};

TEST_P(BandejaIdioma, MenuDeArribaAAbajo) {
  Bandeja bandeja(*estado, [] {});
  auto esperados = GetParam().textos;
  esperados[3] += QUrl(QString::fromStdString(servicio.base())).host();
  EXPECT_EQ(textos(*bandeja.menu()), esperados);
  EXPECT_FALSE(bandeja.menu()->actions().front()->isEnabled());
  EXPECT_EQ(accion(*bandeja.menu(), esperados.back())->shortcut(), QKeySequence("Ctrl+Q"));
}

INSTANTIATE_TEST_SUITE_P(
    Bandeja, BandejaIdioma,
    testing::Values(CasoMenu{"en",
                             {"Up to date", "Open Vemlo", "Open Vemlo in the file manager", "Open ",
                              "Open at login", "Sign out", "Quit Vemlo"}},
                    CasoMenu{
                        "es",
                        {"Al día", "Abrir Vemlo", "Abrir Vemlo en el gestor de archivos", "Abrir ",
                         "Abrir al iniciar sesión", "Cerrar sesión", "Salir de Vemlo"}}));

using BandejaMenu = EnIngles;

TEST_F(BandejaMenu, SinAnfitrionElMenuAbreLaVentanaYCierraSesion) {
  int abierta = 0;
  Bandeja bandeja(*estado, [&] { ++abierta; });
  EXPECT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
  EXPECT_TRUE(bandeja.icono()->isVisible());
  accion(*bandeja.menu(), "Open Vemlo")->trigger();
  emit bandeja.icono()->activated(QSystemTrayIcon::Trigger);
  EXPECT_EQ(abierta, 2);
  accion(*bandeja.menu(), "Sign out")->trigger();
  ASSERT_TRUE(esperar([&] { return !estado->cuenta(); }));
  EXPECT_EQ(bandeja.menu()->actions().front()->text(), "Not signed in");
  EXPECT_FALSE(accion(*bandeja.menu(), "Sign out")->isEnabled());
}

TEST_F(BandejaMenu, UnaSubidaEnCursoCambiaLineaEIcono) {
  Bandeja bandeja(*estado, [] {});
  const auto imagen = [](const QIcon& i) { return i.pixmap(22, 22).toImage(); };
  const auto fila = estado->subidas().agregar("informe.pdf");
  EXPECT_EQ(bandeja.menu()->actions().front()->text(), "Uploading 1…");
  EXPECT_EQ(imagen(bandeja.icono()->icon()), imagen(iconoDeBandeja(true)));
  estado->subidas().terminar(fila, EstadoSubida::lista);
  EXPECT_EQ(bandeja.menu()->actions().front()->text(), "Up to date");
  EXPECT_EQ(imagen(bandeja.icono()->icon()), imagen(iconoDeBandeja(false)));
}

// The first sign-in turned the login item on; then the desktop refuses to write it again.
TEST_F(BandejaMenu, ArranqueRechazadoMuestraElEstadoReal) {
  Bandeja bandeja(*estado, [] {});
  PantallaCuenta pantalla(*estado);
  auto* enMenu = accion(*bandeja.menu(), "Open at login");
  auto* casilla = conTexto<QCheckBox>(pantalla, "Open Vemlo at login");
  ASSERT_TRUE(enMenu->isChecked() && casilla->isChecked());
  enMenu->trigger();
  ASSERT_FALSE(estado->arranqueEncendido());
  EXPECT_TRUE(esperar([&] { return !casilla->isChecked(); }));
  const auto carpeta = archivoDeArranque().parent_path();
  fs::remove_all(carpeta);
  std::ofstream(carpeta) << "not a folder";
  enMenu->trigger();
  EXPECT_FALSE(enMenu->isChecked());
  casilla->click();
  EXPECT_FALSE(casilla->isChecked());
  fs::remove(carpeta);
  casilla->click();
  EXPECT_TRUE(casilla->isChecked() && estado->arranqueEncendido());
  EXPECT_TRUE(esperar([&] { return enMenu->isChecked(); }));
}

using AjustesVentana = EnIngles;

TEST_F(AjustesVentana, ApagarUnaEmpresaEscribeElRegistroYElAvisoLaSigue) {
  Ajustes ajustes(*estado);
  EXPECT_EQ(ajustes.windowTitle(), "Vemlo Settings");
  ajustes.show();
  ASSERT_TRUE(esperar([&] { return conTexto<QCheckBox>(ajustes, "Beta") != nullptr; }));
  auto* beta = conTexto<QCheckBox>(ajustes, "Beta");
  EXPECT_TRUE(beta->isChecked() && conTexto<QCheckBox>(ajustes, "Acme")->isChecked());
  EXPECT_TRUE(conTexto<QLabel>(ajustes, qEnvironmentVariable("HOME") + "/Vemlo-Beta"));
  EXPECT_TRUE(conTexto<QLabel>(ajustes, "On"));
  guardar(ajustes, "ajustes-encendida", {560, 480});
  beta->click();
  using Registro = std::vector<std::pair<std::string, bool>>;
  ASSERT_TRUE(esperar([&] {
    return registro() == Registro{{"Acme", true}, {"Beta", false}} && estado->finderApagado();
  }));
  EXPECT_TRUE(esperar([&] { return conTexto<QLabel>(ajustes, "Off") != nullptr; }));
  EXPECT_FALSE(beta->isChecked());
  guardar(ajustes, "ajustes-apagada", {560, 480});
  beta->click();
  EXPECT_TRUE(esperar([&] {
    return registro() == Registro{{"Acme", true}, {"Beta", true}} && !estado->finderApagado();
  }));
}

}  // namespace
}  // namespace vemlo::app

#include "cuenta_test.moc"
