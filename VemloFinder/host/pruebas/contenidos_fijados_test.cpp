// The content cache with protected files (those kept on this device) and a limit changed
// while it runs: a squeeze evicts every closed, unprotected file, never a protected one, and
// a file that leaves the protected set may go at once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "contenidos.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

fs::path casa() {
  return fs::path(std::getenv("HOME"));
}

fs::path archivo(std::size_t bytes) {
  const auto ruta = casa() / "nuevo";
  std::ofstream(ruta, std::ios::binary) << std::string(bytes, 'x');
  return ruta;
}

TEST(CacheContenidos, LoProtegidoSobreviveAUnLimiteMenor) {
  CacheContenidos cache(casa() / "cache", 1000);
  for (const auto* id : {"a", "b", "c", "d"}) cache.guardar(id, "1", archivo(100));
  cache.proteger({"a", "c"});
  cache.abrir("d");
  cache.fijarLimite(50);
  EXPECT_EQ(cache.limite(), 50u);
  EXPECT_TRUE(cache.tiene("a", "1"));
  EXPECT_FALSE(cache.tiene("b", "1"));
  EXPECT_TRUE(cache.tiene("c", "1"));
  EXPECT_TRUE(cache.tiene("d", "1"));
  EXPECT_TRUE(cache.protegido("a"));
  EXPECT_FALSE(cache.protegido("d"));

  cache.guardar("e", "1", archivo(10));  // stored past the limit, evicting nothing kept
  EXPECT_EQ(cache.ocupados(), 310u);
  cache.proteger({"c"});  // a goes (closed, no longer kept); e is the newest but goes too
  EXPECT_FALSE(cache.tiene("a", "1"));
  EXPECT_FALSE(cache.tiene("e", "1"));
  EXPECT_EQ(cache.ocupados(), 200u);
  cache.cerrar("d");
  EXPECT_EQ(cache.ocupados(), 100u);
  EXPECT_TRUE(cache.tiene("c", "1"));
}

}  // namespace
}  // namespace vemlo::finder::host
