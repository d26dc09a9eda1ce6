// The staging store: entries through confirmation, update and removal, what a new store over
// the same folder finds (in order, after a kill -9 of closes at the same time too), what it
// makes of copies without record, of damaged or cut-short journal lines and of the per-entry
// records of earlier versions.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

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
  {
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
    EXPECT_THROW(pendientes.actualizar(pendiente), std::out_of_range);
  }
  // The removal's line is written by the time the store is closed.
  EXPECT_TRUE(Pendientes(carpeta()).todos().empty());
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

// A damaged line, and a last line a crash cut short, are no records: their copies are kept
// aside.
TEST(Pendientes, UnaLineaDanadaOCortadaApartaSuCopia) {
  std::string danado;
  std::string cortado;
  {
    Pendientes pendientes(carpeta());
    danado = confirmado(pendientes, "a", "bytes de a").clave;
    cortado = confirmado(pendientes, "b", "bytes de b").clave;
  }
  auto texto = leer(carpeta() / "diario");
  const auto linea = texto.rfind('\n', texto.find(danado));
  texto.replace(linea == std::string::npos ? 0 : linea + 1, 1, "[");
  texto.pop_back();  // the newline of the last line
  std::ofstream(carpeta() / "diario", std::ios::binary) << texto;
  Pendientes pendientes(carpeta());
  EXPECT_TRUE(pendientes.todos().empty());
  EXPECT_EQ(leer(carpeta() / "huerfanos" / danado), "bytes de a");
  EXPECT_EQ(leer(carpeta() / "huerfanos" / cortado), "bytes de b");
}

TEST(Pendientes, LosRegistrosDeAntesSeIncorporan) {
  const std::string viejo(32, 'a');
  const std::string danado(32, 'b');
  fs::create_directories(carpeta() / "registros");
  fs::create_directories(carpeta() / "copias");
  std::ofstream(carpeta() / "registros" / (viejo + ".json"))
      << R"({"clave":")" << viejo
      << R"(","id":"a:1","padre":"raiz","nombre":"viejo.txt","intentos":1,"ultimoFallo":"",)"
      << R"("orden":7})";
  std::ofstream(carpeta() / "copias" / viejo) << "de antes";
  std::ofstream(carpeta() / "registros" / (danado + ".json")) << R"({"clave":)";
  std::ofstream(carpeta() / "copias" / danado) << "sin registro";
  const Pendiente esperado{viejo, "a:1", "raiz", "viejo.txt", 1, "", false};
  EXPECT_EQ(Pendientes(carpeta()).todos(), std::vector{esperado});
  EXPECT_FALSE(fs::exists(carpeta() / "registros"));
  EXPECT_EQ(leer(carpeta() / "huerfanos" / danado), "sin registro");
  EXPECT_EQ(Pendientes(carpeta()).todos(), std::vector{esperado});
}

// A crash may lose a small copy that was never synced, or leave it torn: its record carries its
// bytes, and the next start writes it again. A large copy was synced itself.
TEST(Pendientes, UnaCopiaPequenaSeRehaceDesdeSuRegistro) {
  std::vector<std::string> contenidos;
  for (const std::size_t tamano : {0, 1, 2, 3, 4, 5, 4096, 65536, 65537}) {
    std::string bytes(tamano, '\0');
    for (std::size_t i = 0; i < tamano; ++i) bytes[i] = static_cast<char>(i * 7 + tamano);
    contenidos.push_back(bytes);
  }
  std::vector<Pendiente> confirmados;
  {
    Pendientes pendientes(carpeta());
    for (std::size_t i = 0; i < contenidos.size(); ++i)
      confirmados.push_back(confirmado(pendientes, "f" + std::to_string(i), contenidos[i]));
    confirmados[2].nombre = "renombrado";  // a later record of it carries the bytes too
    pendientes.actualizar(confirmados[2]);
  }
  for (std::size_t i = 0; i + 1 < contenidos.size(); ++i) {
    const auto copia = carpeta() / "copias" / confirmados[i].clave;
    if (i % 2 == 0)
      fs::remove(copia);
    else
      fs::resize_file(copia, 1);
  }
  Pendientes pendientes(carpeta());
  EXPECT_EQ(pendientes.todos(), confirmados);
  for (std::size_t i = 0; i < contenidos.size(); ++i)
    EXPECT_EQ(leer(pendientes.copia(confirmados[i].clave)), contenidos[i]) << i;
}

// A journal that grew far past its live records is written again while the store runs, and
// keeps exactly what is live.
TEST(Pendientes, ElDiarioSeCompactaSinPerderNada) {
  std::vector<Pendiente> vivos;
  {
    Pendientes pendientes(carpeta());
    for (int i = 0; i < 600; ++i) {
      const auto p =
          confirmado(pendientes, "f" + std::to_string(i), std::string(4096, 'a' + i % 26));
      if (i % 60 == 0)
        vivos.push_back(p);
      else
        pendientes.quitar(p.clave);
    }
  }
  EXPECT_LT(fs::file_size(carpeta() / "diario"), 2u << 20);
  Pendientes pendientes(carpeta());
  EXPECT_EQ(pendientes.todos(), vivos);
  for (const auto& p : vivos) EXPECT_EQ(leer(pendientes.copia(p.clave)).size(), 4096u);
}

// Closes at the same time share their syncs; each one that returned survives the kill.
TEST(Pendientes, NadaSePierdeConKill9) {
  constexpr int hilos = 4;
  constexpr int porHilo = 10;
  const auto bytes = [](const std::string& nombre) {
    return std::string(1000, nombre[0]) + nombre;
  };
  const pid_t hijo = fork();
  ASSERT_GE(hijo, 0);
  if (hijo == 0) {
    try {
      Pendientes pendientes(carpeta());
      std::vector<std::jthread> escritores;
      for (int h = 0; h < hilos; ++h)
        escritores.emplace_back([&pendientes, &bytes, h] {
          for (int i = 0; i < porHilo; ++i) {
            const auto nombre = std::string(1, static_cast<char>('a' + h)) + std::to_string(i);
            confirmado(pendientes, nombre, bytes(nombre));
          }
        });
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
  ASSERT_EQ(todos.size(), std::size_t{hilos * porHilo});
  for (const auto& p : todos) EXPECT_EQ(leer(pendientes.copia(p.clave)), bytes(p.nombre));
}

}  // namespace
}  // namespace vemlo::finder::host
