// Files from the service: previews fetched once per date into the opened-files cache, a
// refused download, ids and names that would leave the cache, saving with the file manager's
// fallback, and the player's link.
#include <QSignalSpy>

#include <fstream>

#include "abiertos.h"
#include "comun.h"
#include "vemlo/archivo.h"
#include "vemlo/mensajes.h"

namespace vemlo::app {
namespace {

namespace fs = std::filesystem;

class Archivos : public ConDemo {
 protected:
  void SetUp() override {
    ConDemo::SetUp();
    leeme = archivo(demo->carpeta(estado->empresa()->carpetaRaizId), "Léeme.txt");
  }

  // How many download links the app asked for since the register was cleared (the test's own
  // client is not the app's).
  int enlaces() {
    int n = 0;
    const auto visto = pruebas::registro(servicio.base());
    for (const auto& p : visto.at("pedidos"))
      n += p.value("ruta", "") == "/v1/descargas" && p.at("cabeceras").contains("X-Vemlo-App");
    return n;
  }

  bool previsualizado(const ArchivoRemoto& a) {
    QSignalSpy abriendo(estado.get(), &Estado::abriendoCambio);
    estado->previsualizar(a);
    return esperar([&] { return abriendo.size() == 2; });
  }

  ArchivoRemoto leeme;
};

TEST_F(Archivos, UnaVistaPreviaSeTraeUnaVezPorFecha) {
  borrarRegistro(servicio.base());
  ASSERT_TRUE(previsualizado(leeme));
  ASSERT_TRUE(estado->vistaPrevia());
  const auto copia = fs::path(estado->vistaPrevia()->toLocalFile().toStdString());
  EXPECT_EQ(copia, carpetaDeAbiertos() / leeme.id / "Léeme.txt");
  EXPECT_EQ(leerTodo(copia), descargar(*demo, leeme.id));
  EXPECT_EQ(estado->abriendo(), "");
  ASSERT_TRUE(previsualizado(leeme));
  EXPECT_EQ(enlaces(), 1);
  auto cambiado = leeme;
  cambiado.actualizadoEn = "2030-01-01T00:00:00.000Z";
  ASSERT_TRUE(previsualizado(cambiado));
  EXPECT_EQ(enlaces(), 2);
}

TEST_F(Archivos, UnaDescargaRechazadaLoDiceYNoCambiaLaVista) {
  ponerFallos(servicio.base(), {{{"metodo", "GET"}, {"ruta", "^/almacen/"}, {"estado", 404}}});
  ASSERT_TRUE(previsualizado(leeme));
  EXPECT_FALSE(estado->vistaPrevia());
  EXPECT_EQ(estado->abriendo(), "");
  EXPECT_EQ(estado->aviso().toStdString(), mensaje("noExiste", false));
}

// An id or a name from the service that is not one plain path component.
class Hostiles : public Archivos,
                 public testing::WithParamInterface<std::pair<std::string, std::string>> {};

TEST_P(Hostiles, NoSaleDeAbiertos) {
  auto a = leeme;
  std::tie(a.id, a.nombre) = GetParam();
  ASSERT_TRUE(previsualizado(a));
  EXPECT_FALSE(estado->vistaPrevia());
  EXPECT_EQ(estado->aviso().toStdString(), mensaje("formato", false));
  EXPECT_FALSE(fs::exists(carpetaDeAbiertos().parent_path() / "fuera"));
}

INSTANTIATE_TEST_SUITE_P(Archivos, Hostiles,
                         testing::Values(std::pair{"..", "fuera"}, std::pair{".", "fuera"},
                                         std::pair{"", "fuera"}, std::pair{"../fuera", "x"},
                                         std::pair{"id", ".."}, std::pair{"id", "../../fuera"},
                                         std::pair{"id", std::string("a\0b", 3)},
                                         std::pair{"id", ".version"}));

TEST_F(Archivos, UnEnlacePlantadoSeReemplazaSinSeguirlo) {
  const auto ajeno = fs::path(std::getenv("HOME")) / "ajeno.txt";
  std::ofstream(ajeno) << "mío";
  fs::create_directories(carpetaDeAbiertos() / leeme.id);
  fs::create_symlink(ajeno, carpetaDeAbiertos() / leeme.id / leeme.nombre);
  ASSERT_TRUE(previsualizado(leeme));
  EXPECT_EQ(leerTodo(ajeno), "mío");
  EXPECT_FALSE(fs::is_symlink(carpetaDeAbiertos() / leeme.id / leeme.nombre));
}

TEST_F(Archivos, GuardarMuestraLaCarpetaSinGestorYReproducirDaElEnlace) {
  const auto destino = fs::path(std::getenv("HOME")) / "Descargas" / "copia.txt";
  fs::create_directories(destino.parent_path());
  estado->descargar(leeme, destino);
  ASSERT_TRUE(esperar([&] { return !abiertas.empty(); }));
  EXPECT_EQ(leerTodo(destino), descargar(*demo, leeme.id));
  // No session bus here: the file manager's ShowItems cannot answer, its folder opens.
  EXPECT_EQ(abiertas.back(),
            QUrl::fromLocalFile(QString::fromStdString(destino.parent_path().string())));
  QSignalSpy reproduccion(estado.get(), &Estado::reproduccionCambio);
  estado->reproducir(leeme);
  ASSERT_TRUE(reproduccion.wait(10'000));
  EXPECT_EQ(estado->reproduccion()->nombre, "Léeme.txt");
  EXPECT_TRUE(estado->reproduccion()->url.toString().contains("/almacen/"));
}

}  // namespace
}  // namespace vemlo::app
