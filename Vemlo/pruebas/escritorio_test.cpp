// The desktop adapters for real, under scripts/con-escritorio (Xvfb with the xcb platform, a
// private D-Bus session): opening a file goes through a fake xdg-open first on PATH, saving
// one through a fake file manager's ShowItems, or through the opener without a manager.
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QThread>

#include <fstream>
#include <mutex>
#include <optional>

#include "comun.h"
#include "vemlo/archivo.h"

namespace vemlo::app {
namespace {

namespace fs = std::filesystem;

std::string url(const fs::path& ruta) {
  return QUrl::fromLocalFile(QString::fromStdString(ruta.string())).toEncoded().toStdString();
}

// org.freedesktop.FileManager1, recording the URIs ShowItems gets (on its own thread).
class Gestor : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

 public:
  std::vector<std::string> mostradas() const {
    std::lock_guard cierre(mutex_);
    return mostradas_;
  }

 public slots:
  void ShowItems(const QStringList& uris, const QString&) {
    std::lock_guard cierre(mutex_);
    for (const auto& u : uris) mostradas_.push_back(u.toStdString());
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> mostradas_;
};

// The manager on a second connection served by a thread of its own, as another process's
// would be: the test's thread only calls it.
struct GestorEnElBus {
  GestorEnElBus() {
    gestor.moveToThread(&hilo);
    hilo.start();
    auto bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "gestor");
    EXPECT_TRUE(bus.registerObject("/org/freedesktop/FileManager1", &gestor,
                                   QDBusConnection::ExportAllSlots));
    EXPECT_TRUE(bus.registerService("org.freedesktop.FileManager1"));
  }
  ~GestorEnElBus() {
    QDBusConnection::disconnectFromBus("gestor");
    hilo.quit();
    hilo.wait();
  }
  QThread hilo;
  Gestor gestor;
};

// The demo signed in, with the desktop's own opener and ~/bin first on PATH.
class Escritorio : public ConDemo {
 protected:
  ~Escritorio() override { qputenv("PATH", ruta); }

  void SetUp() override {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());  // ShowItems' errors, not no bus
    abridorDelEscritorio = true;
    ConDemo::SetUp();
    leeme = archivo(demo->carpeta(estado->empresa()->carpetaRaizId), "Léeme.txt");
    fs::create_directories(bin);
    fs::remove(registro);  // one process may run several tests
    qputenv("PATH", QByteArray(bin.c_str()) + ":" + ruta);
  }

  // An xdg-open that records its arguments and exits with `salida`; none without it.
  void ponerXdgOpen(std::optional<int> salida) {
    fs::remove(bin / "xdg-open");
    if (!salida) {
      qputenv("PATH", bin.c_str());  // and none further on PATH
      return;
    }
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$@\" >>'" << registro.string()
                                    << "'\nexit " << *salida << "\n";
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
  }

  // The whole lines xdg-open has written.
  std::vector<std::string> lanzadas() const {
    std::ifstream f(registro);
    std::vector<std::string> lineas;
    for (std::string linea; std::getline(f, linea) && !f.eof();) lineas.push_back(linea);
    return lineas;
  }

  const QByteArray ruta = qgetenv("PATH");
  const fs::path bin = fs::path(std::getenv("HOME")) / "bin";
  const fs::path registro = fs::path(std::getenv("HOME")) / "xdg-open.txt";
  ArchivoRemoto leeme;
};

struct Apertura {
  const char* nombre;
  std::optional<int> salida;  // xdg-open's status; none: no xdg-open on PATH
  bool lanzada;
  bool aviso;
};

class AbrirConApp : public Escritorio, public testing::WithParamInterface<Apertura> {};

TEST_P(AbrirConApp, LaCopiaVaAXdgOpenOSeAvisa) {
  ponerXdgOpen(GetParam().salida);
  estado->abrirConApp(leeme);
  ASSERT_TRUE(esperar([&] { return estado->hayAviso() || !lanzadas().empty(); }));
  const auto copia =
      fs::path(std::getenv("XDG_CACHE_HOME")) / "vemlo" / "Abiertos" / leeme.id / leeme.nombre;
  EXPECT_EQ(leerTodo(copia), descargar(*demo, leeme.id));
  EXPECT_EQ(lanzadas(), GetParam().lanzada ? std::vector{url(copia)} : std::vector<std::string>{});
  EXPECT_EQ(estado->aviso().toStdString(),
            GetParam().aviso ? "No application could open this file." : "");
}

// Qt only starts xdg-open (QProcess::startDetached): one that fails still counts as opened.
INSTANTIATE_TEST_SUITE_P(Escritorio, AbrirConApp,
                         testing::Values(Apertura{"Abre", 0, true, false},
                                         Apertura{"Falla", 4, true, false},
                                         Apertura{"Falta", std::nullopt, false, true}),
                         [](const auto& caso) { return caso.param.nombre; });

class Guardar : public Escritorio, public testing::WithParamInterface<bool> {};

TEST_P(Guardar, ElGestorMuestraElArchivoOSeAbreSuCarpeta) {
  const bool conGestor = GetParam();
  std::optional<GestorEnElBus> bus;
  if (conGestor) bus.emplace();
  ponerXdgOpen(0);
  const auto destino = fs::path(std::getenv("HOME")) / "Descargas" / "Léeme copia.txt";
  fs::create_directories(destino.parent_path());
  estado->descargar(leeme, destino);
  ASSERT_TRUE(
      esperar([&] { return bus ? !bus->gestor.mostradas().empty() : !lanzadas().empty(); }));
  // ShowItems' answer handled (its watcher gone), then a launch of the test's own: any of the
  // state's came before it.
  ASSERT_TRUE(esperar([&] { return estado->findChildren<QDBusPendingCallWatcher*>().empty(); }));
  ASSERT_TRUE(QDesktopServices::openUrl(QUrl("file:///fin")));
  ASSERT_TRUE(esperar([&] { return !lanzadas().empty() && lanzadas().back() == "file:///fin"; }));
  EXPECT_EQ(leerTodo(destino), descargar(*demo, leeme.id));
  using Lista = std::vector<std::string>;
  if (conGestor) {
    EXPECT_EQ(bus->gestor.mostradas(), Lista{url(destino)});
    EXPECT_EQ(lanzadas(), Lista{"file:///fin"});
  } else {
    EXPECT_EQ(lanzadas(), (Lista{url(destino.parent_path()), "file:///fin"}));
  }
  EXPECT_FALSE(estado->hayAviso());
}

INSTANTIATE_TEST_SUITE_P(Escritorio, Guardar, testing::Bool(),
                         [](const auto& caso) { return caso.param ? "ConGestor" : "SinGestor"; });

}  // namespace
}  // namespace vemlo::app

// A QGuiApplication on the platform the environment names: xcb under scripts/con-escritorio.
int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#include "escritorio_test.moc"
