// Launch, sign-in, sign-out and notices: the session's life in Estado.
#include "estado.h"

#include <QSettings>

#include <condition_variable>
#include <mutex>

#include "dominios.h"
#include "tarea.h"
#include "textos.h"
#include "vemlo/base.h"
#include "vemlo/error.h"
#include "vemlo/mensajes.h"
#include "vemlo/sesion.h"
#include "vemlo/transporte_curl.h"

namespace vemlo::app {
namespace {

// A 401, or the service's word that the session is over.
bool sesionTerminada(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const ErrorVemlo& e) {
    return e.caso() == ErrorVemlo::Caso::api && (e.estado() == 401 || e.codigo() == "sesion");
  } catch (...) {
    return false;
  }
}

// Sleeps, unless `parar` comes first.
void dormir(std::chrono::milliseconds pausa, const std::stop_token& parar) {
  std::mutex candado;
  std::condition_variable_any despertar;
  std::unique_lock bloqueo(candado);
  despertar.wait_for(bloqueo, parar, pausa, [] { return false; });
}

// The stored token. Right after login the keyring may not answer yet, which reads as no token:
// a few more reads before concluding that there is none.
std::optional<std::string> leerSesion(const OpcionesEstado& o, const std::stop_token& parar) {
  auto token = SesionGuardada::leer();
  for (int i = 1; !token && i < o.lecturasDelLlavero && !parar.stop_requested(); ++i) {
    dormir(o.esperaDelLlavero, parar);
    token = SesionGuardada::leer();
  }
  return token;
}

// What the launch check found: a client and its account, a client that could not be checked
// (and why), or nothing (no session, or one the service ended, now forgotten).
struct Arranque {
  std::shared_ptr<const Vemlo> api;
  std::optional<Cuenta> cuenta;
  std::exception_ptr fallo;
};

Arranque comprobarSesion(const std::string& base, const OpcionesEstado& o,
                         std::shared_ptr<Transporte> transporte, const std::stop_token& parar) {
  auto token = leerSesion(o, parar);
  if (!token) return {};
  auto api = std::make_shared<const Vemlo>(base, std::move(token), std::move(transporte));
  try {
    return {api, api->yo(parar), nullptr};
  } catch (...) {
    if (!sesionTerminada(std::current_exception()))
      return {api, std::nullopt, std::current_exception()};
    SesionGuardada::borrar();
    return {};
  }
}

}  // namespace

Estado::Estado(OpcionesEstado opciones, QObject* padre)
    : QObject(padre), opciones_(std::move(opciones)) {
  servicio_.setMaxThreadCount(8);
  imagenes_.setMaxThreadCount(4);
  QMetaObject::invokeMethod(this, &Estado::arrancar, Qt::QueuedConnection);
}

Estado::~Estado() {
  parar_.request_stop();
  envios_.clear();
  servicio_.waitForDone();
  imagenes_.waitForDone();
}

std::shared_ptr<Transporte> Estado::transporte() const {
  return opciones_.transporte ? opciones_.transporte : TransporteCurl::compartido();
}

const std::string& Estado::base() const {
  return opciones_.base.empty() ? baseInicial() : opciones_.base;
}

void Estado::arrancar() {
  enSesion([base = base(), o = opciones_, transporte = transporte(),
            parar = parar_.get_token()] { return comprobarSesion(base, o, transporte, parar); },
           [this](Resultado<Arranque> r) {
             auto arranque = r.valor.value_or(Arranque{});
             if (arranque.cuenta) {
               establecer(std::move(*arranque.cuenta), std::move(arranque.api));
             } else {
               api_ = std::move(arranque.api);
               if (arranque.fallo && !esCancelacion(arranque.fallo))
                 ponerAviso(descripcionDe(arranque.fallo));
             }
             ponerCargando(false);
           });
}

