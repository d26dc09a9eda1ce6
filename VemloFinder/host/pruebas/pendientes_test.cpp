// The staging store: entries through confirmation, update and removal, what a new store over
// the same folder finds (in order, after a kill -9 too), and what it makes of copies without
// record and of damaged records.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>

#include "pendientes.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

fs::path carpeta() {
  return fs::path(std::getenv("HOME")) / "pendientes";
}

std::string leer(const fs::path& ruta) {
  std::ifstream entrada(ruta, std::ios::binary);
  return {std::istreambuf_iterator<char>(entrada), {}};
}

// A confirmed entry named `nombre` whose bytes are `bytes`.
Pendiente confirmado(Pendientes& pendientes, const std::string& nombre, const std::string& bytes) {
  Pendiente pendiente;
  pendiente.padre = "raiz";
  pendiente.nombre = nombre;
  std::ofstream(pendientes.nuevaCopia(pendiente.clave), std::ios::binary) << bytes;
  pendientes.confirmar(pendiente);
  return pendiente;
}

TEST(Pendientes, ConfirmaActualizaYQuita) {
  Pendientes pendientes(carpeta());
  auto pendiente = confirmado(pendientes, "informe.pdf", "hola");
  EXPECT_EQ(pendientes.buscar(pendiente.clave), pendiente);
  pendiente.id = "a1";
  pendiente.intentos = 2;
  pendiente.ultimoFallo = "red: \xff";
  pendientes.actualizar(pendiente);
  EXPECT_EQ(pendientes.todos(), std::vector{pendiente});
  EXPECT_EQ(leer(pendientes.copia(pendiente.clave)), "hola");
  pendientes.quitar(pendiente.clave);
  EXPECT_TRUE(pendientes.todos().empty());
  EXPECT_TRUE(fs::is_empty(carpeta() / "copias"));
  EXPECT_TRUE(fs::is_empty(carpeta() / "registros"));
  EXPECT_THROW(pendientes.actualizar(pendiente), std::out_of_range);
}

TEST(Pendientes, OtraInstanciaLosEncuentraEnOrden) {
  std::vector<Pendiente> confirmados;
  {
    Pendientes pendientes(carpeta());
    for (int i = 0; i < 5; ++i)
      confirmados.push_back(confirmado(pendientes, "f" + std::to_string(i), "x"));
    confirmados[0].nombre = "renombrado";
    pendientes.actualizar(confirmados[0]);  // keeps its place
  }
  Pendientes pendientes(carpeta());
  EXPECT_EQ(pendientes.todos(), confirmados);
  confirmados.push_back(confirmado(pendientes, "despues", "y"));
  EXPECT_EQ(Pendientes(carpeta()).todos(), confirmados);
}

TEST(Pendientes, UnaCopiaSinRegistroQuedaEnHuerfanos) {
  std::string clave;
  std::ofstream(Pendientes(carpeta()).nuevaCopia(clave), std::ios::binary) << "sin confirmar";
  Pendientes pendientes(carpeta());
  EXPECT_TRUE(pendientes.todos().empty());
  EXPECT_TRUE(fs::is_empty(carpeta() / "copias"));
  EXPECT_EQ(leer(carpeta() / "huerfanos" / clave), "sin confirmar");
}

TEST(Pendientes, UnRegistroDanadoSeApartaConSuCopia) {
  std::string danado;
  std::string sinCopia;
  {
    Pendientes pendientes(carpeta());
    danado = confirmado(pendientes, "a", "bytes de a").clave;
    sinCopia = confirmado(pendientes, "b", "bytes de b").clave;
  }
  std::ofstream(carpeta() / "registros" / (danado + ".json")) << R"({"clave":)";
  fs::remove(carpeta() / "copias" / sinCopia);
  Pendientes pendientes(carpeta());
  EXPECT_TRUE(pendientes.todos().empty());
  EXPECT_EQ(leer(carpeta() / "huerfanos" / danado), "bytes de a");
  EXPECT_EQ(leer(carpeta() / "huerfanos" / (danado + ".json")), R"({"clave":)");
  EXPECT_TRUE(fs::is_empty(carpeta() / "registros"));
}

TEST(Pendientes, NadaSePierdeConKill9) {
  const auto bytes = [](int i) { return std::string(1000 + i, static_cast<char>('a' + i)); };
  const pid_t hijo = fork();
  ASSERT_GE(hijo, 0);
  if (hijo == 0) {
    try {
      Pendientes pendientes(carpeta());
      for (int i = 0; i < 20; ++i) confirmado(pendientes, std::to_string(i), bytes(i));
    } catch (...) {
      _exit(1);
    }
    raise(SIGKILL);
  }
  int estado = 0;
  ASSERT_EQ(waitpid(hijo, &estado, 0), hijo);
  ASSERT_TRUE(WIFSIGNALED(estado) && WTERMSIG(estado) == SIGKILL);
  Pendientes pendientes(carpeta());
  const auto todos = pendientes.todos();
  ASSERT_EQ(todos.size(), 20u);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(todos[i].nombre, std::to_string(i));
    EXPECT_EQ(leer(pendientes.copia(todos[i].clave)), bytes(i));
  }
}

}  // namespace
}  // namespace vemlo::finder::host
