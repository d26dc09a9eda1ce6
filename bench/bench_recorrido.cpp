// The file-provider extension's crawl of a large company against a running vemlo-servicio
// started with --demo --pruebas: seeds CARPETAS folders of ARCHIVOS empty files each in Acme,
// then measures ExtensionVemlo::recorrer() (wall time, requests from the service's register,
// the client's CPU share), the index's replacements, encoder, file and load, the process's
// peak memory, and the index encoder against nlohmann::json on the same records. Prints a
// table on stdout for bench-recorrido; figures only, nothing is asserted.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <nlohmann/json.hpp>

#include "finder/elemento.h"
#include "finder/extension.h"
#include "finder/indice.h"
#include "vemlo/cliente.h"
#include "vemlo/sesion.h"
#include "vemlo/transporte_curl.h"

namespace {

using Reloj = std::chrono::steady_clock;

constexpr int hilosDeSiembra = 8;
constexpr int repeticiones = 5;  // for the figures that are cheap to repeat

double segundosDesde(Reloj::time_point inicio) {
  return std::chrono::duration<double>(Reloj::now() - inicio).count();
}

double ms(double segundos) {
  return segundos * 1000.0;
}

double picoMiB() {
  rusage uso{};
  getrusage(RUSAGE_SELF, &uso);
  return static_cast<double>(uso.ru_maxrss) / 1024.0;
}

struct Cpu {
  double usuario = 0;
  double sistema = 0;
};

Cpu cpuDelProceso() {
  rusage uso{};
  getrusage(RUSAGE_SELF, &uso);
  const auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return {s(uso.ru_utime), s(uso.ru_stime)};
}

// The median of `veces` timed runs of `hacer`, in seconds; also the fastest and slowest.
struct Tiempos {
  double mediana = 0, menor = 0, mayor = 0;
};
Tiempos medir(int veces, const std::function<void()>& hacer) {
  std::vector<double> s;
  for (int i = 0; i < veces; ++i) {
    const auto inicio = Reloj::now();
    hacer();
    s.push_back(segundosDesde(inicio));
  }
  std::sort(s.begin(), s.end());
  return {s[s.size() / 2], s.front(), s.back()};
}

// A private HOME and XDG folders, and no session bus: the session goes to the fallback file
// and the index to this folder, never to the user's. Returns the folder, removed at the end.
std::filesystem::path aislar(const std::string& base) {
  std::string plantilla =
      (std::filesystem::temp_directory_path() / "bench-recorrido.XXXXXX").string();
  if (!mkdtemp(plantilla.data())) throw std::runtime_error("mkdtemp");
  const std::filesystem::path raiz(plantilla);
  for (const auto* nombre : {"home", "data", "config", "cache", "state", "runtime"})
    std::filesystem::create_directory(raiz / nombre);
  std::filesystem::permissions(raiz / "runtime", std::filesystem::perms::owner_all);
  setenv("HOME", (raiz / "home").c_str(), 1);
  setenv("XDG_DATA_HOME", (raiz / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (raiz / "config").c_str(), 1);
  setenv("XDG_CACHE_HOME", (raiz / "cache").c_str(), 1);
  setenv("XDG_STATE_HOME", (raiz / "state").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (raiz / "runtime").c_str(), 1);
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  // Read once by the first client made without a base.
  setenv("VEMLO_SERVICIO", base.c_str(), 1);
  return raiz;
}

// CARPETAS folders under the root, ARCHIVOS empty files in each (an upload of 0 bytes makes
// the file at once), spread over the seeding threads folder by folder.
void sembrar(const vemlo::Vemlo& api, const std::string& raizId, int carpetas, int archivos) {
  std::atomic<int> siguiente{0};
  std::atomic<bool> fallo{false};
  std::string motivo;
  std::mutex candado;  // guards motivo
  {
    std::vector<std::jthread> hilos;
    for (int h = 0; h < hilosDeSiembra; ++h)
      hilos.emplace_back([&] {
        char nombre[32];
        for (int c = siguiente++; c < carpetas && !fallo; c = siguiente++) {
          try {
            std::snprintf(nombre, sizeof nombre, "carpeta-%04d", c);
            const auto id = api.crearCarpeta(raizId, nombre);
            for (int a = 0; a < archivos; ++a) {
              std::snprintf(nombre, sizeof nombre, "archivo-%03d.txt", a);
              api.llamar<vemlo::PedidoSubida>("POST", "/v1/subidas",
                                              nlohmann::json{{"carpetaId", id},
                                                             {"nombre", nombre},
                                                             {"tamanoBytes", 0},
                                                             {"tipo", "text/plain"}});
            }
          } catch (const std::exception& e) {
            std::lock_guard c(candado);
            if (!fallo.exchange(true)) motivo = e.what();
          }
        }
      });
  }
  if (fallo) throw std::runtime_error("sembrado: " + motivo);
}

// The service's register of requests since it was last cleared.
nlohmann::json registro(const vemlo::Vemlo& api) {
  const auto pedido = api.armarPedido("GET", "/_pruebas/registro");
  return vemlo::cuerpoDe(api.transporte().enviar(pedido, std::nullopt, {})).at("pedidos");
}

// How many items the company's tree holds below `raizId`, listed folder by folder: what a
// crawl without a limit would give.
std::size_t contarArbol(const vemlo::Vemlo& api, const std::string& raizId) {
  std::size_t total = 0;
  std::vector<std::string> pendientes{raizId};
  while (!pendientes.empty()) {
    const auto vista = api.verCarpeta(pendientes.back());
    pendientes.pop_back();
    total += vista.carpetas.size() + vista.archivos.size();
    for (const auto& c : vista.carpetas) pendientes.push_back(c.id);
  }
  return total;
}

// The crawl's answers again, as raw bodies: what the client's own work (decoding, records,
// the result) is measured on, without the transport.
std::vector<vemlo::Respuesta> cuerpos(const vemlo::Vemlo& api, const vemlo::finder::Fichas& fichas,
                                      const std::string& raizId) {
  std::vector<vemlo::Respuesta> lista;
  const auto traer = [&](const std::string& id) {
    lista.push_back(
        api.transporte().enviar(api.armarPedido("GET", "/v1/carpetas/" + id), std::nullopt, {}));
  };
  traer(raizId);
  for (const auto& [id, f] : fichas)
    if (f.esCarpeta) traer(id.substr(2));
  return lista;
}

double cpuDelHilo() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The client's own work on those bodies, on this thread: decoding into records and the result,
// as the crawl does it; and the bare parse of the same bytes (the floor).
std::pair<double, double> trabajoPropio(const std::vector<vemlo::Respuesta>& lista,
                                        const std::string& raizId) {
  constexpr unsigned reglas =
      rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag;
  auto inicio = cpuDelHilo();
  vemlo::finder::Fichas resultado;
  for (const auto& r : lista)
    for (auto& f : vemlo::finder::fichasDe(vemlo::decodificar<vemlo::VistaCarpeta>(r), raizId)) {
      auto id = f.id;
      resultado.insert_or_assign(std::move(id), std::move(f));
    }
  const double propio = cpuDelHilo() - inicio;
  inicio = cpuDelHilo();
  for (const auto& r : lista) {
    rapidjson::MemoryStream flujo(r.cuerpo.data(), r.cuerpo.size());
    rapidjson::BaseReaderHandler<> nada;
    rapidjson::Reader().Parse<reglas>(flujo, nada);
  }
  return {propio, cpuDelHilo() - inicio};
}

// The index's on-disk form built as a nlohmann::json value and dumped: the baseline writer.
std::string conNlohmann(std::int64_t generacion, const vemlo::finder::Fichas& fichas) {
  nlohmann::json lista = nlohmann::json::object();
  for (const auto& [id, f] : fichas)
    lista[id] = {{"id", f.id},
                 {"padre", f.padre},
                 {"nombre", f.nombre},
                 {"esCarpeta", f.esCarpeta},
                 {"tamano", f.tamano},
                 {"fecha", f.fecha},
                 {"editable", f.editable}};
  return nlohmann::json{{"generacion", generacion}, {"fichas", std::move(lista)}}.dump();
}

void fila(const char* que, const std::string& valor) {
  std::printf("| %-46s | %26s |\n", que, valor.c_str());
}

std::string formato(const char* f, double v) {
  char texto[64];
  std::snprintf(texto, sizeof texto, f, v);
  return texto;
}

std::string rango(const Tiempos& t) {
  char texto[64];
  std::snprintf(texto, sizeof texto, "%.1f ms (%.1f-%.1f)", ms(t.mediana), ms(t.menor),
                ms(t.mayor));
  return texto;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 6) {
    std::cerr << "uso: bench_recorrido BASE CORREO CLAVE [CARPETAS ARCHIVOS]\n";
    return 2;
  }
  const std::string base = argv[1];
  const int carpetas = argc == 6 ? std::atoi(argv[4]) : 1000;
  const int archivos = argc == 6 ? std::atoi(argv[5]) : 100;
  std::filesystem::path privado;
  int resultado = 0;
  try {
    privado = aislar(base);
    const double picoInicial = picoMiB();

    // Sign in and seed Acme.
    const vemlo::Vemlo anonimo(base, std::nullopt, vemlo::TransporteCurl::compartido());
    const auto respuesta = anonimo.entrar(argv[2], argv[3]);
    const auto& cuenta = std::get<vemlo::RespuestaEntrar::Lista>(respuesta.valor).cuenta;
    const auto& orgs = cuenta.organizaciones;
    const auto acme =
        std::find_if(orgs.begin(), orgs.end(), [](const auto& o) { return o.nombre == "Acme"; });
    if (acme == orgs.end() || !cuenta.token) throw std::runtime_error("sin empresa Acme");
    const vemlo::Vemlo api(base, cuenta.token, vemlo::TransporteCurl::compartido());
    auto inicio = Reloj::now();
    sembrar(api, acme->carpetaRaizId, carpetas, archivos);
    const double siembra = segundosDesde(inicio);

    // The extension finds the session where every Vemlo program does.
    vemlo::SesionGuardada::guardar(*cuenta.token);
    if (vemlo::SesionGuardada::leer() != cuenta.token)
      throw std::runtime_error("la sesión no quedó guardada");
    vemlo::finder::ExtensionVemlo ext(vemlo::fp::Domain{acme->id, "Acme"});

    // The crawl, alone in the register.
    const double picoAntes = picoMiB();
    api.llamar<vemlo::Ok>("DELETE", "/_pruebas/registro");
    const auto conexionesAntes = vemlo::TransporteCurl::compartido()->conexionesAbiertas();
    const Cpu cpu0 = cpuDelProceso();
    inicio = Reloj::now();
    auto fichas = ext.recorrer().fichas;
    const double recorrido = segundosDesde(inicio);
    const Cpu cpu1 = cpuDelProceso();
    const auto conexiones =
        vemlo::TransporteCurl::compartido()->conexionesAbiertas() - conexionesAntes;
    const double picoDespues = picoMiB();
    const auto pedidos = registro(api);
    std::size_t deCarpetas = 0, deYo = 0;
    for (const auto& p : pedidos) {
      const auto metodo = p.at("metodo").get<std::string>();
      const auto ruta = p.at("ruta").get<std::string>();
      if (metodo == "GET" && ruta.starts_with("/v1/carpetas/")) ++deCarpetas;
      if (metodo == "GET" && ruta == "/v1/yo") ++deYo;
    }
    const auto enElArbol = contarArbol(api, acme->carpetaRaizId);
    const auto respuestas = cuerpos(api, fichas, acme->carpetaRaizId);
    std::size_t bytesDeVistas = 0;
    for (const auto& r : respuestas) bytesDeVistas += r.cuerpo.size();
    const auto [soloCliente, analisis] = trabajoPropio(respuestas, acme->carpetaRaizId);
    const double usuario = cpu1.usuario - cpu0.usuario;
    const double sistema = cpu1.sistema - cpu0.sistema;

    // The index: the first snapshot, then the steady-state rewrite of the same records.
    auto copia = fichas;
    inicio = Reloj::now();
    const auto primeros = ext.indice().reemplazar(std::move(copia));
    const double primera = segundosDesde(inicio);
    const auto escritoEn = std::filesystem::last_write_time(*ext.indice().archivo());
    std::vector<double> reescrituras;
    for (int i = 0; i < repeticiones; ++i) {
      copia = fichas;
      inicio = Reloj::now();
      const auto iguales = ext.indice().reemplazar(std::move(copia));
      reescrituras.push_back(segundosDesde(inicio));
      if (!iguales.cambiadas.empty() || !iguales.borradas.empty())
        throw std::runtime_error("la reescritura encontró cambios");
    }
    std::sort(reescrituras.begin(), reescrituras.end());
    const Tiempos segunda{reescrituras[reescrituras.size() / 2], reescrituras.front(),
                          reescrituras.back()};
    const bool reescrito = std::filesystem::last_write_time(*ext.indice().archivo()) != escritoEn;
    int vuelta = 0;
    const auto conUnCambio = medir(repeticiones, [&] {
      copia = fichas;
      copia.begin()->second.fecha = "cambio " + std::to_string(vuelta++);
      if (ext.indice().reemplazar(std::move(copia)).cambiadas.size() != 1)
        throw std::runtime_error("se esperaba un cambio");
    });
    const double picoIndice = picoMiB();  // with this program's own copies of the records

    const auto generacion = ext.indice().generacion();
    std::string propio, ajeno;
    const auto codificar =
        medir(repeticiones, [&] { propio = vemlo::finder::codificarGuardado(generacion, fichas); });
    const auto nlohmann = medir(repeticiones, [&] { ajeno = conNlohmann(generacion, fichas); });
    const auto archivo = *ext.indice().archivo();
    const auto bytes = std::filesystem::file_size(archivo);
    std::optional<vemlo::finder::Indice> leido;
    const auto carga = medir(repeticiones, [&] {
      leido.reset();
      leido.emplace(acme->id);
    });
    // The baseline writes the same records: both decode to the same index.
    const auto deAjeno = vemlo::finder::decodificarGuardado(ajeno);
    if (!deAjeno || deAjeno->second != fichas || leido->generacion() != generacion ||
        !leido->consultar(fichas.begin()->first))
      throw std::runtime_error("los índices no coinciden");

    // The table.
    const double cpu = usuario + sistema;
    std::printf("| %-46s | %26s |\n", "figure", "value");
    std::printf("|%s|%s|\n", std::string(48, '-').c_str(), std::string(28, '-').c_str());
    fila("seeded (folders x files, 8 threads)", std::to_string(carpetas) + " x " +
                                                    std::to_string(archivos) +
                                                    formato(" in %.1f s", siembra));
    fila("items in the tree (seeded + demo)", std::to_string(enElArbol));
    fila("recorrer(): records", std::to_string(fichas.size()));
    fila("recorrer(): wall time", formato("%.0f ms", ms(recorrido)));
    fila("requests (register)", std::to_string(pedidos.size()));
    fila("  GET /v1/carpetas/ID + GET /v1/yo",
         std::to_string(deCarpetas) + " + " + std::to_string(deYo));
    fila("  new connections (the rest reused)", std::to_string(conexiones));
    fila("  wall time per folder request",
         formato("%.2f ms", deCarpetas ? ms(recorrido) / static_cast<double>(deCarpetas) : 0));
    fila("client CPU (user + sys)",
         formato("%.0f", ms(usuario)) + formato(" + %.0f ms", ms(sistema)));
    fila("client CPU per 1,000 items (goal <= 1.5 ms)",
         formato("%.2f ms",
                 ms(cpu) * 1000.0 / static_cast<double>(std::max<std::size_t>(fichas.size(), 1))));
    fila("client CPU / wall time (goal < 20%)", formato("%.1f%%", 100.0 * cpu / recorrido));
    const double porMil = 1000.0 / static_cast<double>(std::max<std::size_t>(fichas.size(), 1));
    fila("  bytes of folder views per item",
         formato("%.0f B", static_cast<double>(bytesDeVistas) * porMil / 1000.0));
    fila("  decode + records + result alone, per 1,000",
         formato("%.2f ms", ms(soloCliente) * porMil));
    fila("  bare parse of the same bytes, per 1,000", formato("%.2f ms", ms(analisis) * porMil));
    fila("  the rest (transport, threads, kernel), per 1,000",
         formato("%.2f ms", ms(cpu - soloCliente) * porMil));
    fila("reemplazar, first snapshot", formato("%.1f ms", ms(primera)) + " (" +
                                           std::to_string(primeros.cambiadas.size()) + " new)");
    fila("reemplazar, same records (goal < 100 ms)", rango(segunda));
    fila("  index file written again", reescrito ? "yes" : "no (the generation alone)");
    fila("reemplazar, one record changed (whole file)", rango(conUnCambio));
    fila("  codificarGuardado alone (a change's rewrite)", rango(codificar));
    fila("index file size", std::to_string(bytes) + " B");
    fila("fresh Indice (reads the file; goal <= 300 ms)", rango(carga));
    fila("nlohmann::json build + dump, same records", rango(nlohmann));
    fila("  codificarGuardado / nlohmann", formato("%.2f", codificar.mediana / nlohmann.mediana));
    fila("  nlohmann output size", std::to_string(ajeno.size()) + " B");
    fila("peak memory at start", formato("%.1f MiB", picoInicial));
    fila("peak memory before the crawl", formato("%.1f MiB", picoAntes));
    fila("peak memory after the crawl", formato("%.1f MiB", picoDespues));
    fila("peak memory after the reemplazar calls", formato("%.1f MiB", picoIndice));
    fila("peak memory at the end (with the baseline)", formato("%.1f MiB", picoMiB()));
  } catch (const std::exception& e) {
    std::cerr << "bench_recorrido: " << e.what() << "\n";
    resultado = 1;
  }
  std::error_code ignorado;
  if (!privado.empty()) std::filesystem::remove_all(privado, ignorado);
  return resultado;
}
