// The content cache: storing, finding and replacing versions, eviction under the limit (never
// of open files), the order and the entries kept across a restart, names made of any bytes,
// and many threads at once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "contenidos.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

fs::path casa() {
  return fs::path(std::getenv("HOME"));
}
fs::path carpeta() {
  return casa() / "cache";
}

// A new file of `bytes` bytes to store, on the cache's file system.
fs::path archivo(std::size_t bytes, const std::string& nombre = "nuevo") {
  const auto ruta = casa() / nombre;
  std::ofstream(ruta, std::ios::binary) << std::string(bytes, 'x');
  return ruta;
}

std::size_t archivosEn(const fs::path& ruta) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(ruta), {}));
}

TEST(CacheContenidos, GuardaBuscaReemplazaYOlvida) {
  CacheContenidos cache(carpeta(), 1000);
  const auto ruta = cache.guardar("a1", "v1", archivo(10));
  EXPECT_EQ(cache.buscar("a1", "v1"), ruta);
  EXPECT_FALSE(cache.buscar("a1", "v2"));
  const auto nueva = cache.guardar("a1", "v2", archivo(7));
  EXPECT_FALSE(fs::exists(ruta));
  EXPECT_EQ(cache.buscar("a1", "v2"), nueva);
  EXPECT_FALSE(cache.buscar("a1", "v1"));
  EXPECT_EQ(cache.ocupados(), 7u);
  cache.olvidar("a1");
  EXPECT_FALSE(cache.buscar("a1", "v2"));
  EXPECT_EQ(cache.ocupados(), 0u);
  EXPECT_EQ(archivosEn(carpeta()), 0u);
  EXPECT_EQ(fs::status(carpeta()).permissions(), fs::perms::owner_all);
}

TEST(CacheContenidos, DesalojaLoMenosUsadoPeroNuncaLoAbierto) {
  CacheContenidos cache(carpeta(), 100);
  cache.guardar("a", "1", archivo(40));
  cache.guardar("b", "1", archivo(40));
  cache.buscar("a", "1");
  cache.guardar("c", "1", archivo(40));  // b is the least recently used
  EXPECT_FALSE(cache.buscar("b", "1"));
  cache.abrir("a");
  cache.guardar("d", "1", archivo(40));  // a is older but open: c goes
  EXPECT_TRUE(cache.buscar("a", "1"));
  EXPECT_FALSE(cache.buscar("c", "1"));
  cache.guardar("e", "1", archivo(100));  // only the open one and the new one remain
  EXPECT_EQ(cache.ocupados(), 140u);
  cache.cerrar("a");
  cache.cerrar("a");  // one too many: ignored
  EXPECT_EQ(cache.ocupados(), 100u);
  EXPECT_TRUE(cache.buscar("e", "1"));
  EXPECT_EQ(archivosEn(carpeta()), 1u);
}

TEST(CacheContenidos, ElOrdenYLasEntradasSobrevivenAlReinicio) {
  {
    CacheContenidos cache(carpeta(), 1000);
    for (const char* id : {"a", "b", "c"}) cache.guardar(id, "1", archivo(10));
    cache.buscar("a", "1");
  }
  std::ofstream(carpeta() / "basura") << "x";
  std::ofstream(carpeta() / "61-31.tmp") << "x";
  fs::create_directory(carpeta() / "ajena");
  CacheContenidos cache(carpeta(), 30);
  EXPECT_EQ(cache.ocupados(), 30u);
  EXPECT_FALSE(fs::exists(carpeta() / "basura"));
  EXPECT_FALSE(fs::exists(carpeta() / "61-31.tmp"));
  EXPECT_TRUE(fs::exists(carpeta() / "ajena"));
  cache.guardar("d", "1", archivo(10));  // order b, c, a: b goes
  EXPECT_FALSE(cache.buscar("b", "1"));
  for (const char* id : {"a", "c", "d"}) EXPECT_TRUE(cache.buscar(id, "1")) << id;
}

TEST(CacheContenidos, IdentificadoresDeCualquierByte) {
  const std::string raro("a/b\xff\0\xc3\xb1/..", 10);
  const std::string largo(300, '/');
  const std::string parecido = std::string(299, '/') + "x";  // same first bytes
  {
    CacheContenidos cache(carpeta(), 1000);
    cache.guardar(raro, "v/1", archivo(1));
    cache.guardar(largo, largo, archivo(2));
    cache.guardar(parecido, largo, archivo(3));
  }
  CacheContenidos cache(carpeta(), 1000);
  EXPECT_EQ(cache.ocupados(), 6u);
  EXPECT_EQ(fs::file_size(*cache.buscar(raro, "v/1")), 1u);
  EXPECT_EQ(fs::file_size(*cache.buscar(largo, largo)), 2u);
  EXPECT_EQ(fs::file_size(*cache.buscar(parecido, largo)), 3u);
  for (const auto& elemento : fs::directory_iterator(carpeta()))
    EXPECT_LE(elemento.path().filename().string().size(), 255u);
}

TEST(CacheContenidos, OchoHilosALaVez) {
  CacheContenidos cache(carpeta(), 2000);
  std::vector<std::jthread> hilos;
  for (int h = 0; h < 8; ++h)
    hilos.emplace_back([&cache, h] {
      for (int i = 0; i < 200; ++i) {
        const auto id = std::to_string(i % 13);
        const auto nombre = "h" + std::to_string(h);
        cache.guardar(id, std::to_string(i % 3),
                      archivo(static_cast<std::size_t>(i % 300), nombre));
        cache.abrir(id);
        cache.buscar(std::to_string((i + h) % 13), std::to_string(i % 3));
        cache.cerrar(id);
      }
    });
  hilos.clear();
  std::uintmax_t enDisco = 0;
  for (const auto& elemento : fs::directory_iterator(carpeta())) enDisco += elemento.file_size();
  EXPECT_EQ(cache.ocupados(), enDisco);
  EXPECT_LE(cache.ocupados(), 2000u);
}

}  // namespace
}  // namespace vemlo::finder::host
