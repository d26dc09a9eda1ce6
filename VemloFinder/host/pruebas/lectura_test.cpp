// Reading a file while its download runs, through a slow link to the service: every offset
// gives the service's bytes, to one reader, to several at once (sharing one download) and to
// one that jumps far ahead; a download cut half-way gives EIO and leaves nothing in the cache
// that looks complete; one stopped because its reader left is continued by the next reader.
#include <fcntl.h>
#include <unistd.h>

#include <thread>
#include <utility>
#include <vector>

#include "carpeta.h"
#include "enlace.h"
#include "vemlo/xdg.h"

namespace vemlo::finder::host::pruebas {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kTamano = 8 << 20;
constexpr std::size_t kRitmo = 2 << 20;  // bytes a second: the download takes 4 s

// `largo` bytes at `desde` of an open file; what came before a failure, with its errno.
struct Leido {
  std::string bytes;
  int error = 0;
};

Leido leerEn(int fd, std::size_t desde, std::size_t largo) {
  Leido leido{std::string(largo, '\0')};
  std::size_t hecho = 0;
  while (hecho < largo) {
    const auto n =
        ::pread(fd, leido.bytes.data() + hecho, largo - hecho, static_cast<off_t>(desde + hecho));
    if (n <= 0) {
      leido.error = n < 0 ? errno : 0;
      break;
    }
    hecho += static_cast<std::size_t>(n);
  }
  leido.bytes.resize(hecho);
  return leido;
}

using Trozos = std::vector<std::pair<std::size_t, std::size_t>>;  // (offset, length)

// Where a reader reads: the whole file at once, or 64 KiB pieces from the end backwards,
// 3 MiB apart, then the start.
Trozos trozos(bool salta) {
  if (!salta) return {{0, kTamano}};
  constexpr std::size_t pieza = 64 << 10, salto = 3 << 20;
  Trozos t;
  for (std::size_t desde = kTamano - pieza; desde >= salto; desde -= salto)
    t.emplace_back(desde, pieza);
  t.emplace_back(0, pieza);
  return t;
}

// The pieces one after another, through `fd` up to the first failure, or from `bytes`.
Leido leerTrozos(int fd, const Trozos& t) {
  Leido todo;
  for (const auto& [desde, largo] : t) {
    auto leido = leerEn(fd, desde, largo);
    todo.bytes += leido.bytes;
    todo.error = leido.error;
    if (leido.error != 0) break;
  }
  return todo;
}
std::string esperado(const std::string& bytes, const Trozos& t) {
  std::string todo;
  for (const auto& [desde, largo] : t) todo += bytes.substr(desde, largo);
  return todo;
}

class LecturaEnCurso : public ConCarpeta {
 protected:
  void SetUp() override {
    ConCarpeta::SetUp();
    if (IsSkipped()) return;
    bytes = bytesDePrueba(kTamano, 17);
    subir(*demo, empresa("Acme").carpetaRaizId, "grande.bin", bytes);
    fs::remove_all(carpetaDeAcme());  // what earlier tests of this process left
    enlace = std::make_unique<EnlaceLento>(servicio->puerto(), kRitmo);
    setenv("VEMLO_SERVICIO", enlace->base().c_str(), 1);
    registrar("Acme");
    arrancarHost();
    borrarRegistro(servicio->base());
  }
  void TearDown() override {
    ConCarpeta::TearDown();
    enlace.reset();
  }

  fs::path ruta() const { return punto() / "grande.bin"; }
  fs::path carpetaDeAcme() const { return cacheDeUsuario() / "vemlo-finder" / empresa("Acme").id; }
  // The files in Acme's cache folder ("contenido") or temporary folder ("tmp").
  std::size_t archivosEn(const char* carpeta) const {
    const auto ruta = carpetaDeAcme() / carpeta;
    std::error_code ignorado;
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(ruta, ignorado), {}));
  }
  // The downloads the service served, by the Range each asked for ("" for none).
  std::vector<std::string> descargas() const {
    std::vector<std::string> rangos;
    const auto pedidos = registro(servicio->base()).at("pedidos");
    for (const auto& p : pedidos)
      if (p.at("ruta").get<std::string>().starts_with("/almacen/"))
        rangos.push_back(p.at("cabeceras").value("Range", ""));
    return rangos;
  }

  std::string bytes;
  std::unique_ptr<EnlaceLento> enlace;
};

