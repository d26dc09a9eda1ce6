// Item requests against the reference service: lookup, contents, create, modify, delete.
#include <algorithm>
#include <fstream>
#include <regex>
#include <vector>

#include "comun.h"
#include "vemlo/cliente.h"

namespace vemlo::finder::pruebas {
namespace {

namespace fs = std::filesystem;

fs::path local(const std::string& nombre, const std::string& bytes) {
  const auto ruta = fs::path(std::getenv("HOME")) / nombre;
  std::ofstream(ruta, std::ios::binary) << bytes;
  return ruta;
}

std::string leer(const fs::path& ruta) {
  std::ifstream entrada(ruta, std::ios::binary);
  return {std::istreambuf_iterator<char>(entrada), {}};
}

class Operaciones : public ConServicio {
 protected:
  Operaciones() { enumerar(*ext, fp::workingSet); }
  fp::PlainItem comoEsta(const std::string& id) {
    const auto f = buscar(*ext, id).ficha();
    return plantilla(f.id, f.padre, f.nombre, f.esCarpeta);
  }
  std::unique_ptr<ExtensionVemlo> ext = extension(acme);
  const std::string& raiz = acme.carpetaRaizId;
};

TEST_F(Operaciones, CrearUnaCarpetaQueYaExisteLaAdopta) {
  const auto existente = crear(*ext, plantilla("", fp::rootContainer, "Fotos", true));
  ASSERT_FALSE(existente.error);
  EXPECT_EQ(existente.item->itemIdentifier(), idEn(raiz, "Fotos"));

  const auto nueva = crear(*ext, plantilla("", idEn(raiz, "Fotos"), "Viaje", true));
  ASSERT_FALSE(nueva.error);
  EXPECT_EQ(nueva.ficha().padre, idEn(raiz, "Fotos"));
  EXPECT_EQ(ext->indice().consultar(nueva.item->itemIdentifier()), nueva.ficha());
}

TEST_F(Operaciones, UnArchivoDeIdaYVueltaPorLaPapelera) {
  const std::string bytes(100'000, 'x');
  const auto creado = crear(*ext, plantilla("", fp::rootContainer, "informe.bin", false),
                            local("informe.bin", bytes));
  ASSERT_FALSE(creado.error);
  const auto id = creado.item->itemIdentifier();
  EXPECT_EQ(creado.ficha().tamano, 100'000);
  EXPECT_EQ(id, idEn(raiz, "informe.bin"));

  auto item = comoEsta(id);
  item.name = "informe-final.bin";
  EXPECT_EQ(modificar(*ext, item, fp::filename).ficha().nombre, "informe-final.bin");

  const auto nuevo = modificar(*ext, item, fp::contents, local("otro", "cincuenta"));
  EXPECT_EQ(nuevo.item->itemIdentifier(), id);
  EXPECT_EQ(nuevo.ficha().tamano, 9);

  pedidos();
  item.parent = fp::trashContainer;
  const auto tirado = modificar(*ext, item, fp::parentItemIdentifier);
  EXPECT_EQ(tirado.ficha().padre, fp::trashContainer);
  EXPECT_EQ(pedidos(), std::vector<std::string>{"POST /v1/archivos/" + id.substr(2) + "/papelera"});

  item.parent = idEn(raiz, "Proyectos");
  const auto devuelto = modificar(*ext, item, fp::parentItemIdentifier);
  ASSERT_FALSE(devuelto.error);
  EXPECT_EQ(devuelto.ficha().padre, item.parent);
  EXPECT_EQ(leer(*traer(*ext, id).archivo), "cincuenta");

  item.parent = fp::trashContainer;
  modificar(*ext, item, fp::parentItemIdentifier);
  pedidos();
  EXPECT_FALSE(borrar(*ext, id));
  EXPECT_TRUE(pedidos().empty());
  EXPECT_FALSE(ext->indice().consultar(id));
}

TEST_F(Operaciones, TraerElContenidoLoDejaBajoUnUuid) {
  const auto playa = idEn(idEn(raiz, "Fotos").substr(2), "playa.jpg");
  auto progreso = ext->fetchContents(playa, std::nullopt, [](auto, auto, auto) {});
  const auto traido = traer(*ext, playa);
  ASSERT_FALSE(traido.error);
  const auto carpeta = fp::temporaryDirectory(ext->dominio());
  EXPECT_EQ(traido.archivo->parent_path(), carpeta);
  EXPECT_TRUE(std::regex_match(traido.archivo->filename().string(),
                               std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-"
                                          "[0-9a-f]{12}")));
  EXPECT_EQ(leer(*traido.archivo), descargar(demo, playa.substr(2)));
  EXPECT_EQ(traido.ficha(), ext->indice().consultar(playa));
  EXPECT_EQ(progreso->totalUnitCount(), 100);
}

TEST_F(Operaciones, TraerEnUnArchivoDiceLoQueVaLlegando) {
  const auto playa = idEn(idEn(raiz, "Fotos").substr(2), "playa.jpg");
  const auto archivo = fp::temporaryDirectory(ext->dominio()) / "elegido";
  std::vector<std::int64_t> llegados;
  const auto traido = esperarA([&](auto& p) {
    ext->fetchContentsInto(
        playa, archivo, [&](std::int64_t bytes) { llegados.push_back(bytes); },
        [&p](auto ruta, fp::ItemPtr item, std::exception_ptr e) {
          p.set_value({std::move(item), e, std::move(ruta)});
        });
  });
  ASSERT_FALSE(traido.error);
  EXPECT_EQ(traido.archivo, archivo);
  const auto bytes = descargar(demo, playa.substr(2));
  EXPECT_EQ(leer(archivo), bytes);
  ASSERT_FALSE(llegados.empty());
  EXPECT_TRUE(std::is_sorted(llegados.begin(), llegados.end()));
  EXPECT_EQ(llegados.back(), static_cast<std::int64_t>(bytes.size()));
}

TEST_F(Operaciones, BuscarUnaCarpetaQueElIndiceNoTiene) {
  std::filesystem::remove(*ext->indice().archivo());
  auto nuevo = extension(acme);
  const auto informes = idEn(raiz, "Informes");
  const auto dosMil = idEn(informes.substr(2), "2026");
  const auto hallada = buscar(*nuevo, dosMil);
  ASSERT_FALSE(hallada.error);
  EXPECT_EQ(hallada.ficha(), (Ficha{dosMil, informes, "2026", true, 0, "", true}));
  EXPECT_EQ(comoError(buscar(*nuevo, "c:" + raiz).error), fp::Error(fp::noSuchItem));
  EXPECT_EQ(comoError(buscar(*nuevo, raiz).error), fp::Error(fp::noSuchItem));
}

class Rechazos;

struct CasoRechazo {
  std::string nombre;
  std::function<Respuesta(Rechazos&)> hacer;
  fp::Error esperado;
};

class Rechazos : public Operaciones, public testing::WithParamInterface<CasoRechazo> {
 public:
  ExtensionVemlo& e() { return *ext; }
  std::string en(const std::string& nombre) { return idEn(raiz, nombre); }
};

TEST_P(Rechazos, ConSuError) {
  const auto r = GetParam().hacer(*this);
  EXPECT_FALSE(r.item);
  EXPECT_EQ(comoError(r.error), GetParam().esperado);
}

fs::path enlace() {
  const auto ruta = fs::path(std::getenv("HOME")) / "enlace";
  fs::create_symlink("/etc/hostname", ruta);
  return ruta;
}

INSTANTIATE_TEST_SUITE_P(
    Casos, Rechazos,
    testing::Values(
        CasoRechazo{
            "CrearEnLaPapelera",
            [](Rechazos& r) { return crear(r.e(), plantilla("", fp::trashContainer, "x", true)); },
            fp::Error(fp::noSuchItem)},
        CasoRechazo{
            "CrearUnArchivoSinContenido",
            [](Rechazos& r) { return crear(r.e(), plantilla("", fp::rootContainer, "x", false)); },
            fp::Error(fp::featureUnsupported)},
        CasoRechazo{"CrearUnEnlace",
                    [](Rechazos& r) {
                      return crear(r.e(), plantilla("", fp::rootContainer, "x", false), enlace());
                    },
                    fp::Error(fp::featureUnsupported)},
        CasoRechazo{"SubirConElNombreDeUnaCarpeta",
                    [](Rechazos& r) {
                      return crear(r.e(), plantilla("", fp::rootContainer, "Fotos", false),
                                   local("f", "x"));
                    },
                    fp::Error(fp::filenameCollision)},
        CasoRechazo{"TraerUnaCarpeta", [](Rechazos& r) { return traer(r.e(), r.en("Fotos")); },
                    fp::Error(fp::noSuchItem)},
        CasoRechazo{"ModificarLaPapelera",
                    [](Rechazos& r) {
                      return modificar(r.e(),
                                       plantilla(fp::trashContainer, fp::trashContainer, "T", true),
                                       fp::filename);
                    },
                    fp::Error(fp::noSuchItem)},
        CasoRechazo{"RenombrarSobreOtro",
                    [](Rechazos& r) {
                      return modificar(
                          r.e(), plantilla(r.en("Proyectos"), fp::rootContainer, "Fotos", true),
                          fp::filename);
                    },
                    fp::Error(fp::filenameCollision)}),
    [](const auto& info) { return info.param.nombre; });

TEST_F(Operaciones, BorrarLoQueYaNoEstaOLaPapeleraNoFalla) {
  const auto leeme = idEn(raiz, "Léeme.txt");
  Vemlo(*cuenta.token).aPapelera(Clase::archivo, leeme.substr(2));
  EXPECT_FALSE(borrar(*ext, leeme));
  EXPECT_FALSE(ext->indice().consultar(leeme));
  pedidos();
  EXPECT_FALSE(borrar(*ext, fp::trashContainer));
  EXPECT_TRUE(pedidos().empty());
  EXPECT_EQ(comoError(borrar(*ext, fp::rootContainer)), fp::Error(fp::fileWriteNoPermission));
}

}  // namespace
}  // namespace vemlo::finder::pruebas