void Estado::iniciar(std::string token, Cuenta cuenta) {
  auto api = std::make_shared<const Vemlo>(base(), token, transporte());
  enSesion([token] { SesionGuardada::guardar(token); },
           [this, cuenta = std::move(cuenta), api](Resultado<Hecho> r) mutable {
             establecer(std::move(cuenta), std::move(api));
             // A launch check still under way was dropped with the old generation.
             if (cargando_) ponerCargando(false);
             // Signed in for this run, but the next launch will not find the session.
             if (r.fallo) ponerAviso(descripcionDe(r.fallo));
           });
}

void Estado::establecer(Cuenta cuenta, std::shared_ptr<const Vemlo> api) {
  ++generacion_;  // whatever an earlier session left running no longer applies
  api_ = std::move(api);
  ponerCuenta(std::move(cuenta));
  ponerEmpresa(empresaAlInicio());
  sincronizarDominios();
  delete reloj_;
  reloj_ = new QTimer(this);
  reloj_->setObjectName("reloj");
  reloj_->setInterval(opciones_.intervalo);
  connect(reloj_, &QTimer::timeout, this, [this] {
    refrescarFinder();
    comprobarFinder();
  });
  reloj_->start();
  QSettings ajustes("Vemlo", "Vemlo");
  if (ajustes.value("arranqueElegido", false).toBool()) return;
  ajustes.setValue("arranqueElegido", true);
  try {
    ponerArranque(true);
  } catch (const std::exception&) {
    // The settings' switch shows what the desktop has; nothing to tell here.
  }
}

// Ends the session's work: what runs is asked to stop, and what it hands back is dropped.
void Estado::terminarSesion() {
  ++generacion_;
  parar_.request_stop();
  parar_ = std::stop_source();
}

void Estado::salir() {
  auto api = std::exchange(api_, nullptr);
  terminarSesion();
  delete std::exchange(reloj_, nullptr);
  const auto generacion = generacion_;
  lanzar(
      servicio_, this,
      [api] {
        try {
          if (api) api->cerrarSesion();
        } catch (const std::exception&) {
          // Offline or refused: this computer forgets the session all the same.
        }
        SesionGuardada::borrar();
        quitarTodosLosDominios();
      },
      [this, generacion](Resultado<Hecho>) {
        ponerFinderListo(false);
        if (generacion != generacion_) return;  // signed in again meanwhile
        ponerCuenta(std::nullopt);
        ponerEmpresa(std::nullopt);
        subidas_.vaciar();
      });
}

void Estado::mostrar(std::exception_ptr error) {
  if (!error || esCancelacion(error)) return;
  if (!sesionTerminada(error)) return ponerAviso(descripcionDe(error));
  const auto token = api_ ? api_->token() : std::nullopt;
  terminarSesion();
  api_.reset();
  ponerCuenta(std::nullopt);
  ponerAviso(QString::fromStdString(mensaje("sesion", enEspanol())));
  lanzar(
      servicio_, this,
      [token] {
        // Only the session that ended: a sign-in since then stored another one.
        if (SesionGuardada::leer() == token) SesionGuardada::borrar();
        quitarTodosLosDominios();
      },
      [this](Resultado<Hecho>) { ponerFinderListo(false); });
}

void Estado::cerrarAviso() {
  ponerAviso(std::nullopt);
}

void Estado::cambio() {
  ++cambios_;
  emit cambiosCambio();
  refrescarFinder();
}

void Estado::ponerCuenta(std::optional<Cuenta> cuenta) {
  cuenta_ = std::move(cuenta);
  emit cuentaCambio();
}

void Estado::ponerEmpresa(std::optional<Organizacion> empresa) {
  empresa_ = std::move(empresa);
  emit empresaCambio();
}

void Estado::ponerCargando(bool valor) {
  cargando_ = valor;
  emit cargandoCambio();
}

void Estado::ponerAviso(std::optional<QString> aviso) {
  aviso_ = std::move(aviso);
  emit avisoCambio();
}

void Estado::ponerFinderListo(bool valor) {
  finderListo_ = valor;
  emit finderListoCambio();
}

void Estado::ponerFinderApagado(bool valor) {
  finderApagado_ = valor;
  emit finderApagadoCambio();
}

}  // namespace vemlo::app
