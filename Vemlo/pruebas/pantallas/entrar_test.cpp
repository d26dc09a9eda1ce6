// The sign-in screen driven by keys and clicks against the reference service: the e-mail sent
// trimmed while the draft keeps it as typed, a wrong password, the two-step code (wrong, back,
// right), the web links in both languages, and an account that comes without its token.
#include <httplib.h>

#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <thread>

#include "borrador.h"
#include "comun.h"
#include "entrar.h"
#include "vemlo/mensajes.h"

namespace vemlo::app {
namespace {

class EntrarPantalla : public ConEstado {
 protected:
  void SetUp() override {
    idioma = qgetenv("LANGUAGE");
    qputenv("LANGUAGE", "en");
    Borrador().borrar();
    estado = crear();
  }
  void TearDown() override { qputenv("LANGUAGE", idioma); }

  void abrir() {
    pantalla = std::make_unique<Entrar>(*estado);
    pantalla->resize(1100, 700);
    pantalla->show();
  }
  template <class T = QWidget>
  T* hijo(const char* nombre) {
    auto* w = pantalla->findChild<T*>(nombre);
    EXPECT_TRUE(w) << nombre;
    return w;
  }
  void escribir(const char* campo, const QString& texto) {
    QTest::keyClicks(hijo<QLineEdit>(campo), texto);
  }
  void pulsar(const char* boton) { QTest::mouseClick(hijo(boton), Qt::LeftButton); }
  // Waits until the request came back with a message.
  QString error() {
    EXPECT_TRUE(esperar([&] { return hijo("cajaError")->isVisible(); }));
    return hijo<QLabel>("error")->text();
  }
  void foto(const char* paso) {
    QCoreApplication::sendPostedEvents();  // the layouts catch up with what was typed
    pantalla->grab().save(QStringLiteral("/tmp/entrar-%1.png").arg(paso));
  }

