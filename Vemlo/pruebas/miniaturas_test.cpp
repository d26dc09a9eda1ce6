// Thumbnails for the views: the service's own, one made here within the size rule, none for
// a picture too big, the cache answering a second time without the network, and videos made
// three at a time.
#include <httplib.h>

#include <atomic>
#include <fstream>
#include <thread>

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

// A proxy in front of the service that counts the reads of stored files under way at once,
// each held a while so that reads allowed to overlap do.
class Contador {
 public:
  explicit Contador(std::string destino) : destino_(std::move(destino)) {
    const auto reenviar = [this](const httplib::Request& p, httplib::Response& r) { pasar(p, r); };
    servidor_.Get(".*", reenviar);
    servidor_.Post(".*", reenviar);
    servidor_.Put(".*", reenviar);
    servidor_.Delete(".*", reenviar);
    puerto_ = servidor_.bind_to_any_port("127.0.0.1");  // listening already: early calls wait
    hilo_ = std::jthread([this] { servidor_.listen_after_bind(); });
  }
  ~Contador() { servidor_.stop(); }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(puerto_); }
  int maximo() const { return maximo_; }

 private:
  void pasar(const httplib::Request& pedido, httplib::Response& respuesta) {
    const bool almacen = pedido.path.starts_with("/almacen/");
    if (almacen) {
      const int ahora = ++ahora_;
      for (int m = maximo_; ahora > m && !maximo_.compare_exchange_weak(m, ahora);) {
      }
      std::this_thread::sleep_for(300ms);
    }
    httplib::Request copia;
    copia.method = pedido.method;
    copia.path = pedido.target;
    copia.body = pedido.body;
    for (const auto& [nombre, valor] : pedido.headers)
      if (nombre != "Host" && nombre != "Content-Length" && !nombre.starts_with("REMOTE_") &&
          !nombre.starts_with("LOCAL_"))
        copia.headers.emplace(nombre, valor);
    httplib::Client cliente(destino_);
    cliente.set_decompress(false);
    const auto contestacion = cliente.send(copia);
    if (almacen) --ahora_;
    if (!contestacion) return void(respuesta.status = 502);
    respuesta.status = contestacion->status;
    for (const auto& [nombre, valor] : contestacion->headers)
      if (nombre != "Content-Length" && nombre != "Transfer-Encoding" && nombre != "Connection" &&
          nombre != "Keep-Alive")
        respuesta.headers.emplace(nombre, valor);
    respuesta.body = contestacion->body;
  }

  std::string destino_;
  httplib::Server servidor_;
  int puerto_ = 0;
  std::atomic<int> ahora_{0};
  std::atomic<int> maximo_{0};
  std::jthread hilo_;  // last: stopped and joined first
};

TEST_F(Miniaturas, DiezVideosSeHacenDeTresEnTres) {
  const auto clip = std::filesystem::path(std::getenv("HOME")) / "clip.mp4";
  const auto orden =
      "ffmpeg -v error -y -f lavfi -i testsrc=duration=2:size=160x120:rate=10 "
      "-pix_fmt yuv420p -movflags +faststart " +
      clip.string();
  ASSERT_EQ(std::system(orden.c_str()), 0) << orden;
  std::ifstream entrada(clip, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(entrada), {}};
  const auto carpeta = estado->api()->crearCarpeta(estado->empresa()->carpetaRaizId, "Videos");
  for (int i = 0; i < 10; ++i)
    subir(*demo, carpeta, "clip-" + std::to_string(i) + ".mp4", bytes, "video/mp4");

  Contador contador(servicio.base());
  auto otro = crear(contador.base());
  entrarComoDemo(*otro);
  int hechas = 0;
  for (const auto& video : demo->carpeta(carpeta).archivos)
    otro->cargarMiniatura(video, otro.get(), [&](const QImage& i) { hechas += !i.isNull(); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return hechas == 10; }, 60'000)) << hechas;
  EXPECT_LE(contador.maximo(), 3);
  EXPECT_GE(contador.maximo(), 2);  // and not one after another
}

}  // namespace
}  // namespace vemlo::app
