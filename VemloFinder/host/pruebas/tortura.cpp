// The randomized file-operation tester: one generator picks each step and its arguments, an
// in-memory copy of every file says what reads and sizes must give, and the last steps are kept
// as text so a failure tells what led to it.
#include "tortura.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vemlo::finder::host::pruebas {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kTrozo = 64 * 1024;  // the most one write or read moves
constexpr std::size_t kHistoria = 15;      // steps shown with a failure

std::string rango(std::size_t desde, std::size_t bytes) {
  return "[" + std::to_string(desde) + ", " + std::to_string(desde + bytes) + ")";
}

class Torturador {
 public:
  Torturador(const fs::path& carpeta, const Tortura& t)
      : carpeta_(carpeta), t_(t), azar_(t.semilla), pausas_(t.semilla ^ 0x9e3779b97f4a7c15) {
    if (t.archivos < 1 || t.mayorTamano < 1)
      throw std::invalid_argument("torturar needs at least one file and one byte");
    for (int i = 0; i < t.archivos; ++i) nombres_.push_back("t" + std::to_string(i) + ".bin");
  }
  ~Torturador() {
    for (const auto& [nombre, fd] : abiertos_) ::close(fd);
  }

  Contenidos correr() {
    for (paso_ = 1; paso_ <= t_.operaciones; ++paso_) paso();
    verificar();
    return modelo_;
  }

 private:
  // Which names an operation may be given.
  enum Quien { kCualquiera, kAbierto, kCerrado, kExistente };
  struct Operacion {
    int peso;
    Quien quien;
    void (Torturador::*hacer)(const std::string& nombre);
  };

  // Draws an operation and a name it fits; a write when no name fits.
  void paso() {
    static constexpr Operacion kOperaciones[] = {
        {20, kCualquiera, &Torturador::escribir},   {20, kCualquiera, &Torturador::leer},
        {8, kCualquiera, &Torturador::medir},       {6, kCualquiera, &Torturador::truncar},
        {4, kCualquiera, &Torturador::sincronizar}, {6, kAbierto, &Torturador::cerrar},
        {5, kAbierto, &Torturador::reabrir},        {5, kCerrado, &Torturador::abrir},
        {5, kExistente, &Torturador::renombrar},    {3, kExistente, &Torturador::borrar},
    };
    std::vector<int> pesos;
    for (const auto& o : kOperaciones) pesos.push_back(o.peso);
    const auto& operacion =
        kOperaciones[std::discrete_distribution<>(pesos.begin(), pesos.end())(azar_)];
    std::vector<std::string> validos;
    std::copy_if(nombres_.begin(), nombres_.end(), std::back_inserter(validos), [&](auto& n) {
      if (operacion.quien == kExistente) return modelo_.contains(n);
      return operacion.quien == kCualquiera ||
             abiertos_.contains(n) == (operacion.quien == kAbierto);
    });
    if (validos.empty()) return escribir(nombres_[entre(0, nombres_.size() - 1)]);
    (this->*operacion.hacer)(validos[entre(0, validos.size() - 1)]);
  }

