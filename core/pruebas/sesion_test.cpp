// The session store for real: through gnome-keyring's Secret Service in a private D-Bus
// session (VEMLO_PRUEBA_LLAVERO set), or through the fallback file without a session bus.
// Tokens are compared, never printed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "comun.h"
#include "vemlo/archivo.h"
#include "vemlo/sesion.h"

namespace vemlo {
namespace {

namespace fs = std::filesystem;

bool conLlavero() {
  return std::getenv("VEMLO_PRUEBA_LLAVERO") != nullptr;
}

fs::path archivoSesion() {
  return SesionGuardada::contenedor() / "sesion";
}

void escribir(const fs::path& ruta, std::string_view bytes) {
  fs::create_directories(ruta.parent_path());
  std::ofstream(ruta, std::ios::binary) << bytes;
}

// What another process of the user reads: the token, or nothing.
std::optional<std::string> leidoPorOtroProceso() {
  FILE* hijo = popen(VEMLO_LEER_SESION, "r");
  std::string leido;
  char bloque[256];
  for (std::size_t n; (n = std::fread(bloque, 1, sizeof bloque, hijo)) > 0;)
    leido.append(bloque, n);
  const int estado = pclose(hijo);
  if (WIFEXITED(estado) && WEXITSTATUS(estado) == 0) return leido;
  return std::nullopt;
}

class GuardarLeerYBorrar : public testing::TestWithParam<std::string> {};

TEST_P(GuardarLeerYBorrar, EnEsteYEnOtroProceso) {
  const auto& token = GetParam();
  SesionGuardada::guardar(token);
  EXPECT_TRUE(SesionGuardada::leer() == token);
  EXPECT_TRUE(leidoPorOtroProceso() == token);
  if (conLlavero()) {
    EXPECT_FALSE(fs::exists(archivoSesion()));
  } else {
    EXPECT_EQ(fs::status(archivoSesion()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(SesionGuardada::contenedor()).permissions(), fs::perms::owner_all);
  }
  SesionGuardada::borrar();
  EXPECT_FALSE(SesionGuardada::leer());
  EXPECT_FALSE(leidoPorOtroProceso());
}

// An empty token comes back as an empty text, not as nothing.
INSTANTIATE_TEST_SUITE_P(SesionGuardada, GuardarLeerYBorrar, testing::Values("tok-7f3a-ñ", ""),
                         [](const auto& info) { return info.param.empty() ? "Vacio" : "Token"; });

TEST(SesionGuardada, BorrarQuitaTambienUnArchivoAnterior) {
  escribir(archivoSesion(), "viejo");
  if (conLlavero()) {
    SesionGuardada::guardar("nuevo");
    EXPECT_FALSE(fs::exists(archivoSesion()));
    EXPECT_TRUE(SesionGuardada::leer() == std::string("nuevo"));
    escribir(archivoSesion(), "viejo");
  }
  SesionGuardada::borrar();
  EXPECT_FALSE(fs::exists(archivoSesion()));
  EXPECT_FALSE(SesionGuardada::leer());
}

TEST(SesionGuardada, SinNadaGuardadoNoHayCliente) {
  EXPECT_EQ(SesionGuardada::clienteGuardado(), nullptr);
  SesionGuardada::guardar("tok-cliente");
  const auto cliente = SesionGuardada::clienteGuardado();
  ASSERT_NE(cliente, nullptr);
  EXPECT_TRUE(cliente->token() == std::string("tok-cliente"));
  EXPECT_EQ(cliente->base(), baseInicial());
}

struct FilaArchivoHostil {
  std::string nombre;
  std::function<void(const fs::path& sesion, const fs::path& fuera)> plantar;
};

class ArchivoHostil : public testing::TestWithParam<FilaArchivoHostil> {};

// Whatever sits at "sesion", nothing is read through it and `guardar` replaces it without
// touching anything outside the container.
TEST_P(ArchivoHostil, NoSeLeeYGuardarLoReemplaza) {
  const auto sesion = archivoSesion();
  const auto fuera = pruebas::casa() / "ajeno";
  escribir(fuera, "tok-ajeno");
  fs::create_directories(sesion.parent_path());
  GetParam().plantar(sesion, fuera);

  EXPECT_FALSE(SesionGuardada::leer());
  SesionGuardada::guardar("tok-propio");
  EXPECT_TRUE(SesionGuardada::leer() == std::string("tok-propio"));
  EXPECT_EQ(leerTodo(fuera), "tok-ajeno");
  if (!conLlavero()) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(sesion)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    SesionGuardada, ArchivoHostil,
    testing::Values(
        FilaArchivoHostil{"EnlaceSimbolico",
                          [](const fs::path& s, const fs::path& f) { fs::create_symlink(f, s); }},
        FilaArchivoHostil{"Carpeta", [](const fs::path& s,
                                        const fs::path&) { fs::create_directories(s / "dentro"); }},
        FilaArchivoHostil{"Fifo",
                          [](const fs::path& s, const fs::path&) { mkfifo(s.c_str(), 0600); }},
        FilaArchivoHostil{"NoEsUtf8",
                          [](const fs::path& s, const fs::path&) { escribir(s, "tok-\xff\xfe"); }}),
    pruebas::porNombre);

}  // namespace
}  // namespace vemlo