  QByteArray idioma;
  std::unique_ptr<Estado> estado;
  std::unique_ptr<Entrar> pantalla;
};

TEST_F(EntrarPantalla, ElCorreoVaRecortadoYElBorradorLoGuardaComoSeEscribio) {
  Borrador().guardar("  demo@vemlo.test ");
  abrir();
  EXPECT_EQ(hijo<QLineEdit>("correo")->text(), "  demo@vemlo.test ");
  EXPECT_TRUE(hijo("aviso")->isVisible());
  foto("credenciales");
  escribir("clave", "vemlo-demo");
  EXPECT_FALSE(hijo("aviso")->isVisible());
  borrarRegistro(servicio.base());
  QSignalSpy cuenta(estado.get(), &Estado::cuentaCambio);
  QTest::keyClick(hijo("clave"), Qt::Key_Return);
  ASSERT_TRUE(cuenta.wait(10'000));
  EXPECT_EQ(estado->cuenta()->usuario.correo, correoDemo);  // the service does not trim
  EXPECT_EQ(pruebas::registro(servicio.base()).at("pedidos").size(), 1u);
  EXPECT_TRUE(Borrador().leer().isEmpty());
}

TEST_F(EntrarPantalla, UnaClaveMalaDaSuMensajeYGuardaElBorrador) {
  abrir();
  escribir("correo", " demo@vemlo.test");
  escribir("clave", "mala");
  ponerFallos(servicio.base(), {{{"ruta", "^/v1/sesiones$"}, {"demoraMs", 1000}}});
  pulsar("entrar");
  EXPECT_FALSE(hijo("entrar")->isEnabled());
  EXPECT_FALSE(hijo<QPushButton>("entrar")->icon().isNull());  // the busy ring
  foto("ocupado");
  EXPECT_EQ(error(), "The email or password is incorrect.");
  foto("error");
  EXPECT_TRUE(hijo<QPushButton>("entrar")->icon().isNull());
  EXPECT_EQ(Borrador().leer(), " demo@vemlo.test");
  EXPECT_FALSE(estado->cuenta());
}

TEST_F(EntrarPantalla, ElCodigoMaloSigueEnSuPasoVolverConservaElCorreoYElBuenoEntra) {
  abrir();
  escribir("correo", correoMfa);
  escribir("clave", claveDemo);
  pulsar("entrar");
  ASSERT_TRUE(esperar([&] { return hijo("codigo")->isVisible(); }));
  foto("codigo");
  escribir("codigo", "12345");  // five digits: never a valid code
  QTest::keyClick(hijo("codigo"), Qt::Key_Return);
  EXPECT_EQ(error(), "That code isn't right. Check your authenticator app and try again.");
  EXPECT_TRUE(hijo("codigo")->isVisible());

  pulsar("volver");
  EXPECT_TRUE(hijo("correo")->isVisible());
  EXPECT_EQ(hijo<QLineEdit>("correo")->text(), correoMfa);
  pulsar("entrar");
  ASSERT_TRUE(esperar([&] { return hijo("codigo")->isVisible(); }));
  hijo<QLineEdit>("codigo")->clear();
  escribir("codigo", QString::fromStdString(" " + servicio.totpAhora() + " "));
  QSignalSpy cuenta(estado.get(), &Estado::cuentaCambio);
  QTest::keyClick(hijo("codigo"), Qt::Key_Return);
  ASSERT_TRUE(cuenta.wait(10'000));
  EXPECT_EQ(estado->cuenta()->usuario.correo, correoMfa);
}

// Records what the desktop was asked to open.
class Navegador : public QObject {
  Q_OBJECT

 public slots:
  void abrir(const QUrl& url) { abiertas.push_back(url); }

 public:
  std::vector<QUrl> abiertas;
};

struct CasoEnlace {
  const char* idioma;
  const char* boton;
  const char* texto;
  const char* ruta;
};

class EntrarEnlaces : public EntrarPantalla, public testing::WithParamInterface<CasoEnlace> {
 protected:
  void SetUp() override {
    EntrarPantalla::SetUp();
    qputenv("LANGUAGE", GetParam().idioma);
    for (const char* esquema : {"http", "https"})
      QDesktopServices::setUrlHandler(esquema, &navegador, "abrir");
  }
  void TearDown() override {
    for (const char* esquema : {"http", "https"}) QDesktopServices::unsetUrlHandler(esquema);
    EntrarPantalla::TearDown();
  }

  Navegador navegador;
};

TEST_P(EntrarEnlaces, AbrenLaPaginaDelSitioEnSuIdioma) {
  abrir();
  EXPECT_EQ(hijo<QToolButton>(GetParam().boton)->text(), QString::fromUtf8(GetParam().texto));
  pulsar(GetParam().boton);
  ASSERT_EQ(navegador.abiertas.size(), 1u);
  EXPECT_EQ(navegador.abiertas[0].toString(),
            QString::fromStdString(servicio.base() + "/" + GetParam().ruta));
}

INSTANTIATE_TEST_SUITE_P(
    EntrarEnDosIdiomas, EntrarEnlaces,
    testing::Values(CasoEnlace{"en", "crearCuenta", "Create an account", "signup"},
                    CasoEnlace{"en", "olvido", "Forgot your password?", "forgot-password"},
                    CasoEnlace{"es", "crearCuenta", "Crear una cuenta", "es/signup"},
                    CasoEnlace{"es", "olvido", "¿Olvidaste tu contraseña?", "es/forgot-password"}));

// In front of the service: its sign-in answers, without the token.
class SinToken {
 public:
  explicit SinToken(std::string destino) : destino_(std::move(destino)) {
    servidor_.Post("/v1/sesiones", [this](const httplib::Request& pedido, httplib::Response& r) {
      const auto c = httplib::Client(destino_).Post(pedido.path, pedido.body, "application/json");
      if (!c) return void(r.status = 502);
      auto cuerpo = nlohmann::json::parse(c->body);
      cuerpo.erase("token");
      r.status = c->status;
      r.set_content(cuerpo.dump(), "application/json");
    });
    servidor_.set_keep_alive_max_count(1);  // no idle connection holds stop() back
    puerto_ = servidor_.bind_to_any_port("127.0.0.1");
    hilo_ = std::jthread([this] { servidor_.listen_after_bind(); });
  }
  ~SinToken() { servidor_.stop(); }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(puerto_); }

 private:
  std::string destino_;
  httplib::Server servidor_;
  int puerto_ = 0;
  std::jthread hilo_;  // last: joined first
};

TEST_F(EntrarPantalla, UnaCuentaSinTokenDaElMensajeDeFormatoYNoEntra) {
  SinToken delante(servicio.base());
  estado = crear(delante.base());
  abrir();
  escribir("correo", correoDemo);
  escribir("clave", claveDemo);
  pulsar("entrar");
  EXPECT_EQ(error().toStdString(), mensaje("formato", false));
  EXPECT_FALSE(estado->cuenta());
  EXPECT_EQ(Borrador().leer(), correoDemo);
}

}  // namespace
}  // namespace vemlo::app

#include "entrar_test.moc"
