// Files kept on this device, through a real mount: pinning a folder by its extended attribute
// fetches every file below it, which then outlives a squeeze of the cache limit and a restart
// of the host (with no second download); unpinning lets them go; a new version of a pinned
// file is fetched again after the change signal; a pin made offline is fetched once the
// service is back; a folder bigger than the limit is kept as far as it fits, never at the cost
// of another pinned file; and the control requests.
#include <sys/stat.h>
#include <sys/xattr.h>

#include <map>

#include "carpeta.h"
#include "finder/control.h"
#include "vemlo/xdg.h"

namespace vemlo::finder::host::pruebas {
namespace {

namespace fs = std::filesystem;

constexpr const char* fijado = "user.vemlo.fijado";

std::string atributo(const fs::path& ruta, const char* nombre) {
  char valor[256];
  const auto n = getxattr(ruta.c_str(), nombre, valor, sizeof valor);
  return n < 0 ? "errno " + std::to_string(errno) : std::string(valor, static_cast<std::size_t>(n));
}

std::string estadoDe(const fs::path& ruta) {
  return atributo(ruta, "user.vemlo.estado");
}

std::int64_t tamanoDe(const fs::path& ruta) {
  struct stat datos {};
  return ::stat(ruta.c_str(), &datos) == 0 ? datos.st_size : -1;
}

class Fijados : public Carpeta {
 protected:
  fs::path fotos() const { return punto() / "Fotos"; }
  fs::path playa() const { return fotos() / "playa.jpg"; }
  fs::path montana() const { return fotos() / "montaña.png"; }
  fs::path leeme() const { return punto() / "Léeme.txt"; }

  // The cache folder's files, by name, with their inode numbers.
  std::map<std::string, ino_t> enCache() const {
    std::map<std::string, ino_t> archivos;
    const auto carpeta = cacheDeUsuario() / "vemlo-finder" / empresa("Acme").id / "contenido";
    for (const auto& a : fs::directory_iterator(carpeta)) {
      struct stat datos {};
      if (::stat(a.path().c_str(), &datos) == 0) archivos[a.path().filename()] = datos.st_ino;
    }
    return archivos;
  }

  nlohmann::json cache() const { return estado().at("dominios").at(0).at("cache"); }

