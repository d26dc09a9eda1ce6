// The Files section's folder without widgets: the item table as the service lists the folder,
// favourites, a folder deleted elsewhere, a reader's company, thumbnails as rows show, and
// the symbols.
#include <QIcon>

#include "carpeta.h"
#include "comun.h"

namespace vemlo::app {
namespace {

class EnCarpeta : public ConDemo {
 protected:
  void SetUp() override {
    ConDemo::SetUp();
    carpeta = std::make_unique<Carpeta>(*estado);
  }
  // Opens `id` (none: the root) and waits for its view.
  void abrir(std::optional<std::string> id) {
    QSignalSpy cargada(carpeta.get(), &Carpeta::vistaCambio);
    carpeta->abrir(std::move(id));
    ASSERT_TRUE(cargada.wait());
  }
  QString celda(int fila, int columna, int rol = Qt::DisplayRole) {
    return carpeta->modelo().data(carpeta->modelo().index(fila, columna), rol).toString();
  }
  int fila(const std::string& nombre) {
    const auto& items = carpeta->modelo().items();
    for (std::size_t f = 0; f < items.size(); ++f)
      if (items[f].nombre == nombre) return static_cast<int>(f);
    return -1;
  }

  std::unique_ptr<Carpeta> carpeta;  // made once the state is signed in
};

TEST_F(EnCarpeta, LaRaizEnElOrdenDelServicioConFavoritosYTextos) {
  const auto raiz = demo->carpeta(estado->empresa()->carpetaRaizId);
  estado->api()->marcarFavorito("archivo", archivo(raiz, "Léeme.txt").id);
  abrir(std::nullopt);
  EXPECT_EQ(nombres(carpeta->modelo().items()),
            (std::vector<std::string>{"Fotos", "Informes", "Proyectos", "Léeme.txt"}));
  EXPECT_TRUE(carpeta->editable());
  EXPECT_EQ(celda(0, ModeloItems::tamanoColumna).toStdString(), "—");
  EXPECT_EQ(celda(3, ModeloItems::tamanoColumna).toStdString(), "81 bytes");
  EXPECT_FALSE(celda(3, ModeloItems::fechaColumna).isEmpty());
  EXPECT_EQ(celda(3, ModeloItems::nombreColumna, ModeloItems::favoritoRol), "true");
  EXPECT_EQ(celda(0, ModeloItems::nombreColumna, ModeloItems::favoritoRol), "false");
  EXPECT_EQ(carpeta->modelo().headerData(1, Qt::Horizontal, Qt::DisplayRole), "Modified");
}

TEST_F(EnCarpeta, UnaCarpetaBorradaEnOtraParteVuelveALaRaizSinAviso) {
  const auto proyectos = idCarpeta(demo->carpeta(estado->empresa()->carpetaRaizId), "Proyectos");
  abrir(proyectos);
  EXPECT_EQ(carpeta->vista()->id, proyectos);
  estado->api()->aPapelera(Clase::carpeta, proyectos);
  QSignalSpy vuelta(carpeta.get(), &Carpeta::carpetaIdCambio);
  estado->cambio();
  ASSERT_TRUE(esperar([&] { return !vuelta.empty() && carpeta->vista()->ruta.size() == 1; }));
  EXPECT_EQ(carpeta->carpetaId(), std::nullopt);
  EXPECT_FALSE(estado->hayAviso());
}

TEST_F(EnCarpeta, LaEmpresaDeUnLectorNoSeCambia) {
  estado->elegir(estado->cuenta()->organizaciones.at(1));  // Beta, where the demo reads only
  ASSERT_TRUE(esperar([&] {
    return carpeta->cargada() && carpeta->vista()->organizacionId == estado->empresa()->id;
  }));
  EXPECT_FALSE(carpeta->editable());
  EXPECT_EQ(nombres(carpeta->modelo().items()), std::vector<std::string>{"Manuales"});
}

TEST_F(EnCarpeta, LaMiniaturaLlegaComoDecoracionDeSuFila) {
  abrir(idCarpeta(demo->carpeta(estado->empresa()->carpetaRaizId), "Fotos"));
  const auto playa = fila("playa.jpg");
  ASSERT_GE(playa, 0);
  QSignalSpy cambios(&carpeta->modelo(), &QAbstractItemModel::dataChanged);
  const auto indice = carpeta->modelo().index(playa, 0);
  EXPECT_EQ(carpeta->modelo().data(indice, Qt::DecorationRole).typeId(), QMetaType::QIcon);
  ASSERT_TRUE(cambios.wait());
  EXPECT_EQ(cambios.at(0).at(0).toModelIndex(), indice);
  const auto imagen = carpeta->modelo().data(indice, Qt::DecorationRole).value<QImage>();
  EXPECT_EQ(std::max(imagen.width(), imagen.height()), 400);
}

struct Simbolo {
  bool esCarpeta;
  std::optional<std::string> tipo;
  const char* nombre;
};

class Simbolos : public testing::TestWithParam<Simbolo> {};

TEST_P(Simbolos, SegunElTipo) {
  const auto& s = GetParam();
  Item item;
  item.esCarpeta = s.esCarpeta;
  item.tipo = s.tipo;
  EXPECT_EQ(simboloDe(item).toStdString(), s.nombre);
}

INSTANTIATE_TEST_SUITE_P(Items, Simbolos,
                         testing::Values(Simbolo{true, std::nullopt, "folder.fill"},
                                         Simbolo{false, "image/heic", "photo"},
                                         Simbolo{false, "video/mp4", "film"},
                                         Simbolo{false, "audio/mpeg", "waveform"},
                                         Simbolo{false, "application/pdf", "doc.richtext"},
                                         Simbolo{false, "application/pdfx", "doc"},
                                         Simbolo{false, std::nullopt, "doc"}));

TEST(Items, LosResultadosDeUnaBusquedaDistinguenCarpetas) {
  std::vector<ResultadoBusqueda> resultados(2);
  resultados[0].tipo = "carpeta";
  resultados[1].tipo = "archivo";
  resultados[1].tamanoBytes = 5;
  const auto items = itemsDe(resultados);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_TRUE(items[0].esCarpeta);
  EXPECT_FALSE(items[1].esCarpeta);
  EXPECT_EQ(items[1].tamano, 5);
  EXPECT_EQ(items[1].tipo, std::nullopt);
}

}  // namespace
}  // namespace vemlo::app