struct FilaLectores {
  const char* nombre;
  int lectores;
  bool salta;  // from the end backwards, in long jumps
};

void PrintTo(const FilaLectores& f, std::ostream* os) {
  *os << f.nombre;
}

class Lectores : public LecturaEnCurso, public testing::WithParamInterface<FilaLectores> {};

TEST_P(Lectores, LeenLosBytesDelServicioMientrasLlegan) {
  const auto& f = GetParam();
  const int fd = ::open(ruta().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(leerEn(fd, 0, 1).bytes, bytes.substr(0, 1));
  EXPECT_EQ(archivosEn("contenido"), 0u) << "the first byte came only once the whole file had";
  const auto t = trozos(f.salta);
  std::vector<Leido> leidos(static_cast<std::size_t>(f.lectores));
  {
    std::vector<std::jthread> hilos;
    for (auto& leido : leidos) hilos.emplace_back([&] { leido = leerTrozos(fd, t); });
  }
  for (const auto& leido : leidos) {
    EXPECT_EQ(leido.error, 0);
    EXPECT_TRUE(leido.bytes == esperado(bytes, t));
  }
  EXPECT_TRUE(esperar([&] { return archivosEn("contenido") == 1u; }));  // open, it goes on
  ::close(fd);
  // One download of the whole file; the reader far ahead of it asks for ranges of its own.
  const auto rangos = descargas();
  ASSERT_FALSE(rangos.empty());
  EXPECT_EQ(rangos[0], "");
  EXPECT_EQ(rangos.size() > 1, f.salta);
  for (std::size_t i = 1; i < rangos.size(); ++i) EXPECT_TRUE(rangos[i].starts_with("bytes="));
}

INSTANTIATE_TEST_SUITE_P(Descarga, Lectores,
                         testing::Values(FilaLectores{"UnoDeCabo", 1, false},
                                         FilaLectores{"TresALaVez", 3, false},
                                         FilaLectores{"UnoSaltaLejos", 1, true}));

TEST_F(LecturaEnCurso, CortadaDaEIOYNoQuedaComoEntera) {
  const int fd = ::open(ruta().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(leerEn(fd, 0, 4096).bytes, bytes.substr(0, 4096));
  enlace->cortar();
  const auto fin = leerEn(fd, kTamano - 4096, 4096);
  EXPECT_EQ(fin.error, EIO);
  EXPECT_EQ(leerEn(fd, 0, 4096).bytes, bytes.substr(0, 4096));  // what arrived still reads
  ::close(fd);
  EXPECT_TRUE(esperar([&] { return archivosEn("tmp") == 0u; }));
  EXPECT_EQ(archivosEn("contenido"), 0u);
  enlace->reparar();
  EXPECT_EQ(leer(ruta()), bytes);  // fetched again, whole
  EXPECT_EQ(archivosEn("contenido"), 1u);
}

TEST_F(LecturaEnCurso, LaParadaSigueDondeSeQuedo) {
  const int fd = ::open(ruta().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(leerEn(fd, 0, 4096).bytes, bytes.substr(0, 4096));
  ::close(fd);  // the last reader: the download stops
  const auto parcial = [&] {
    std::error_code ignorado;
    const fs::directory_iterator en(carpetaDeAcme() / "tmp", ignorado);
    return en == fs::directory_iterator() ? 0 : fs::file_size(en->path(), ignorado);
  };
  std::uintmax_t antes = 0;
  EXPECT_TRUE(esperar([&] {
    const auto ahora = std::exchange(antes, parcial());
    return ahora > 0 && ahora == antes;
  }));
  EXPECT_EQ(leer(ruta()), bytes);
  const auto rangos = descargas();
  ASSERT_EQ(rangos.size(), 3u);  // the first, one byte to see that ranges are served, the rest
  EXPECT_EQ(rangos[0], "");
  EXPECT_EQ(rangos[1], "bytes=" + std::to_string(antes) + "-" + std::to_string(antes));
  EXPECT_EQ(rangos[2], "bytes=" + std::to_string(antes) + "-");
}

}  // namespace
}  // namespace vemlo::finder::host::pruebas
