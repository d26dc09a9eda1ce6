// Which item a path names in the host's table: only plain paths at or under a mount point,
// walked name by name through folders the table knows.
#include <gtest/gtest.h>

#include "ubicacion.h"

namespace vemlo::finder::host {
namespace {

fp::ItemPtr item(std::string id, std::string padre, std::string nombre, bool carpeta) {
  auto i = std::make_shared<fp::PlainItem>();
  i->identifier = std::move(id);
  i->parent = std::move(padre);
  i->name = std::move(nombre);
  i->type = carpeta ? fp::folderType : fp::dataType;
  return i;
}

struct FilaRuta {
  std::string ruta;
  std::optional<std::string> id;  // none: refused or unknown
};

class Ubicacion : public testing::TestWithParam<FilaRuta> {
 protected:
  void SetUp() override {
    arbol.aplicar(*item("c:1", fp::rootContainer, "Informes", true));
    arbol.aplicar(*item("c:2", "c:1", "2026", true));
    arbol.aplicar(*item("a:1", "c:2", "q1 final.pdf", false));
    arbol.aplicar(*item("a:2", fp::rootContainer, "Léeme.txt", false));
  }
  Arbol arbol;
};

TEST_P(Ubicacion, DaElElementoONada) {
  const auto nombres = nombresBajo("/home/ana/Vemlo-Acme", GetParam().ruta);
  const auto nodo = nombres ? nodoPorNombres(arbol, *nombres) : std::nullopt;
  EXPECT_EQ(nodo ? std::optional(nodo->id) : std::nullopt, GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(
    Rutas, Ubicacion,
    testing::Values(FilaRuta{"/home/ana/Vemlo-Acme", fp::rootContainer},
                    FilaRuta{"/home/ana/Vemlo-Acme/", fp::rootContainer},
                    FilaRuta{"/home/ana/Vemlo-Acme/Léeme.txt", "a:2"},
                    FilaRuta{"/home/ana/Vemlo-Acme/Informes", "c:1"},
                    FilaRuta{"/home/ana/Vemlo-Acme/Informes/2026/q1 final.pdf", "a:1"},
                    FilaRuta{"/home/ana/Vemlo-Acme/Informes/2026/q1 final.pdf/", "a:1"},
                    // Unknown names, and a file taken for a folder.
                    FilaRuta{"/home/ana/Vemlo-Acme/Informes/2025", std::nullopt},
                    FilaRuta{"/home/ana/Vemlo-Acme/informes", std::nullopt},
                    FilaRuta{"/home/ana/Vemlo-Acme/Léeme.txt/x", std::nullopt},
                    // Outside the mount, also by a shared prefix or above it.
                    FilaRuta{"/home/ana/Vemlo-Acme2/Léeme.txt", std::nullopt},
                    FilaRuta{"/home/ana", std::nullopt}, FilaRuta{"/", std::nullopt},
                    // Not plain: refused even where resolving would land inside.
                    FilaRuta{"/home/ana/Vemlo-Acme/Informes/../Léeme.txt", std::nullopt},
                    FilaRuta{"/home/ana/Vemlo-Acme/./Léeme.txt", std::nullopt},
                    FilaRuta{"/home/ana/Vemlo-Acme//Léeme.txt", std::nullopt},
                    FilaRuta{"/home/ana/x/../Vemlo-Acme/Léeme.txt", std::nullopt},
                    FilaRuta{"home/ana/Vemlo-Acme/Léeme.txt", std::nullopt},
                    FilaRuta{"", std::nullopt},
                    FilaRuta{std::string("/home/ana/Vemlo-Acme/Léeme.txt\0x", 33), std::nullopt}));

}  // namespace
}  // namespace vemlo::finder::host
