// Uploads from the app: one row per picked item, folders walked depth first into a folder of
// the same name (merged when it exists), hidden entries skipped, a link back up the tree not
// followed, the first failure ending the row, and rows cleared when done.
#include <sys/stat.h>

#include <QSignalSpy>

#include <fstream>

#include "comun.h"

namespace vemlo::app {
namespace {

namespace fs = std::filesystem;

class Subidas_ : public ConDemo {
 protected:
  void SetUp() override {
    ConDemo::SetUp();
    raiz = estado->empresa()->carpetaRaizId;
  }

  fs::path local(const std::string& ruta, const std::string& bytes = "x") {
    const auto destino = fs::path(std::getenv("HOME")) / "local" / ruta;
    fs::create_directories(destino.parent_path());
    std::ofstream(destino) << bytes;
    return destino;
  }

  bool terminadas() {
    return esperar([&] {
      const auto& filas = estado->subidas().filas();
      return std::ranges::none_of(filas,
                                  [](const auto& f) { return f.estado == EstadoSubida::subiendo; });
    });
  }

  VistaCarpeta carpeta(const std::string& nombre) {
    return demo->carpeta(idCarpeta(demo->carpeta(raiz), nombre));
  }

  std::string raiz;
};

TEST_F(Subidas_, DosArchivosDosFilasEnElOrdenElegido) {
  estado->subir({local("b.txt", "be"), local("a.txt", "a")}, raiz);
  const auto& filas = estado->subidas().filas();
  ASSERT_EQ(filas.size(), 2u);
  EXPECT_EQ(filas[0].nombre, "b.txt");
  EXPECT_EQ(filas[1].nombre, "a.txt");
  EXPECT_EQ(filas[0].estado, EstadoSubida::subiendo);
  ASSERT_TRUE(terminadas());
  EXPECT_EQ(filas[0].estado, EstadoSubida::lista);
  EXPECT_EQ(filas[1].avance, 1.0);
  EXPECT_EQ(descargar(*demo, idArchivo(demo->carpeta(raiz), "b.txt")), "be");
  EXPECT_GE(estado->cambios(), 2);
}

TEST_F(Subidas_, UnaCarpetaAvanzaPorEntradaYSinOcultos) {
  for (const auto* nombre : {"1", "2", "3", "4", ".oculto"}) local(std::string("Lote/") + nombre);
  fs::create_directories(fs::path(std::getenv("HOME")) / "local" / "Vacia");
  QSignalSpy cambios(&estado->subidas(), &Subidas::dataChanged);
  estado->subir({fs::path(std::getenv("HOME")) / "local" / "Lote/",
                 fs::path(std::getenv("HOME")) / "local" / "Vacia"},
                raiz);
  ASSERT_TRUE(terminadas());
  std::vector<double> avances;
  for (const auto& senal : cambios) {
    if (senal.at(0).value<QModelIndex>().row() == 0)
      avances.push_back(estado->subidas().filas()[0].avance);
  }
  // Each report is read when it arrives: the values it leaves, in order, end at 1.
  EXPECT_EQ(estado->subidas().filas()[0].avance, 1.0);
  EXPECT_EQ(estado->subidas().filas()[0].nombre, "Lote");
  EXPECT_EQ(estado->subidas().filas()[1].avance, 0.0);
  EXPECT_EQ(estado->subidas().filas()[1].estado, EstadoSubida::lista);
  EXPECT_EQ(estado->subidas().filas().size(), 2u);
  EXPECT_EQ(nombres(carpeta("Lote").archivos), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_TRUE(carpeta("Vacia").archivos.empty());
}

TEST_F(Subidas_, UnaCarpetaQueYaEstaSeJuntaYUnBucleNoSeSigue) {
  demo->post("/v1/carpetas", {{"padreId", raiz}, {"nombre", "Junta"}});
  local("Junta/nuevo.txt");
  fs::create_directory_symlink("..", fs::path(std::getenv("HOME")) / "local" / "Junta" / "vuelta");
  estado->subir({fs::path(std::getenv("HOME")) / "local" / "Junta"}, raiz);
  ASSERT_TRUE(terminadas());
  EXPECT_EQ(estado->subidas().filas()[0].estado, EstadoSubida::lista)
      << estado->subidas().filas()[0].mensaje.toStdString();
  const auto vista = demo->carpeta(raiz);
  EXPECT_EQ(std::ranges::count(nombres(vista.carpetas), "Junta"), 1);
  EXPECT_EQ(nombres(carpeta("Junta").archivos), std::vector<std::string>{"nuevo.txt"});
}

TEST_F(Subidas_, LaPrimeraFallaDetieneLaCarpetaYLasOtrasFilasSiguen) {
  const auto lote = fs::path(std::getenv("HOME")) / "local" / "Cinco";
  for (const auto* nombre : {"a", "b", "c", "d"}) local(std::string("Cinco/") + nombre);
  ASSERT_EQ(mkfifo((lote / "tubo").c_str(), 0600), 0);  // cannot be read as a file
  std::vector<std::string> orden;
  for (const auto& e : fs::directory_iterator(lote)) orden.push_back(e.path().filename());
  const auto tubo = std::ranges::find(orden, "tubo") - orden.begin();
  estado->subir({lote, local("suelto.txt")}, raiz);
  ASSERT_TRUE(terminadas());
  const auto& fila = estado->subidas().filas()[0];
  EXPECT_EQ(fila.estado, EstadoSubida::fallo);
  EXPECT_TRUE(fila.mensaje.contains("tubo")) << fila.mensaje.toStdString();
  EXPECT_EQ(estado->aviso(), fila.mensaje);
  // Entries before the failing one arrived; none after it.
  EXPECT_EQ(carpeta("Cinco").archivos.size(), static_cast<std::size_t>(tubo));
  EXPECT_EQ(estado->subidas().filas()[1].estado, EstadoSubida::lista);
}

TEST_F(Subidas_, LimpiarDejaSoloLasQueSuben) {
  estado->subir({local("bien.txt"), fs::path(std::getenv("HOME")) / "no-esta"}, raiz);
  ASSERT_TRUE(terminadas());
  ponerFallos(servicio.base(),
              {{{"metodo", "POST"}, {"ruta", "^/v1/subidas$"}, {"demoraMs", 3000}}});
  estado->subir({local("lenta.txt")}, raiz);
  estado->limpiarSubidas();
  ASSERT_EQ(estado->subidas().filas().size(), 1u);
  EXPECT_EQ(estado->subidas().filas()[0].nombre, "lenta.txt");
  ASSERT_TRUE(terminadas());
}

}  // namespace
}  // namespace vemlo::app
