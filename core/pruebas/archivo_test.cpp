// Files replaced whole: what each durability syncs and in which order (watched with strace),
// and what a replacement leaves behind when it succeeds, when it fails and when a link is in
// the way.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "comun.h"
#include "vemlo/archivo.h"

namespace vemlo {
namespace {

namespace fs = std::filesystem;

fs::path carpetaNueva(const std::string& nombre) {
  const auto carpeta = pruebas::casa() / nombre;
  fs::create_directories(carpeta);
  return carpeta;
}

// The file-system calls that make a replacement durable, in order, for the whole run.
std::vector<std::string> llamadasDe(const std::string& durabilidad, const fs::path& ruta) {
  const auto registro = ruta.parent_path() / "strace.log";
  const std::string traza = "trace=fsync,fdatasync,rename,renameat,renameat2";
  const std::vector<std::string> orden{"strace",    "-f",  "-qq",  "-e",     "signal=none",
                                       "-e",        traza, "-o",   registro, VEMLO_REEMPLAZAR,
                                       durabilidad, ruta,  "bytes"};
  std::vector<char*> argv;
  for (const auto& a : orden) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // LeakSanitizer cannot run under ptrace; the helper's leaks are not what is watched here.
  setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "strace", nullptr, nullptr, argv.data(), environ) != 0)
    return {"sin strace"};
  int estado = 0;
  waitpid(pid, &estado, 0);
  if (!WIFEXITED(estado) || WEXITSTATUS(estado) != 0) return {"falló"};
  std::vector<std::string> llamadas;
  std::ifstream texto(registro);
  for (std::string linea; std::getline(texto, linea);) {
    std::istringstream partes(linea);
    std::string pid, llamada;
    partes >> pid >> llamada;
    llamadas.push_back(llamada.substr(0, llamada.find('(')));
  }
  return llamadas;
}

struct FilaDurabilidad {
  std::string nombre;  // the durability
  std::vector<std::string> llamadas;
};

class Durabilidades : public testing::TestWithParam<FilaDurabilidad> {};

TEST_P(Durabilidades, SincronizaLoQuePromete) {
  const auto ruta = carpetaNueva(GetParam().nombre) / "registro.json";
  std::ofstream(ruta) << "viejo";
  const auto llamadas = llamadasDe(GetParam().nombre, ruta);
  if (llamadas == std::vector<std::string>{"sin strace"}) GTEST_SKIP() << "strace is missing";
  EXPECT_EQ(llamadas, GetParam().llamadas);
  EXPECT_EQ(leerTodo(ruta), "bytes");
  EXPECT_EQ(fs::status(ruta).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  // Nothing else beside it but the trace.
  EXPECT_EQ(std::distance(fs::directory_iterator(ruta.parent_path()), {}), 2);
}

INSTANTIATE_TEST_SUITE_P(Archivo, Durabilidades,
                         testing::Values(FilaDurabilidad{"ninguna", {"rename"}},
                                         FilaDurabilidad{"datos", {"fdatasync", "rename"}},
                                         FilaDurabilidad{"datosYCarpeta",
                                                         {"fdatasync", "rename", "fsync"}}),
                         pruebas::porNombre);

TEST(Archivo, UnEnlaceSeReemplazaSinSeguirlo) {
  const auto carpeta = carpetaNueva("enlace");
  std::ofstream(carpeta / "ajeno") << "ajeno";
  fs::create_symlink(carpeta / "ajeno", carpeta / "sesion");
  reemplazar(carpeta / "sesion", "propio", Durabilidad::datos);
  EXPECT_FALSE(fs::is_symlink(carpeta / "sesion"));
  EXPECT_EQ(leerTodo(carpeta / "sesion"), "propio");
  EXPECT_EQ(leerTodo(carpeta / "ajeno"), "ajeno");
}

TEST(Archivo, UnFalloNoDejaNadaYDiceDonde) {
  const auto carpeta = carpetaNueva("fallo");
  fs::create_directory(carpeta / "ocupado");  // a folder cannot be renamed over
  std::ofstream(carpeta / "ocupado" / "dentro") << "x";
  try {
    reemplazar(carpeta / "ocupado", "bytes", Durabilidad::datosYCarpeta);
    ADD_FAILURE() << "a folder was replaced by a file";
  } catch (const fs::filesystem_error& e) {
    EXPECT_EQ(e.path1(), carpeta / "ocupado");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(carpeta), {}), 1);
  EXPECT_THROW(reemplazar(carpeta / "no" / "hay", "x", Durabilidad::datos), fs::filesystem_error);
}

TEST(Archivo, LeerLoQueNoEsUnArchivoNoCuelga) {
  const auto carpeta = carpetaNueva("leer");
  EXPECT_EQ(leerSiHay(carpeta / "nada"), std::nullopt);
  EXPECT_THROW(leerTodo(carpeta / "nada"), fs::filesystem_error);
  ASSERT_EQ(mkfifo((carpeta / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(leerSiHay(carpeta / "fifo"), "");  // no writer: empty, at once
  EXPECT_THROW(leerSiHay(carpeta), fs::filesystem_error);
}

}  // namespace
}  // namespace vemlo
