// What the mount tests share: a reference service with the demo signed in, a vemlo-finder
// process serving the domains registered for it, and shell commands run on the mount.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "apoyo.h"
#include "finder/dominios.h"
#include "http_servicio.h"
#include "servicio_en_marcha.h"

namespace vemlo::finder::host::pruebas {

using namespace vemlo::pruebas;
using namespace std::chrono_literals;

class ConCarpeta : public testing::Test {
 protected:
  // Skips without /dev/fuse; else starts the service, stores the session and registers the
  // company `empresa` ("Acme" or "Beta").
  void SetUp() override;
  void TearDown() override;

  void registrar(const std::string& empresa);
  // Starts vemlo-finder and waits until the host says each enabled domain is mounted.
  void arrancarHost();
  // SIGTERM (expects a clean exit) or SIGKILL.
  void detenerHost();
  void matarHost();

  std::filesystem::path punto(const std::string& empresa = "Acme") const;
  Salida enMontaje(const std::string& orden) const { return sh(orden, punto()); }
  // The host's answer to a control line (e.g. "estado", "senal ID").
  std::string pedir(const std::string& linea) const;
  // The host's status (`vemlo-finder --estado --json`), or null when it does not answer.
  nlohmann::json estado() const;
  // True once the host has nothing pending to upload for any domain.
  bool sinPendientes(std::chrono::milliseconds plazo = 30s) const;
  // The bytes of the service's file at `ruta` below Acme's root ("Fotos/playa.jpg"), or
  // nothing when there is none (or its version changed while it was being fetched).
  std::optional<std::string> enServicio(const std::string& ruta) const;
  const Organizacion& empresa(const std::string& nombre) const;

  // A file in the test's HOME with these bytes; gives its path.
  std::string local(const std::string& nombre, const std::string& bytes) const;
  // True once the service's file at `ruta` has these bytes.
  bool llega(const std::string& ruta, const std::string& bytes) const {
    return esperar([&] { return enServicio(ruta) == bytes; });
  }

  std::unique_ptr<ServicioEnMarcha> servicio;
  Cuenta cuenta;
  std::unique_ptr<ClienteHttp> demo;
  pid_t host = -1;
};

// Acme's folder, mounted.
class Carpeta : public ConCarpeta {
 protected:
  void SetUp() override {
    ConCarpeta::SetUp();
    if (IsSkipped()) return;
    registrar("Acme");
    arrancarHost();
  }
};

}  // namespace vemlo::finder::host::pruebas