  bool ambasFijadas() const {
    return estadoDe(playa()) == "fijado" && estadoDe(montana()) == "fijado";
  }
};

TEST_F(Fijados, UnaCarpetaFijadaSeDescargaYSobreviveAlLimiteYAlReinicio) {
  ASSERT_EQ(setxattr(fotos().c_str(), fijado, "1", 1, 0), 0);
  EXPECT_EQ(atributo(fotos(), fijado), "1");
  EXPECT_EQ(atributo(leeme(), fijado), "errno " + std::to_string(ENODATA));
  ASSERT_TRUE(esperar([&] { return ambasFijadas(); }));
  const auto bytes = tamanoDe(playa()) + tamanoDe(montana());
  EXPECT_TRUE(esperar([&] { return cache().at("fijados").at("bytes") == bytes; }));
  EXPECT_EQ(cache().at("fijados").at("archivos"), 2);

  EXPECT_EQ(enMontaje("cat Léeme.txt >/dev/null").estado, 0);
  ASSERT_TRUE(esperar([&] { return estadoDe(leeme()) == "local"; }));
  ASSERT_EQ(pedirAlAnfitrion("limite 1"), "ok\n");
  // Evicted by the squeeze (or at its close, when the kernel releases it later).
  EXPECT_TRUE(esperar([&] { return estadoDe(leeme()) == "nube"; }));
  EXPECT_TRUE(ambasFijadas());
  const auto antes = enCache();
  EXPECT_EQ(antes.size(), 2u);

  detenerHost();
  arrancarHost();
  EXPECT_TRUE(ambasFijadas());
  EXPECT_EQ(atributo(fotos(), fijado), "1");
  EXPECT_EQ(cache().at("limite"), 1);
  EXPECT_TRUE(esperar([&] { return cache().at("fijados").at("archivos") == 2; }));
  EXPECT_EQ(enCache(), antes);  // the same files: nothing was fetched again

  ASSERT_EQ(removexattr(fotos().c_str(), fijado), 0);
  EXPECT_EQ(atributo(fotos(), fijado), "errno " + std::to_string(ENODATA));
  EXPECT_TRUE(
      esperar([&] { return estadoDe(playa()) == "nube" && estadoDe(montana()) == "nube"; }));
  EXPECT_TRUE(enCache().empty());
}

TEST_F(Fijados, UnaVersionNuevaSeDescargaTrasLaSenal) {
  ASSERT_EQ(setxattr(fotos().c_str(), fijado, "", 0, 0), 0);
  ASSERT_TRUE(esperar([&] { return ambasFijadas(); }));
  const auto carpetaFotos = atributo(fotos(), "user.vemlo.id").substr(2);
  subir(*demo, carpetaFotos, "playa.jpg", "otra playa", "image/jpeg");
  ASSERT_EQ(senalar(empresa("Acme").id), std::nullopt);
  EXPECT_TRUE(esperar([&] { return estadoDe(playa()) == "fijado"; }));
  EXPECT_EQ(tamanoDe(playa()), 10);
  EXPECT_EQ(leer(playa()), "otra playa");
}

TEST_F(Fijados, LoFijadoSinServicioLlegaCuandoVuelve) {
  EXPECT_EQ(enMontaje("ls Fotos").texto, "montaña.png\nplaya.jpg\n");
  ASSERT_EQ(servicio->detener(), 0);
  ASSERT_EQ(setxattr(fotos().c_str(), fijado, "1", 1, 0), 0);
  EXPECT_EQ(atributo(fotos(), fijado), "1");
  EXPECT_EQ(estadoDe(playa()), "nube");
  servicio->reanudar();
  EXPECT_TRUE(esperar([&] { return ambasFijadas(); }, 60s));  // the next try, not a change
}

TEST_F(Fijados, UnaCarpetaMayorQueElLimiteSeFijaHastaDondeCabe) {
  ASSERT_EQ(setxattr(leeme().c_str(), fijado, "1", 1, 0), 0);
  ASSERT_TRUE(esperar([&] { return estadoDe(leeme()) == "fijado"; }));
  const auto mayor = std::max(tamanoDe(playa()), tamanoDe(montana()));
  const auto limite = tamanoDe(leeme()) + mayor;
  ASSERT_EQ(pedirAlAnfitrion("limite " + std::to_string(limite)), "ok\n");
  ASSERT_EQ(setxattr(fotos().c_str(), fijado, "1", 1, XATTR_CREATE), 0);
  EXPECT_EQ(setxattr(fotos().c_str(), fijado, "1", 1, XATTR_CREATE), -1);
  EXPECT_EQ(errno, EEXIST);
  ASSERT_TRUE(esperar([&] { return cache().at("fijados").at("sinSitio").size() == 1; }));
  EXPECT_TRUE(esperar([&] { return cache().at("fijados").at("archivos") == 2; }));
  const auto fijados = cache().at("fijados");
  const std::string fuera = fijados.at("sinSitio").at(0);
  const auto dentro = fuera == "Fotos/playa.jpg" ? montana() : playa();
  EXPECT_EQ(fijados.at("bytesSinSitio"), tamanoDe(punto() / fuera));
  EXPECT_LE(fijados.at("bytes").get<std::int64_t>(), limite);
  EXPECT_EQ(estadoDe(leeme()), "fijado");
  EXPECT_EQ(estadoDe(dentro), "fijado");
  EXPECT_EQ(estadoDe(punto() / fuera), "nube");
}

// The control requests, as vemlo-cli and the app send them.
TEST_F(Fijados, PorElEnchufeDeControl) {
  const auto dominio = empresa("Acme").id;
  const auto id = atributo(leeme(), "user.vemlo.id");
  EXPECT_EQ(fijarItem(dominio, id, true), std::nullopt);
  EXPECT_EQ(atributo(leeme(), fijado), "1");
  EXPECT_TRUE(esperar([&] { return estadoDe(leeme()) == "fijado"; }));
  EXPECT_EQ(fijarItem(dominio, id, false), std::nullopt);
  EXPECT_EQ(atributo(leeme(), fijado), "errno " + std::to_string(ENODATA));
  EXPECT_TRUE(esperar([&] { return estadoDe(leeme()) == "local"; }));
  EXPECT_EQ(fijarItem("otra", id, true), "sinCarpeta");
  EXPECT_EQ(pedirAlAnfitrion("fijar " + dominio), "error fallo expected a domain and an item\n");
  EXPECT_EQ(pedirAlAnfitrion("limite 2G"), "error fallo expected the limit in bytes\n");
  EXPECT_EQ(limitarCache(5u << 20), std::nullopt);
  EXPECT_EQ(cache().at("limite"), 5u << 20);
  EXPECT_EQ(estado().at("limiteCache"), 5u << 20);
}

}  // namespace
}  // namespace vemlo::finder::host::pruebas
