// What the extension tells from its index alone, for a host that cannot reach the service:
// the items of a container and the root's rights, as an earlier run left them on disk.
#include <gtest/gtest.h>

#include <algorithm>

#include "finder/extension.h"

namespace vemlo::finder {
namespace {

Ficha ficha(std::string id, std::string padre, std::string nombre, bool esCarpeta, bool editable) {
  return {std::move(id),     std::move(padre),           std::move(nombre), esCarpeta,
          esCarpeta ? 0 : 5, "2026-05-01T10:20:30.123Z", editable};
}

std::vector<std::string> nombres(const std::vector<fp::ItemPtr>& items) {
  std::vector<std::string> lista;
  for (const auto& item : items) lista.push_back(item->filename());
  std::ranges::sort(lista);
  return lista;
}

// Written by one extension, read by the next one of the same domain (the next start).
void dejarIndice(const std::string& dominio, bool editable) {
  ExtensionVemlo antes(fp::Domain{dominio, "Empresa"});
  antes.indice().anotar({ficha("c:f", fp::rootContainer, "Fotos", true, editable),
                         ficha("a:1", fp::rootContainer, "uno.txt", false, editable),
                         ficha("a:2", "c:f", "playa.jpg", false, editable)});
}

TEST(Conocidos, LosHijosDeCadaContenedorDesdeElIndice) {
  dejarIndice("org-conocidos", true);
  const ExtensionVemlo ext(fp::Domain{"org-conocidos", "Empresa"});
  EXPECT_EQ(nombres(ext.conocidos(fp::rootContainer)),
            (std::vector<std::string>{"Fotos", "uno.txt"}));
  const auto fotos = ext.conocidos("c:f");
  ASSERT_EQ(fotos.size(), 1u);
  EXPECT_EQ(fotos[0]->itemIdentifier(), "a:2");
  EXPECT_EQ(fotos[0]->parentItemIdentifier(), "c:f");
  EXPECT_EQ(fotos[0]->documentSize(), 5);
  EXPECT_TRUE(ext.conocidos("c:otra").empty());
  EXPECT_TRUE(ext.conocidos(fp::trashContainer).empty());
  EXPECT_TRUE(ext.conocidos(fp::workingSet).empty());
}

struct CasoRaiz {
  bool editable;
  std::uint32_t capacidades;
};

class RaizConocida : public testing::TestWithParam<CasoRaiz> {};

TEST_P(RaizConocida, TieneLosDerechosDeSusHijos) {
  const auto dominio = std::string("org-raiz-") + (GetParam().editable ? "e" : "l");
  dejarIndice(dominio, GetParam().editable);
  const auto raiz = ExtensionVemlo(fp::Domain{dominio, "Empresa"}).raizConocida();
  ASSERT_TRUE(raiz);
  EXPECT_EQ(raiz->itemIdentifier(), fp::rootContainer);
  EXPECT_EQ(raiz->capabilities(), GetParam().capacidades);
}

INSTANTIATE_TEST_SUITE_P(Indice, RaizConocida,
                         testing::Values(CasoRaiz{true, fp::reading | fp::writing},
                                         CasoRaiz{false, fp::reading}));

TEST(Conocidos, SinIndiceNoSeSabeNadaDeLaRaiz) {
  const ExtensionVemlo ext(fp::Domain{"org-vacia", "Empresa"});
  EXPECT_FALSE(ext.raizConocida());
  EXPECT_TRUE(ext.conocidos(fp::rootContainer).empty());
}

}  // namespace
}  // namespace vemlo::finder
