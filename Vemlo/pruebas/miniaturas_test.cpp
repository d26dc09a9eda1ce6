// Thumbnails for the views: the service's own, one made here within the size rule, none for
// a picture too big, and the cache answering a second time without the network.
#include "comun.h"

namespace vemlo::app {
namespace {

class Miniaturas : public ConDemo {
 protected:
  void SetUp() override {
    ConDemo::SetUp();
    const auto raiz = demo->carpeta(estado->empresa()->carpetaRaizId);
    playa = archivo(demo->carpeta(idCarpeta(raiz, "Fotos")), "playa.jpg");
    borrarRegistro(servicio.base());
  }

  // What the state hands back for `a`, waiting for it.
  std::optional<QImage> cargar(const ArchivoRemoto& a) {
    std::optional<QImage> imagen;
    estado->cargarMiniatura(a, estado.get(), [&](const QImage& i) { imagen = i; });
    esperar([&] { return imagen.has_value(); });
    return imagen;
  }

  // The app's requests since the register was cleared, as "METHOD path".
  std::vector<std::string> pedidos() {
    std::vector<std::string> lista;
    const auto visto = pruebas::registro(servicio.base());
    for (const auto& p : visto.at("pedidos"))
      if (p.at("cabeceras").contains("X-Vemlo-App") || p.value("ruta", "").starts_with("/almacen/"))
        lista.push_back(p.value("metodo", "") + " " + p.value("ruta", "").substr(0, 9));
    return lista;
  }

  ArchivoRemoto playa;
};

TEST_F(Miniaturas, DelServicioOHechaAquiYLuegoDeLaCache) {
  playa.miniatura = true;
  auto imagen = cargar(playa);
  ASSERT_TRUE(imagen && !imagen->isNull());
  EXPECT_EQ(pedidos(), std::vector<std::string>{"GET /v1/archi"});
  borrarRegistro(servicio.base());
  EXPECT_EQ(cargar(playa)->size(), imagen->size());
  EXPECT_TRUE(pedidos().empty());
}

TEST_F(Miniaturas, SinLaDelServicioSeHaceDeLaImagenEntera) {
  playa.miniatura = false;
  const auto imagen = cargar(playa);
  ASSERT_TRUE(imagen && !imagen->isNull());
  EXPECT_EQ(std::max(imagen->width(), imagen->height()), 400);  // 1200 × 800, shrunk
  EXPECT_EQ(pedidos(), (std::vector<std::string>{"POST /v1/desca", "GET /almacen/"}));
}

TEST_F(Miniaturas, UnaImagenDemasiadoGrandeQuedaConSuSimbolo) {
  playa.miniatura = false;
  playa.tamanoBytes = 50'000'000;
  const auto imagen = cargar(playa);
  ASSERT_TRUE(imagen);
  EXPECT_TRUE(imagen->isNull());
  EXPECT_TRUE(pedidos().empty());
}

}  // namespace
}  // namespace vemlo::app
