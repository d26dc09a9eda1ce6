// The host's item table: what it leaves out, what it keeps, and inode numbers that last.
#include <gtest/gtest.h>

#include <functional>

#include "arbol.h"

namespace vemlo::finder::host {
namespace {

fp::ItemPtr item(std::string id, std::string padre, std::string nombre, bool carpeta = false) {
  auto i = std::make_shared<fp::PlainItem>();
  i->identifier = std::move(id);
  i->parent = std::move(padre);
  i->name = std::move(nombre);
  i->type = carpeta ? fp::folderType : fp::dataType;
  i->size = 5;
  return i;
}

std::vector<std::string> nombres(const Arbol& arbol, fuse_ino_t carpeta) {
  std::vector<std::string> lista;
  for (const auto& n : arbol.hijos(carpeta)) lista.push_back(n.nombre);
  return lista;
}

class NombreImposible : public testing::TestWithParam<std::string> {};

TEST_P(NombreImposible, QuedaFuera) {
  Arbol arbol;
  EXPECT_FALSE(arbol.aplicar(*item("a:1", fp::rootContainer, GetParam())));
  EXPECT_TRUE(arbol.hijos(FUSE_ROOT_ID).empty());
  EXPECT_FALSE(arbol.hijo(FUSE_ROOT_ID, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Nombres, NombreImposible,
                         testing::Values("", ".", "..", "a/b", "../x", std::string("a\0b", 3),
                                         std::string(256, 'n')));

struct FilaConflicto {
  std::string nombre;
  int n;
  std::string esperado;
};

class Conflicto : public testing::TestWithParam<FilaConflicto> {};

TEST_P(Conflicto, GuardaLaExtensionYCabe) {
  setenv("TZ", "UTC", 1);
  tzset();
  const auto cuando = std::chrono::sys_days{std::chrono::December / 7 / 2026} +
                      std::chrono::hours(10) + std::chrono::minutes(15);
  const auto nombre = nombreEnConflicto(GetParam().nombre, cuando, GetParam().n);
  EXPECT_EQ(nombre, GetParam().esperado);
  EXPECT_TRUE(nombreValido(nombre));
}

INSTANTIATE_TEST_SUITE_P(
    Nombres, Conflicto,
    testing::Values(FilaConflicto{"Ocupada", 1, "Ocupada (conflict 2026-12-07 10.15)"},
                    FilaConflicto{"informe.pdf", 1, "informe (conflict 2026-12-07 10.15).pdf"},
                    FilaConflicto{"a.tar.gz", 3, "a.tar (conflict 2026-12-07 10.15 3).gz"},
                    FilaConflicto{".bashrc", 1, ".bashrc (conflict 2026-12-07 10.15)"},
                    FilaConflicto{std::string(250, 'n') + ".txt", 1,
                                  std::string(223, 'n') + " (conflict 2026-12-07 10.15).txt"},
                    FilaConflicto{[] {
                                    std::string s;
                                    for (int i = 0; i < 120; ++i) s += "ñ";
                                    return s;
                                  }(),
                                  1,
                                  [] {
                                    std::string s;
                                    for (int i = 0; i < 113; ++i) s += "ñ";
                                    return s + " (conflict 2026-12-07 10.15)";
                                  }()}));

TEST(Arbol, UnNombreDe255BytesCabe) {
  Arbol arbol;
  EXPECT_TRUE(arbol.aplicar(*item("a:1", fp::rootContainer, std::string(255, 'n'))));
}

TEST(Arbol, ListadosQueCambian) {
  Arbol arbol;
  const auto carpeta = *arbol.aplicar(*item("c:1", fp::rootContainer, "Fotos", true));
  const auto viejo = *arbol.aplicar(*item("a:2", "c:1", "vieja.jpg"));
  const auto local = arbol.crearLocal("c:1", "nueva.jpg", "k1");
  const auto idos = arbol.fijarHijos("c:1", {item("a:3", "c:1", "otra.jpg")});
  ASSERT_EQ(idos.size(), 1u);
  EXPECT_EQ(idos[0].first->id, "a:2");
  EXPECT_FALSE(idos[0].second);
  EXPECT_EQ(nombres(arbol, carpeta.ino), (std::vector<std::string>{"nueva.jpg", "otra.jpg"}));
  EXPECT_TRUE(arbol.fresco(carpeta.ino, std::chrono::seconds(45)));

  // An item that comes back has the number it had; an uploaded file keeps its number.
  EXPECT_EQ(arbol.aplicar(*item("a:2", "c:1", "vieja.jpg"))->ino, viejo.ino);
  EXPECT_EQ(arbol.cambiarId(local.id, "a:4")->ino, local.ino);
  EXPECT_EQ(arbol.porId("a:4")->nombre, "nueva.jpg");
}

TEST(Arbol, OcuparElLugarDeOtro) {
  Arbol arbol;
  const auto destino = *arbol.aplicar(*item("a:1", fp::rootContainer, "informe.txt"));
  const auto temporal = arbol.crearLocal(fp::rootContainer, ".informe.swp", "k2");
  const auto n = *arbol.ocupar(temporal.id, destino.id);
  EXPECT_EQ(n.ino, temporal.ino);
  EXPECT_EQ(n.id, "a:1");
  EXPECT_EQ(n.nombre, "informe.txt");
  EXPECT_EQ(n.clave, "k2");
  EXPECT_EQ(arbol.hijo(FUSE_ROOT_ID, "informe.txt")->ino, temporal.ino);
  EXPECT_FALSE(arbol.hijo(FUSE_ROOT_ID, ".informe.swp"));
  EXPECT_EQ(arbol.porId("a:1")->ino, temporal.ino);
}

// A report of the service that began before a change made here does not undo it: the table
// keeps the newer state, and nodes nobody touched meanwhile take the report's.
struct FilaInforme {
  std::string nombre;
  std::function<void(Arbol&)> cambioAqui;
  std::vector<std::string> quedan;  // the root's names once the report is applied
};

class InformeViejo : public testing::TestWithParam<FilaInforme> {};

TEST_P(InformeViejo, NoDeshaceLoHechoAqui) {
  Arbol arbol;
  for (const auto& [id, nombre] : {std::pair{"a:1", "uno"}, {"a:2", "dos"}, {"a:3", "tres"}})
    arbol.aplicar(*item(id, fp::rootContainer, nombre));
  const auto desde = arbol.reloj();
  GetParam().cambioAqui(arbol);
  // The report: the first two as the service had them before, the third one gone.
  arbol.aplicarDesde(*item("a:1", fp::rootContainer, "uno"), desde);
  arbol.aplicarDesde(*item("a:2", fp::rootContainer, "dos"), desde);
  arbol.quitarDesde("a:3", desde);
  EXPECT_EQ(nombres(arbol, FUSE_ROOT_ID), GetParam().quedan);
}

INSTANTIATE_TEST_SUITE_P(
    Cambios, InformeViejo,
    testing::Values(FilaInforme{"Nada", [](Arbol&) {}, {"dos", "uno"}},
                    FilaInforme{"Borrado", [](Arbol& a) { a.quitar("a:1"); }, {"dos"}},
                    FilaInforme{"Renombrado",
                                [](Arbol& a) { a.mover("a:1", fp::rootContainer, "otro"); },
                                {"dos", "otro"}},
                    FilaInforme{"GuardadoAqui",
                                [](Arbol& a) { a.fijarClave("a:3", "k3"); },
                                {"dos", "tres", "uno"}},
                    FilaInforme{"EncimaDeOtro", [](Arbol& a) { a.ocupar("a:1", "a:2"); }, {"dos"}}),
    [](const auto& info) { return info.param.nombre; });

}  // namespace
}  // namespace vemlo::finder::host
