// Thumbnails through the extension: the service's when it has one, else one made here for
// images and videos, and never an error.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

#include "comun.h"
#include "vemlo/miniaturas.h"

namespace vemlo::finder::pruebas {
namespace {

struct Miniaturas {
  std::map<std::string, std::optional<std::string>> datos;
  int finales = 0;
  std::int64_t hechas = 0;
};

Miniaturas pedir(ExtensionVemlo& ext, const std::vector<std::string>& ids) {
  Miniaturas m;
  std::mutex candado;
  std::promise<void> fin;
  auto progreso = ext.fetchThumbnails(
      ids, 256,
      [&](const std::string& id, std::optional<std::string> datos, std::exception_ptr e) {
        EXPECT_FALSE(e);
        std::lock_guard c(candado);
        m.datos[id] = std::move(datos);
      },
      [&](std::exception_ptr e) {
        EXPECT_FALSE(e);
        if (++m.finales == 1) fin.set_value();
      });
  EXPECT_EQ(progreso->totalUnitCount(), static_cast<std::int64_t>(ids.size()));
  EXPECT_EQ(fin.get_future().wait_for(60s), std::future_status::ready);
  m.hechas = progreso->completedUnitCount();
  return m;
}

bool esJpeg(const std::optional<std::string>& datos) {
  return datos && datos->size() > 3 && datos->compare(0, 3, "\xFF\xD8\xFF") == 0;
}

using MiniaturasDeLaExtension = ConServicio;

TEST_F(MiniaturasDeLaExtension, LaDelServicioYNingunaParaLoDemas) {
  auto ext = extension(acme);
  enumerar(*ext, fp::workingSet);
  const auto fotos = idEn(acme.carpetaRaizId, "Fotos");
  const auto playa = idEn(fotos.substr(2), "playa.jpg");
  const std::vector<std::string> ids{playa, fotos, idEn(acme.carpetaRaizId, "Léeme.txt"), "a:nada",
                                     fp::rootContainer};
  const auto m = pedir(*ext, ids);
  EXPECT_EQ(m.datos.at(playa), demo.get("/v1/archivos/" + playa.substr(2) + "/miniatura").cuerpo);
  for (std::size_t i = 1; i < ids.size(); ++i) EXPECT_FALSE(m.datos.at(ids[i])) << ids[i];
  EXPECT_EQ(m.hechas, 5);

  SesionGuardada::borrar();
  const auto sinSesion = pedir(*ext, ids);
  EXPECT_EQ(sinSesion.datos.size(), ids.size());
  EXPECT_FALSE(sinSesion.datos.at(playa));
  EXPECT_EQ(sinSesion.finales, 1);
}

TEST_F(MiniaturasDeLaExtension, HechasAquiCuandoElServicioNoTiene) {
  const auto raiz = acme.carpetaRaizId;
  const auto casa = std::filesystem::path(std::getenv("HOME"));
  const auto orden =
      "ffmpeg -v error -y -f lavfi -i testsrc=duration=2:size=320x240:rate=10 "
      "-pix_fmt yuv420p " +
      (casa / "clip.mp4").string();
  ASSERT_EQ(std::system(orden.c_str()), 0) << orden;
  std::ifstream entrada(casa / "clip.mp4", std::ios::binary);
  subir(demo, raiz, "clip.mp4", {std::istreambuf_iterator<char>(entrada), {}}, "video/mp4");
  // NOLINTNEXTLINE(bugprone-string-constructor): one byte over the limit, on purpose.
  subir(demo, raiz, "grande.jpg", std::string(40'000'001, '\0'), "image/jpeg");
  ponerFallos(servicio.base(),
              {{{"ruta", "/miniatura$"}, {"estado", 404}, {"error", "noExiste"}, {"veces", 100}}});
  auto ext = extension(acme);
  enumerar(*ext, fp::workingSet);
  const auto fotos = idEn(raiz, "Fotos");
  const auto playa = idEn(fotos.substr(2), "playa.jpg");
  const auto clip = idEn(raiz, "clip.mp4"), grande = idEn(raiz, "grande.jpg");

  pedidos();
  const auto m = pedir(*ext, {playa, clip, grande});
  const auto lista = pedidos();
  // Links for the image and the video only: the large image is not fetched.
  EXPECT_EQ(std::count(lista.begin(), lista.end(), "POST /v1/descargas"), 2);
  EXPECT_EQ(m.datos.at(playa), miniaturaDeImagen(descargar(demo, playa.substr(2))));
  EXPECT_TRUE(esJpeg(m.datos.at(clip)));
  EXPECT_FALSE(m.datos.at(grande));
}

}  // namespace
}  // namespace vemlo::finder::pruebas
