// What the state's tests share: a reference service, and an Estado of its own against it with
// short timers, a transport that goes with it and an opener that only records (or the
// desktop's own).
#pragma once

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "estado.h"
#include "finder/dominios.h"
#include "http_servicio.h"
#include "servicio_en_marcha.h"
#include "vemlo/transporte_curl.h"

namespace vemlo::app {

using namespace vemlo::pruebas;
using namespace std::chrono_literals;

inline bool esperar(const std::function<bool()>& condicion) {
  return QTest::qWaitFor(condicion, 10'000);
}

template <class T>
std::vector<std::string> nombres(const std::vector<T>& lista) {
  std::vector<std::string> resultado;
  for (const auto& e : lista) resultado.push_back(e.nombre);
  return resultado;
}

inline std::vector<std::pair<std::string, bool>> registro() {
  std::vector<std::pair<std::string, bool>> lista;
  for (const auto& d : finder::getDomains()) lista.emplace_back(d.displayName, d.enabled);
  return lista;
}

class ConEstado : public testing::Test {
 protected:
  // A state of the service, or of `base` in front of it.
  std::unique_ptr<Estado> crear(const std::string& base = {}) {
    OpcionesEstado o;
    o.base = base.empty() ? servicio.base() : base;
    o.intervalo = 100ms;
    o.sondeo = 50ms;
    o.esperaDelLlavero = 0ms;
    o.anfitrion = "/bin/true";  // a host that starts and leaves: the registry is what is checked
    // A transport of its own, gone with the state: no idle connection keeps the service.
    o.transporte = std::make_shared<TransporteCurl>();
    if (!abridorDelEscritorio)
      o.abrirUrl = [this](const QUrl& url) {
        abiertas.push_back(url);
        return true;
      };
    auto estado = std::make_unique<Estado>(o);
    EXPECT_TRUE(esperar([&] { return !estado->cargando(); }));
    return estado;
  }

  // Signs the demo in through the state, as the sign-in screen does.
  void entrarComoDemo(Estado& estado) {
    auto cuenta = entrar(servicio.base(), correoDemo);
    const auto token = *cuenta.token;
    QSignalSpy establecida(&estado, &Estado::cuentaCambio);
    QSignalSpy dominios(&estado, &Estado::finderListoCambio);
    estado.iniciar(token, std::move(cuenta));
    ASSERT_TRUE(esperar([&] { return !establecida.empty() && !dominios.empty(); }));
    ASSERT_TRUE(estado.cuenta() && estado.finderListo());
  }

  ServicioEnMarcha servicio;
  std::vector<QUrl> abiertas;
  bool abridorDelEscritorio = false;  // true: crear() keeps the desktop's opener
};

// The demo signed in, with a plain HTTP client of its session to look at the service.
class ConDemo : public ConEstado {
 protected:
  void SetUp() override {
    estado = crear();
    entrarComoDemo(*estado);
    demo = std::make_unique<ClienteHttp>(servicio.base(), *estado->api()->token());
  }

  std::unique_ptr<Estado> estado;
  std::unique_ptr<ClienteHttp> demo;
};

}  // namespace vemlo::app