  // 1..64 KiB at an offset up to 64 KiB past the end, so it may extend or leave a hole.
  void escribir(const std::string& nombre) {
    const int fd = descriptor(nombre);
    auto& datos = modelo_[nombre];
    const auto desde = entre(0, std::min(datos.size() + kTrozo, t_.mayorTamano - 1));
    const auto bytes = aleatorios(entre(1, std::min(kTrozo, t_.mayorTamano - desde)));
    anotar("write " + nombre + " " + rango(desde, bytes.size()));
    const auto escritos = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(desde));
    if (escritos < 0) fallarSistema("pwrite " + nombre);
    if (static_cast<std::size_t>(escritos) != bytes.size())
      fallar("pwrite " + nombre + " wrote " + std::to_string(escritos) + " bytes");
    if (datos.size() < desde) datos.resize(desde, '\0');
    datos.replace(desde, bytes.size(), bytes);
  }

  void leer(const std::string& nombre) {
    const int fd = descriptor(nombre);
    const auto& datos = modelo_[nombre];
    const auto desde = entre(0, datos.size());
    const auto pedidos = entre(1, kTrozo);
    anotar("read " + nombre + " " + rango(desde, pedidos));
    std::string leido(pedidos, '\0');
    const auto n = ::pread(fd, leido.data(), pedidos, static_cast<off_t>(desde));
    if (n < 0) fallarSistema("pread " + nombre);
    leido.resize(static_cast<std::size_t>(n));
    comparar(datos.substr(desde, pedidos), leido, "pread " + nombre + " " + rango(desde, pedidos),
             desde);
  }

  void medir(const std::string& nombre) {
    const int fd = descriptor(nombre);
    anotar("fstat " + nombre);
    struct stat estado {};
    if (::fstat(fd, &estado) != 0) fallarSistema("fstat " + nombre);
    const auto esperado = modelo_[nombre].size();
    if (static_cast<std::size_t>(estado.st_size) != esperado)
      fallar("fstat " + nombre + ": size " + std::to_string(estado.st_size) + ", expected " +
             std::to_string(esperado));
  }

  void truncar(const std::string& nombre) {
    const int fd = descriptor(nombre);
    auto& datos = modelo_[nombre];
    const auto tamano = entre(0, std::min(t_.mayorTamano, datos.size() + kTrozo));
    anotar("ftruncate " + nombre + " " + std::to_string(datos.size()) + " -> " +
           std::to_string(tamano));
    if (::ftruncate(fd, static_cast<off_t>(tamano)) != 0) fallarSistema("ftruncate " + nombre);
    datos.resize(tamano, '\0');
  }

  void sincronizar(const std::string& nombre) {
    const int fd = descriptor(nombre);
    anotar("fsync " + nombre);
    if (::fsync(fd) != 0) fallarSistema("fsync " + nombre);
  }

  void cerrar(const std::string& nombre) {
    const auto nodo = abiertos_.extract(nombre);  // forgotten even if close fails
    anotar("close " + nombre);
    if (::close(nodo.mapped()) != 0) fallarSistema("close " + nombre);
    const std::chrono::milliseconds pausa(
        std::uniform_int_distribution<std::int64_t>(0, t_.mayorPausa.count())(pausas_));
    if (pausa.count() > 0) std::this_thread::sleep_for(pausa);
  }

  void reabrir(const std::string& nombre) {
    cerrar(nombre);
    abrir(nombre);
  }

  void abrir(const std::string& nombre) { descriptor(nombre); }

  // Onto another name; the file replaced, if open, is closed first, and the renamed file's
  // descriptor, if open, follows it.
  void renombrar(const std::string& desde) {
    if (nombres_.size() < 2) return escribir(desde);
    auto hacia = nombres_[entre(0, nombres_.size() - 2)];
    if (hacia == desde) hacia = nombres_.back();
    if (abiertos_.contains(hacia)) cerrar(hacia);
    anotar("rename " + desde + " -> " + hacia + (modelo_.contains(hacia) ? " (replacing)" : ""));
    if (::rename(ruta(desde).c_str(), ruta(hacia).c_str()) != 0)
      fallarSistema("rename " + desde + " -> " + hacia);
    modelo_[hacia] = std::move(modelo_[desde]);
    modelo_.erase(desde);
    if (auto nodo = abiertos_.extract(desde)) {
      nodo.key() = hacia;
      abiertos_.insert(std::move(nodo));
    }
  }

  void borrar(const std::string& nombre) {
    if (abiertos_.contains(nombre)) cerrar(nombre);
    anotar("unlink " + nombre);
    if (::unlink(ruta(nombre).c_str()) != 0) fallarSistema("unlink " + nombre);
    modelo_.erase(nombre);
  }

  // Closes everything, then reads each file whole by its path; names the model lacks must be
  // gone.
  void verificar() {
    while (!abiertos_.empty()) cerrar(abiertos_.begin()->first);
    for (const auto& nombre : nombres_) {
      anotar("check " + nombre + " by path");
      const int fd = ::open(ruta(nombre).c_str(), O_RDONLY | O_CLOEXEC);
      const auto archivo = modelo_.find(nombre);
      if (fd < 0 && errno == ENOENT && archivo == modelo_.end()) continue;  // gone, as it must be
      if (fd < 0) fallarSistema("open " + nombre);
      const auto leido = leerEntero(fd, nombre);
      if (archivo == modelo_.end()) fallar(nombre + " exists, but the model has no such file");
      comparar(archivo->second, leido, "whole " + nombre);
    }
  }

  // All of `fd`'s bytes; closes it.
  std::string leerEntero(int fd, const std::string& nombre) {
    std::string todo, bloque(kTrozo, '\0');
    ssize_t n;
    while ((n = ::pread(fd, bloque.data(), kTrozo, static_cast<off_t>(todo.size()))) > 0)
      todo.append(bloque.data(), static_cast<std::size_t>(n));
    const int error = errno;
    if (::close(fd) != 0 && n == 0) fallarSistema("close " + nombre);
    errno = error;
    if (n < 0) fallarSistema("pread " + nombre);
    return todo;
  }

  // The open descriptor for `nombre`, opening it (and creating it when the model has no such
  // file) if there is none.
  int descriptor(const std::string& nombre) {
    if (const auto abierto = abiertos_.find(nombre); abierto != abiertos_.end())
      return abierto->second;
    const bool existe = modelo_.contains(nombre);
    anotar("open " + nombre + (existe ? "" : " (create)"));
    const int banderas = O_RDWR | O_CLOEXEC | (existe ? 0 : O_CREAT | O_EXCL);
    const int fd = ::open(ruta(nombre).c_str(), banderas, 0644);
    if (fd < 0) fallarSistema("open " + nombre);
    modelo_.try_emplace(nombre);
    return abiertos_[nombre] = fd;
  }

  std::size_t entre(std::size_t menor, std::size_t mayor) {
    return std::uniform_int_distribution<std::size_t>(menor, mayor)(azar_);
  }

  std::string aleatorios(std::size_t bytes) {
    std::string texto(bytes, '\0');
    for (std::size_t i = 0; i < bytes; i += sizeof(std::uint64_t)) {
      const std::uint64_t trozo = azar_();
      std::memcpy(texto.data() + i, &trozo, std::min(sizeof trozo, bytes - i));
    }
    return texto;
  }

  std::string ruta(const std::string& nombre) const { return (carpeta_ / nombre).string(); }

  void anotar(const std::string& linea) {
    historia_.push_back(std::to_string(paso_) + " " + linea);
    if (historia_.size() > kHistoria) historia_.pop_front();
  }

  // `esperado` and `leido` start at byte `desde` of the file.
  void comparar(const std::string& esperado, const std::string& leido, const std::string& que,
                std::size_t desde = 0) {
    if (leido == esperado) return;
    const auto corto = std::min(esperado.size(), leido.size());
    const auto a = std::mismatch(esperado.begin(), esperado.begin() + corto, leido.begin()).first;
    std::string detalle = que + ": got " + std::to_string(leido.size()) + " bytes, expected " +
                          std::to_string(esperado.size());
    if (a != esperado.begin() + corto)
      detalle += "; first difference at byte " + std::to_string(desde + (a - esperado.begin()));
    fallar(detalle);
  }

  [[noreturn]] void fallarSistema(const std::string& llamada) {
    fallar(llamada + " failed: " + std::strerror(errno));
  }

  [[noreturn]] void fallar(const std::string& que) {
    std::string texto = "seed " + std::to_string(t_.semilla) + ", operation " +
                        std::to_string(paso_) + ": " + que + "\nlast steps:";
    for (const auto& linea : historia_) texto += "\n  " + linea;
    throw std::runtime_error(texto);
  }

  fs::path carpeta_;
  Tortura t_;
  std::mt19937_64 azar_;
  std::mt19937_64 pausas_;  // apart, so the pauses change no operation
  std::vector<std::string> nombres_;
  Contenidos modelo_;
  std::map<std::string, int> abiertos_;
  std::deque<std::string> historia_;
  int paso_ = 0;
};

}  // namespace

Contenidos torturar(const fs::path& carpeta, const Tortura& t) {
  return Torturador(carpeta, t).correr();
}

}  // namespace vemlo::finder::host::pruebas
