// What the extension's tests share: an observer that records every call the extension makes,
// synchronous wrappers around the asynchronous entry points, and a running service with the
// demo account signed in and its token stored where the extension reads it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "finder/extension.h"
#include "http_servicio.h"
#include "servicio_en_marcha.h"
#include "vemlo/sesion.h"

namespace vemlo::finder {

inline void PrintTo(const Ficha& f, std::ostream* os) {
  *os << "{" << f.id << ", " << f.padre << ", " << f.nombre << ", " << f.esCarpeta << ", "
      << f.tamano << ", '" << f.fecha << "', " << f.editable << "}";
}

}  // namespace vemlo::finder

namespace vemlo::finder::pruebas {

using namespace vemlo::pruebas;
using namespace std::chrono_literals;

// Records what an enumeration reported, and waits for its end.
class Observador : public fp::EnumerationObserver, public fp::ChangeObserver {
 public:
  void didEnumerateItems(std::vector<fp::ItemPtr> items) override { anotar(enumerados, items); }
  void didUpdateItems(std::vector<fp::ItemPtr> items) override { anotar(actualizados, items); }
  void didDeleteItemsWithIdentifiers(std::vector<fp::ItemIdentifier> ids) override {
    std::lock_guard c(candado_);
    borrados.push_back(std::move(ids));
  }
  void finishEnumeratingUpToPage(std::optional<fp::Page> pagina) override {
    terminar([&] { siguiente = std::move(pagina); });
  }
  void finishEnumeratingChangesUpToSyncAnchor(fp::SyncAnchor a, bool mas) override {
    terminar([&] { ancla = std::move(a), masPorVenir = mas; });
  }
  void finishEnumeratingWithError(std::exception_ptr e) override {
    terminar([&] { error = e; });
  }

  // Waits for the end (at most a minute); the caller then reads the fields.
  void esperar() { ASSERT_EQ(fin_.get_future().wait_for(60s), std::future_status::ready); }

  // Calls of at most 200 items each, in order.
  std::vector<std::vector<std::string>> enumerados, actualizados, borrados;
  std::optional<fp::Page> siguiente;
  std::optional<fp::SyncAnchor> ancla;
  bool masPorVenir = false;
  std::exception_ptr error;
  int finales = 0;

 private:
  void anotar(std::vector<std::vector<std::string>>& en, const std::vector<fp::ItemPtr>& items) {
    std::vector<std::string> ids;
    for (const auto& i : items) ids.push_back(i->itemIdentifier());
    std::lock_guard c(candado_);
    en.push_back(std::move(ids));
  }
  template <class F>
  void terminar(F f) {
    std::lock_guard c(candado_);
    f();
    if (++finales == 1) fin_.set_value();
  }
  std::mutex candado_;
  std::promise<void> fin_;
};

// The file-provider error a failure stands for, or nothing for any other failure.
inline std::optional<fp::Error> comoError(std::exception_ptr e) {
  if (!e) return std::nullopt;
  try {
    std::rethrow_exception(e);
  } catch (const fp::Error& error) {
    return error;
  } catch (...) {
    return std::nullopt;
  }
}

// The answers of the entry points, waited for.
struct Respuesta {
  fp::ItemPtr item;
  std::exception_ptr error;
  std::optional<std::filesystem::path> archivo;
  const Ficha& ficha() const { return dynamic_cast<const Elemento&>(*item).ficha(); }
};

template <class Llamar>
Respuesta esperarA(Llamar llamar) {
  std::promise<Respuesta> promesa;
  auto futuro = promesa.get_future();
  llamar(promesa);
  if (futuro.wait_for(60s) != std::future_status::ready) throw std::runtime_error("sin respuesta");
  return futuro.get();
}

Respuesta buscar(ExtensionVemlo& ext, const std::string& id);
Respuesta traer(ExtensionVemlo& ext, const std::string& id);
Respuesta crear(ExtensionVemlo& ext, const fp::Item& plantilla,
                const std::optional<std::filesystem::path>& contenido = std::nullopt);
Respuesta modificar(ExtensionVemlo& ext, const fp::Item& item, fp::ItemFields campos,
                    const std::optional<std::filesystem::path>& contenido = std::nullopt);
std::exception_ptr borrar(ExtensionVemlo& ext, const std::string& id);
std::shared_ptr<Observador> enumerar(ExtensionVemlo& ext, const std::string& contenedor);
std::shared_ptr<Observador> cambios(ExtensionVemlo& ext, fp::SyncAnchor desde = {"0"});

// An item as the file manager would pass it to create or modify.
fp::PlainItem plantilla(std::string id, std::string padre, std::string nombre, bool carpeta);

// Every identifier of a sequence of calls, in order.
inline std::vector<std::string> todos(const std::vector<std::vector<std::string>>& llamadas) {
  std::vector<std::string> ids;
  for (const auto& l : llamadas) ids.insert(ids.end(), l.begin(), l.end());
  return ids;
}

// A service with the demo account signed in: its token is stored and the client's base
// points at the service; `acme` (editor) and `beta` (lector) are its companies.
class ConServicio : public testing::Test {
 protected:
  ConServicio();
  std::unique_ptr<ExtensionVemlo> extension(const Organizacion& org) const {
    return std::make_unique<ExtensionVemlo>(fp::Domain{org.id, org.nombre});
  }
  // The requests the service saw since the last call, as "METHOD path".
  std::vector<std::string> pedidos() const;
  std::string idEn(const std::string& carpetaId, const std::string& nombre) const;

  ServicioEnMarcha servicio{{"--demo", "--pruebas"}};
  Cuenta cuenta;
  ClienteHttp demo;
  Organizacion acme;
  Organizacion beta;
};

}  // namespace vemlo::finder::pruebas
