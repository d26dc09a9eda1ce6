// The index, the identifier scheme, items and the error mapping, without a service.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include <nlohmann/json.hpp>

#include "finder/elemento.h"
#include "finder/errores.h"
#include "finder/indice.h"
#include "vemlo/error.h"
#include "vemlo/xdg.h"

namespace vemlo::finder {
namespace {

namespace fs = std::filesystem;

Ficha archivo(std::string id, std::string nombre, std::int64_t tamano = 10) {
  return {std::move(id),
          fp::rootContainer,
          std::move(nombre),
          false,
          tamano,
          "2026-05-01T10:20:30.123Z",
          true};
}

fs::path rutaDe(const std::string& dominio) {
  return datosDeUsuario() / "vemlo-finder/Vemlo" / ("indice-" + dominio + ".json");
}

struct CasoDestino {
  std::string id;
  Destino esperado;
};

class DestinoDe : public testing::TestWithParam<CasoDestino> {};

TEST_P(DestinoDe, DecideEnOrden) {
  EXPECT_EQ(destino(GetParam().id, "R1"), GetParam().esperado);
}

INSTANTIATE_TEST_SUITE_P(Identificadores, DestinoDe,
                         testing::Values(CasoDestino{fp::rootContainer, destinos::Raiz{}},
                                         CasoDestino{fp::trashContainer, destinos::Papelera{}},
                                         CasoDestino{"a:F1", destinos::Fichero{"F1"}},
                                         CasoDestino{"a:", destinos::Fichero{""}},
                                         CasoDestino{"c:R1", destinos::Raiz{}},
                                         CasoDestino{"c:C2", destinos::Carpeta{"C2"}},
                                         CasoDestino{"C:C2", destinos::Carpeta{"C:C2"}},
                                         CasoDestino{"x9", destinos::Carpeta{"x9"}}));

struct CasoError {
  std::exception_ptr fallo;
  fp::Error esperado;
};

class ErrorDeSistema : public testing::TestWithParam<CasoError> {};

TEST_P(ErrorDeSistema, SegunLaTabla) {
  try {
    std::rethrow_exception(errorDeSistema(GetParam().fallo));
  } catch (const fp::Error& e) {
    EXPECT_EQ(e, GetParam().esperado) << e.what();
  }
}

template <class E>
std::exception_ptr ep(E e) {
  return std::make_exception_ptr(std::move(e));
}

INSTANTIATE_TEST_SUITE_P(
    Tabla, ErrorDeSistema,
    testing::Values(
        CasoError{ep(ErrorVemlo::api(401, "noExiste")), fp::Error(fp::notAuthenticated)},
        CasoError{ep(ErrorVemlo::api(403, "sesion")), fp::Error(fp::notAuthenticated)},
        CasoError{ep(ErrorVemlo::api(404, "noExiste")), fp::Error(fp::noSuchItem)},
        CasoError{ep(ErrorVemlo::api(409, "repetido")), fp::Error(fp::filenameCollision)},
        CasoError{ep(ErrorVemlo::api(402, "tope")), fp::Error(fp::insufficientQuota)},
        CasoError{ep(ErrorVemlo::api(402, "sinTarjeta")), fp::Error(fp::insufficientQuota)},
        CasoError{ep(ErrorVemlo::api(402, "pagoFallido")), fp::Error(fp::insufficientQuota)},
        CasoError{ep(ErrorVemlo::api(403, "permiso")), fp::Error(fp::fileWriteNoPermission)},
        CasoError{ep(ErrorVemlo::api(402, "planLleno")), fp::Error(fp::serverUnreachable)},
        CasoError{ep(ErrorVemlo::api(400, "datos")), fp::Error(fp::serverUnreachable)},
        CasoError{ep(ErrorVemlo::red("x")), fp::Error(fp::serverUnreachable)},
        CasoError{ep(ErrorVemlo::servidor("x")), fp::Error(fp::serverUnreachable)},
        CasoError{ep(ErrorVemlo::formato("x")), fp::Error(fp::serverUnreachable)},
        CasoError{ep(ErrorVemlo::cancelado()), fp::Error(fp::userCancelled)},
        CasoError{ep(fp::Error(fp::noSuchItem)), fp::Error(fp::noSuchItem)}));

TEST(ErrorDeSistemaOtros, PasanSinCambio) {
  const auto fallo = ep(std::runtime_error("disco"));
  EXPECT_EQ(errorDeSistema(fallo), fallo);
}

TEST(Indice, PrimerArranque) {
  const Indice indice("org1");
  EXPECT_FALSE(indice.tieneFoto());
  EXPECT_EQ(indice.ancla().bytes, "0");
  EXPECT_FALSE(indice.consultar("a:1"));
  EXPECT_EQ(indice.archivo(), rutaDe("org1"));
}

TEST(Indice, ReemplazarInformaLasDiferenciasOrdenadas) {
  Indice indice("org1");
  indice.anotar({archivo("a:3", "tres"), archivo("a:1", "uno"), archivo("a:2", "dos"),
                 archivo("a:9", "nueve")});
  EXPECT_EQ(indice.generacion(), 0);
  auto fechaNueva = archivo("a:2", "dos");
  fechaNueva.fecha = "2026-06-01T00:00:00.000Z";
  auto soloLectura = archivo("a:3", "tres");
  soloLectura.editable = false;
  const auto cambios = indice.reemplazar({{"a:3", soloLectura},
                                          {"a:1", archivo("a:1", "uno")},
                                          {"a:2", fechaNueva},
                                          {"a:0", archivo("a:0", "cero")}});
  std::vector<std::string> cambiadas;
  for (const auto& f : cambios.cambiadas) cambiadas.push_back(f.id);
  EXPECT_EQ(cambiadas, (std::vector<std::string>{"a:0", "a:2", "a:3"}));
  EXPECT_EQ(cambios.borradas, std::vector<std::string>{"a:9"});
  EXPECT_EQ(indice.ancla().bytes, "1");

  const auto igual = indice.reemplazar(Fichas{{"a:1", archivo("a:1", "uno")}});
  EXPECT_EQ(igual.borradas.size(), 3u);
  EXPECT_TRUE(indice.reemplazar(Fichas{{"a:1", archivo("a:1", "uno")}}).cambiadas.empty());
  EXPECT_EQ(indice.ancla().bytes, "3");
}

TEST(Indice, SobreviveAlReinicioYNoLeeOtroDominio) {
  {
    Indice indice("org1");
    indice.reemplazar({{"a:1", archivo("a:1", "comillas \" y \\ y \x01 y ñ")}});
    indice.anotar({archivo("a:2", "dos")});
    indice.quitar("a:nada");
  }
  const Indice otra("org1");
  EXPECT_TRUE(otra.tieneFoto());
  EXPECT_EQ(otra.generacion(), 1);
  EXPECT_EQ(otra.consultar("a:1"), archivo("a:1", "comillas \" y \\ y \x01 y ñ"));
  EXPECT_EQ(otra.consultar("a:2"), archivo("a:2", "dos"));
  EXPECT_FALSE(Indice("org2").tieneFoto());

  std::ifstream entrada(rutaDe("org1"));
  const auto json = nlohmann::json::parse(entrada);
  EXPECT_EQ(json.at("fichas").at("a:1").at("tamano"), 10);
  EXPECT_EQ(json.size(), 2u);
}

fs::path diarioDe(const std::string& dominio) {
  return fs::path(rutaDe(dominio)).replace_extension(".diario");
}

std::string leido(const fs::path& ruta) {
  std::ifstream entrada(ruta);
  return {std::istreambuf_iterator<char>(entrada), {}};
}

TEST(Indice, LasNotasSeAnadenSinReescribirElArchivo) {
  {
    Indice indice("org1");
    indice.reemplazar({{"a:1", archivo("a:1", "uno")}, {"a:2", archivo("a:2", "dos")}});
    const auto archivoAntes = leido(rutaDe("org1"));
    indice.anotar({archivo("a:3", "tres"), archivo("a:1", "uno", 20)});
    indice.quitar("a:2");
    indice.anotar({archivo("a:1", "uno", 30)});
    EXPECT_EQ(leido(rutaDe("org1")), archivoAntes);
  }
  const Indice otra("org1");
  EXPECT_EQ(otra.consultar("a:1"), archivo("a:1", "uno", 30));
  EXPECT_FALSE(otra.consultar("a:2"));
  EXPECT_EQ(otra.consultar("a:3"), archivo("a:3", "tres"));
  EXPECT_EQ(otra.generacion(), 1);
}

// A journal as a crash or a disk can leave it: what is read of it, and that notes made after
// the next start are read too.
struct CasoDiario {
  std::string nombre;
  std::function<std::string(const std::string&)> estropear;
  bool tieneDos;  // the record noted before the damage
};

class DiarioEstropeado : public testing::TestWithParam<CasoDiario> {};

TEST_P(DiarioEstropeado, LeeLoSanoYSigueAnotando) {
  {
    Indice indice("org1");
    indice.reemplazar({{"a:1", archivo("a:1", "uno")}});
    indice.anotar({archivo("a:2", "dos")});
    indice.anotar({archivo("a:3", "tres")});
  }
  const auto estropeado = GetParam().estropear(leido(diarioDe("org1")));
  std::ofstream(diarioDe("org1"), std::ios::trunc) << estropeado;
  {
    Indice indice("org1");
    EXPECT_EQ(indice.consultar("a:1"), archivo("a:1", "uno"));
    EXPECT_EQ(indice.consultar("a:2").has_value(), GetParam().tieneDos);
    EXPECT_FALSE(indice.consultar("a:3"));
    indice.anotar({archivo("a:4", "cuatro")});
  }
  const Indice otra("org1");
  EXPECT_EQ(otra.consultar("a:2").has_value(), GetParam().tieneDos);
  EXPECT_EQ(otra.consultar("a:4"), archivo("a:4", "cuatro"));
}

std::string sinUltima(const std::string& texto) {
  return texto.substr(0, texto.rfind('\n', texto.size() - 2) + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Formas, DiarioEstropeado,
    testing::Values(
        CasoDiario{"UltimaCortada", [](const std::string& t) { return t.substr(0, t.size() - 5); },
                   true},
        CasoDiario{"BasuraEnMedio",
                   [](const std::string& t) {
                     const auto resto = t.substr(sinUltima(t).size());
                     return sinUltima(t) + "{\"ficha\":{}}\n" + resto;
                   },
                   true},
        CasoDiario{"CerosAlFinal",
                   [](const std::string& t) { return sinUltima(t) + std::string(40, '\0'); }, true},
        CasoDiario{"DeOtraGeneracion",
                   [](const std::string& t) { return "{\"base\":7}" + t.substr(t.find('\n')); },
                   false},
        CasoDiario{"Vacio", [](const std::string&) { return std::string(); }, false}),
    [](const auto& info) { return info.param.nombre; });

TEST(Indice, ElDiarioSeVuelcaAlArchivoCuandoCrece) {
  {
    Indice indice("org1");
    indice.reemplazar({{"a:0", archivo("a:0", "cero")}});
    for (int i = 0; i < 20000; ++i) indice.anotar({archivo("a:1", "uno", i)});
    EXPECT_LT(fs::file_size(diarioDe("org1")), 1u << 20);
    EXPECT_GT(fs::file_size(diarioDe("org1")), 0u);
  }
  const Indice otra("org1");
  EXPECT_EQ(otra.consultar("a:1"), archivo("a:1", "uno", 19999));
  EXPECT_EQ(otra.consultar("a:0"), archivo("a:0", "cero"));
}

TEST(Indice, SinCambiosSoloGuardaLaGeneracion) {
  const auto enElArchivo = [] {
    std::ifstream entrada(rutaDe("org1"));
    return nlohmann::json::parse(entrada).at("generacion").get<int>();
  };
  {
    Indice indice("org1");
    indice.reemplazar({{"a:1", archivo("a:1", "uno")}});
    indice.reemplazar({{"a:1", archivo("a:1", "uno")}});
    indice.anotar({archivo("a:1", "uno")});
    indice.quitar("a:2");
    EXPECT_EQ(enElArchivo(), 1);
  }
  Indice otra("org1");
  EXPECT_EQ(otra.generacion(), 2);
  EXPECT_EQ(otra.consultar("a:1"), archivo("a:1", "uno"));
  otra.reemplazar({{"a:1", archivo("a:1", "otro")}});
  EXPECT_EQ(enElArchivo(), 3);
}

class ArchivoRoto : public testing::TestWithParam<std::string> {};

TEST_P(ArchivoRoto, DaUnIndiceVacio) {
  {
    Indice indice("org1");
    indice.reemplazar({{"a:1", archivo("a:1", "uno")}});
  }
  std::string texto;
  {
    std::ifstream entrada(rutaDe("org1"));
    texto.assign(std::istreambuf_iterator<char>(entrada), {});
  }
  const auto roto = GetParam() == "corto" ? texto.substr(0, texto.size() / 2) : GetParam();
  std::ofstream(rutaDe("org1"), std::ios::trunc) << roto;
  const Indice indice("org1");
  EXPECT_FALSE(indice.tieneFoto());
  EXPECT_EQ(indice.ancla().bytes, "0");
  EXPECT_FALSE(indice.consultar("a:1"));
}

INSTANTIATE_TEST_SUITE_P(
    Formas, ArchivoRoto,
    testing::Values("corto", R"({"fichas":{}})", R"({"generacion":1,"fichas":[]})",
                    R"({"generacion":1,"fichas":{"a:1":{"id":"a:1","padre":"x"}}})"));

TEST(Indice, UnDominioQueNoEsNombreDeArchivoNoEscribe) {
  Indice indice("../fuera");
  indice.reemplazar({{"a:1", archivo("a:1", "uno")}});
  EXPECT_FALSE(indice.archivo());
  EXPECT_TRUE(indice.tieneFoto());
  EXPECT_FALSE(fs::exists(datosDeUsuario() / "vemlo-finder/indice-.json"));
  EXPECT_FALSE(fs::exists(datosDeUsuario() / "vemlo-finder/Vemlo/indice-..json"));
}

TEST(Indice, OrdenCanonico) {
  EXPECT_TRUE(antesQue("a:1", "a:2"));
  EXPECT_FALSE(antesQue("a:e\u0301", "a:\u00e9"));
  EXPECT_FALSE(antesQue("a:\u00e9", "a:e\u0301"));
  EXPECT_TRUE(antesQue("a:z", "a:\u00e9"));
}

struct CasoElemento {
  Ficha ficha;
  std::string tipo;
  std::optional<std::int64_t> tamano;
  std::uint32_t capacidades;
  bool conFecha;
};

class ElementoDe : public testing::TestWithParam<CasoElemento> {};

TEST_P(ElementoDe, Propiedades) {
  const Elemento e(GetParam().ficha);
  EXPECT_EQ(e.contentType(), GetParam().tipo);
  EXPECT_EQ(e.documentSize(), GetParam().tamano);
  EXPECT_EQ(e.capabilities(), GetParam().capacidades);
  EXPECT_EQ(e.creationDate().has_value(), GetParam().conFecha);
  EXPECT_EQ(e.contentModificationDate(), e.creationDate());
  const auto& f = GetParam().ficha;
  EXPECT_EQ(e.itemVersion().contentVersion, f.fecha + "|" + std::to_string(f.tamano));
  EXPECT_EQ(e.itemVersion().metadataVersion,
            f.nombre + "|" + f.padre + (f.editable ? "|true" : "|false"));
}

INSTANTIATE_TEST_SUITE_P(
    Fichas, ElementoDe,
    testing::Values(
        CasoElemento{archivo("a:1", "playa.jpg", 5), "image/jpeg", 5, 63, true},
        CasoElemento{archivo("a:2", "LEEME", 7), fp::dataType, 7, 63, true},
        CasoElemento{{"a:3", "c:9", "x.qqzz", false, 0, "", false}, fp::dataType, 0, 1, false},
        CasoElemento{
            {"c:4", "c:9", "a.jpg", true, 0, "", true}, fp::folderType, std::nullopt, 63, false},
        CasoElemento{fichaRaiz(true), fp::folderType, std::nullopt, 3, false},
        CasoElemento{fichaRaiz(false), fp::folderType, std::nullopt, 1, false},
        CasoElemento{fichaPapelera(), fp::folderType, std::nullopt, 63, false}));

TEST(FichasDe, CarpetasLuegoArchivos) {
  VistaCarpeta vista{"C1",
                     "org1",
                     "lector",
                     {},
                     {{"R", "raíz", std::nullopt}, {"C2", "b", "f"}},
                     {{"F1", "x.txt", 3, "text/plain", "g", true, "C1"}}};
  const std::vector<Ficha> esperadas{{fp::rootContainer, "c:C1", "raíz", true, 0, "", false},
                                     {"c:C2", "c:C1", "b", true, 0, "f", false},
                                     {"a:F1", "c:C1", "x.txt", false, 3, "g", false}};
  EXPECT_EQ(fichasDe(vista, "R"), esperadas);
  vista.id = "R";
  vista.rol = "";
  EXPECT_EQ(fichasDe(vista, "R")[1].padre, fp::rootContainer);
  EXPECT_TRUE(fichasDe(vista, "R")[1].editable);
}

}  // namespace
}  // namespace vemlo::finder
