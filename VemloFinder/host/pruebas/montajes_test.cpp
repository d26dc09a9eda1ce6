// Mounts of ours in a mountinfo text: type, owner and the kernel's escapes in the folder name.
#include "montajes.h"

#include <gtest/gtest.h>

namespace vemlo::finder::host {
namespace {

// The shape of a /proc/self/mountinfo line for a FUSE mount at `punto` (escaped already).
std::string linea(const std::string& punto, const std::string& tipo = "fuse.vemlo",
                  uid_t usuario = 1000, const std::string& dispositivo = "0:52") {
  return "61 28 " + dispositivo + " / " + punto + " rw,nosuid,nodev,relatime shared:33 - " + tipo +
         " vemlo rw,user_id=" + std::to_string(usuario) + ",group_id=1000,default_permissions\n";
}

struct FilaMontajes {
  std::string mountinfo;
  std::string punto;
  std::size_t cuantos;
  std::optional<std::string> dispositivo = "0:52";  // of the topmost of ours
};

class Montajes : public testing::TestWithParam<FilaMontajes> {};

TEST_P(Montajes, CuentaSoloLosNuestrosEnEsePunto) {
  EXPECT_EQ(montajesEn(GetParam().mountinfo, GetParam().punto, 1000), GetParam().cuantos);
  EXPECT_EQ(dispositivoDe(GetParam().mountinfo, GetParam().punto, 1000), GetParam().dispositivo);
}

INSTANTIATE_TEST_SUITE_P(
    Mountinfo, Montajes,
    testing::Values(
        FilaMontajes{linea("/home/ana/Vemlo-Acme"), "/home/ana/Vemlo-Acme", 1},
        FilaMontajes{linea("/home/ana/Vemlo-Acme", "fuse.vemlo", 1000, "0:40") +
                         linea("/home/ana/Vemlo-Acme"),
                     "/home/ana/Vemlo-Acme", 2},
        FilaMontajes{linea("/home/ana/Vemlo-Acme"), "/home/ana/Vemlo-Acm", 0, std::nullopt},
        FilaMontajes{linea("/home/ana/Vemlo-Acme", "fuse.sshfs"), "/home/ana/Vemlo-Acme", 0,
                     std::nullopt},
        FilaMontajes{linea("/home/ana/Vemlo-Acme", "fuse.vemlo", 1001), "/home/ana/Vemlo-Acme", 0,
                     std::nullopt},
        FilaMontajes{linea("/home/ana/Vemlo-Mi\\040empresa"), "/home/ana/Vemlo-Mi empresa", 1},
        FilaMontajes{linea("/home/ana/Vemlo-A'$(x)\\012;b\\134c"), "/home/ana/Vemlo-A'$(x)\n;b\\c",
                     1},
        FilaMontajes{"garbage\n\n" + linea("/home/ana/Vemlo"), "/home/ana/Vemlo", 1}));

}  // namespace
}  // namespace vemlo::finder::host
