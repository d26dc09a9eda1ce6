// The Vemlo folder from a terminal, for those without the desktop app: `folder on` registers
// the company's domain and makes sure vemlo-finder runs and mounts it, `folder off` switches
// it off (the host unmounts it by itself), `folder status` shows what the host knows (with
// what each folder keeps on this device), or the registry alone when no host runs. Pins and
// the cache limit are in ordenes_fijar.cpp.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>

#include "fallos.h"
#include "finder/arranque.h"
#include "finder/control.h"
#include "finder/dominios.h"
#include "finder/situacion.h"
#include "ordenes.h"
#include "salida.h"
#include "textos.h"

namespace vemlo::cli {
namespace {

using namespace std::chrono_literals;
using finder::DominioRegistrado;
using nlohmann::json;

constexpr auto kPlazoDeMontaje = 10s;
constexpr auto kPausa = 100ms;

struct DatosCarpeta {
  bool json = false;
};

const json* entradaDe(const json& estado, const std::string& identifier) {
  for (const auto& entrada : estado["dominios"])
    if (entrada.value("identifier", "") == identifier) return &entrada;
  return nullptr;
}

// A failure the host will not retry by itself: the domain as now registered, switched on, not
// mounted, with a reason. An entry under another name or switched off is the registry before
// this command's change, which the host has yet to read.
bool fallida(const json& entrada, const Organizacion& empresa) {
  return entrada.value("displayName", "") == empresa.nombre && entrada.value("enabled", false) &&
         !entrada.value("montado", false) && !finder::motivoLegible(entrada).empty();
}

// Sleeps `pausa`, unless Ctrl-C comes first, which ends the command.
void pausar(const std::stop_token& parar, std::chrono::milliseconds pausa) {
  std::mutex candado;
  std::condition_variable_any despertar;
  std::unique_lock bloqueo(candado);
  despertar.wait_for(bloqueo, parar, pausa, [] { return false; });
  if (parar.stop_requested()) throw ErrorVemlo::cancelado();
}

void arrancarAnfitrion() {
  const auto programa = finder::buscarAnfitrion();
  if (!programa)
    throw ErrorOrden(
        tr("vemlo-finder, which shows the Vemlo folder, was not found next to "
           "vemlo-cli or in PATH.",
           "No se encontró vemlo-finder, que muestra la carpeta Vemlo, junto a "
           "vemlo-cli ni en PATH."));
  try {
    finder::arrancarAnfitrion(*programa);
  } catch (const std::system_error& e) {
    throw ErrorOrden(trf("vemlo-finder could not be started: {}",
                         "No se pudo arrancar vemlo-finder: {}", {e.what()}));
  }
}

int encender(Contexto& contexto) {
  const auto& empresa = contexto.empresa();
  finder::addDomain({empresa.id, empresa.nombre, true});
  finder::setUserEnabled(empresa.id, true);
  if (!finder::estadoDelAnfitrion()) arrancarAnfitrion();
  // The host reads the registry's change (or starts) on its own; its status says when the
  // folder is there.
  const auto hasta = std::chrono::steady_clock::now() + kPlazoDeMontaje;
  std::optional<json> estado;
  for (;;) {
    estado = finder::estadoDelAnfitrion();
    const auto* entrada = estado ? entradaDe(*estado, empresa.id) : nullptr;
    if (entrada && entrada->value("montado", false)) {
      imprimir(trf("The Vemlo folder of {} is at {}", "La carpeta Vemlo de {} está en {}",
                   {empresa.nombre, entrada->value("puntoDeMontaje", "")}));
      return hecho;
    }
    if (entrada && fallida(*entrada, empresa)) break;
    if (std::chrono::steady_clock::now() >= hasta) break;
    pausar(contexto.parar(), kPausa);
  }
  if (!estado)
    throw ErrorOrden(trf("The Vemlo folder of {} was not mounted: vemlo-finder did not start.",
                         "No se montó la carpeta Vemlo de {}: vemlo-finder no arrancó.",
                         {empresa.nombre}));
  const auto* entrada = entradaDe(*estado, empresa.id);
  const auto motivo = entrada ? finder::motivoLegible(*entrada) : "";
  if (motivo.empty())
    throw ErrorOrden(trf("The Vemlo folder of {} was not mounted within {} seconds.",
                         "No se montó la carpeta Vemlo de {} en {} segundos.",
                         {empresa.nombre, std::to_string(kPlazoDeMontaje.count())}));
  throw ErrorOrden(trf("The Vemlo folder of {} was not mounted: {}",
                       "No se montó la carpeta Vemlo de {}: {}", {empresa.nombre, motivo}));
}

bool igualSinMayusculas(std::string_view a, std::string_view b) {
  return std::ranges::equal(
      a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

// The registered domain that --company names (by id, else by name exactly, else ignoring
// ASCII case), or without --company the only one switched on; none unless exactly one. The
// registry knows ids and names, so switching off needs neither the service nor a session.
std::optional<DominioRegistrado> dominioPedido(const std::string& pedida) {
  const auto dominios = finder::getDomains();
  const auto unico = [&](auto&& condicion) -> std::optional<DominioRegistrado> {
    std::optional<DominioRegistrado> encontrado;
    for (const auto& dominio : dominios) {
      if (!condicion(dominio)) continue;
      if (encontrado) return std::nullopt;
      encontrado = dominio;
    }
    return encontrado;
  };
  if (pedida.empty()) return unico([](const auto& d) { return d.enabled; });
  if (auto d = unico([&](const auto& d) { return d.identifier == pedida; })) return d;
  if (auto d = unico([&](const auto& d) { return d.displayName == pedida; })) return d;
  return unico([&](const auto& d) { return igualSinMayusculas(d.displayName, pedida); });
}

int apagar(Contexto& contexto) {
  auto dominio = dominioPedido(contexto.empresaPedida);
  if (!dominio) {
    // Not in the registry as named: the account's companies decide, with their messages.
    const auto& empresa = contexto.empresa();
    dominio = DominioRegistrado{empresa.id, empresa.nombre, false};
  }
  finder::setUserEnabled(dominio->identifier, false);
  imprimir(trf("The Vemlo folder of {} is off.", "La carpeta Vemlo de {} está apagada.",
               {dominio->displayName.empty() ? dominio->identifier : dominio->displayName}));
  return hecho;
}

std::string pendientesDe(const json& entrada) {
  const auto pos = entrada.find("pendientes");
  return pos != entrada.end() && pos->is_array() ? std::to_string(pos->size()) : "-";
}

std::int64_t bytesEn(const json& objeto, const char* clave) {
  const auto pos = objeto.find(clave);
  return pos != objeto.end() && pos->is_number() ? pos->get<std::int64_t>() : 0;
}

// "12.3 MB of 8.6 GB" cached, and the pinned bytes; "-" without a host.
std::pair<std::string, std::string> cacheDe(const json& entrada) {
  const auto cache = entrada.find("cache");
  if (cache == entrada.end() || !cache->is_object()) return {"-", "-"};
  const auto fijados = cache->value("fijados", json::object());
  return {
      trf("{} of {}", "{} de {}",
          {tamanoLegible(bytesEn(*cache, "ocupados")), tamanoLegible(bytesEn(*cache, "limite"))}),
      tamanoLegible(bytesEn(fijados, "bytes"))};
}

// What pinned files did not fit under the limit, one line per folder.
void imprimirSinSitio(const json& entrada) {
  const auto fijados = entrada.value("cache", json::object()).value("fijados", json::object());
  const auto sinSitio = fijados.value("sinSitio", json::array());
  if (sinSitio.empty()) return;
  imprimir(trf("{}: {} files kept on this device ({}) do not fit under the cache limit.",
               "{}: {} archivos que se mantienen en este equipo ({}) no caben en el límite de "
               "la caché.",
               {entrada.value("displayName", ""), std::to_string(sinSitio.size()),
                tamanoLegible(bytesEn(fijados, "bytesSinSitio"))}));
}

int mostrarEstado(const DatosCarpeta& datos) {
  auto estado = finder::estadoDelAnfitrion();
  if (!estado) estado = finder::estadoDelRegistro();
  if (datos.json) {
    imprimirJson(*estado);
    return hecho;
  }
  const auto& dominios = (*estado)["dominios"];
  if (dominios.empty()) {
    imprimir(tr("No company has a Vemlo folder yet. Switch one on with: vemlo-cli folder on",
                "Ninguna empresa tiene carpeta Vemlo todavía. Enciende una con: vemlo-cli "
                "folder on"));
    return hecho;
  }
  Tabla tabla({tr("COMPANY", "EMPRESA"), tr("FOLDER", "CARPETA"), tr("PENDING", "PENDIENTES"),
               tr("CACHED", "EN CACHÉ"), tr("KEPT", "MANTENIDO"), tr("STATE", "ESTADO")});
  for (const auto& entrada : dominios) {
    auto nombre = entrada.value("displayName", "");
    const auto [cache, fijados] = cacheDe(entrada);
    tabla.fila({nombre.empty() ? entrada.value("identifier", "") : nombre,
                entrada.value("puntoDeMontaje", ""), pendientesDe(entrada), cache, fijados,
                finder::situacionLegible(entrada)});
  }
  tabla.imprimir();
  for (const auto& entrada : dominios) imprimirSinSitio(entrada);
  for (const auto& linea : finder::fallosLegibles(dominios)) imprimir(linea);
  return hecho;
}

}  // namespace

void ordenesDeCarpetaVemlo(CLI::App& app, Ordenes& ordenes) {
  auto& contexto = ordenes.contexto;
  auto* folder = app.add_subcommand(
      "folder", tr("Show the company's files in the file manager, as the Vemlo folder",
                   "Mostrar los archivos de la empresa en el gestor de archivos, como la "
                   "carpeta Vemlo"));
  folder->require_subcommand(1);

  auto* on = folder->add_subcommand(
      "on", tr("Switch on the company's Vemlo folder (starts vemlo-finder if needed)",
               "Encender la carpeta Vemlo de la empresa (arranca vemlo-finder si hace falta)"));
  conEmpresa(on, contexto);
  on->callback(
      [&ordenes, &contexto] { ordenes.accion = [&contexto] { return encender(contexto); }; });

  auto* off = folder->add_subcommand(
      "off", tr("Switch off the company's Vemlo folder", "Apagar la carpeta Vemlo de la empresa"));
  conEmpresa(off, contexto);
  off->callback(
      [&ordenes, &contexto] { ordenes.accion = [&contexto] { return apagar(contexto); }; });

  auto datos = std::make_shared<DatosCarpeta>();
  auto* status = folder->add_subcommand(
      "status", tr("Show each Vemlo folder: where, mounted or why not, pending uploads, cache",
                   "Mostrar cada carpeta Vemlo: dónde, montada o por qué no, subidas "
                   "pendientes, caché"));
  status->add_flag("--json", datos->json,
                   tr("Print vemlo-finder's status as one JSON document",
                      "Mostrar el estado de vemlo-finder como un documento JSON"));
  status->callback(
      [&ordenes, datos] { ordenes.accion = [datos] { return mostrarEstado(*datos); }; });

  ordenesDeFijados(folder, ordenes);
}

}  // namespace vemlo::cli
