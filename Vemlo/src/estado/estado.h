// Estado: the app's one observable state, a QObject created once per process and handed to
// every window, the tray and the settings. Its members change only on the GUI thread and each
// assignment is announced by its signal. It owns the session's client, decides at launch
// whether the stored session is still good, completes a sign-in, signs out, and is where the
// screens report failures. It also chooses the company, keeps the Vemlo folder's domains in
// the registry and the host running, and writes the login item.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QUuid>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "miniaturas.h"
#include "subidas.h"
#include "tarea.h"
#include "vemlo/cliente.h"
#include "vemlo/registros.h"

namespace vemlo::app {

// What differs between the app and its tests: the service, the timers, the platform.
struct OpcionesEstado {
  std::string base;                             // empty: baseInicial()
  std::chrono::milliseconds intervalo{45'000};  // the refresh timer
  std::chrono::milliseconds sondeo{3'000};      // after the settings were opened
  int sondeos = 60;
  std::chrono::milliseconds esperaDelLlavero{500};  // between reads of a late keyring
  int lecturasDelLlavero = 3;
  std::optional<std::filesystem::path> anfitrion;  // vemlo-finder; none: looked up
  std::function<bool(const QUrl&)> abrirUrl;       // empty: the desktop's opener
  std::shared_ptr<Transporte> transporte;          // empty: the process's shared one
};

// What the player shows: a file streamed from its download link.
struct Reproduccion {
  QUuid id;
  QString nombre;
  QUrl url;
};

class Estado : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool cargando READ cargando NOTIFY cargandoCambio)
  Q_PROPERTY(qint64 cambios READ cambios NOTIFY cambiosCambio)
  Q_PROPERTY(QString aviso READ aviso NOTIFY avisoCambio)
  Q_PROPERTY(bool finderListo READ finderListo NOTIFY finderListoCambio)
  Q_PROPERTY(bool finderApagado READ finderApagado NOTIFY finderApagadoCambio)
  Q_PROPERTY(QString abriendo READ abriendo NOTIFY abriendoCambio)

 public:
  explicit Estado(OpcionesEstado opciones = {}, QObject* padre = nullptr);
  ~Estado() override;  // stops the session's work and waits for the workers

  // The members, as the screens read them.
  const std::optional<Cuenta>& cuenta() const { return cuenta_; }
  const std::optional<Organizacion>& empresa() const { return empresa_; }
  bool cargando() const { return cargando_; }
  qint64 cambios() const { return cambios_; }
  QString aviso() const { return aviso_.value_or(QString()); }
  bool hayAviso() const { return aviso_.has_value(); }
  bool finderListo() const { return finderListo_; }
  bool finderApagado() const { return finderApagado_; }
  std::shared_ptr<const Vemlo> api() const { return api_; }
  // The service's base URL (its host is the web site's) and the transport for its calls.
  const std::string& base() const;
  // A client without a session, for the sign-in screen.
  Vemlo anonimo() const { return Vemlo(base(), std::nullopt, transporte()); }
  // The name of the file being fetched for a preview; "" when none is.
  QString abriendo() const { return abriendo_.value_or(QString()); }
  const std::optional<QUrl>& vistaPrevia() const { return vistaPrevia_; }
  const std::optional<Reproduccion>& reproduccion() const { return reproduccion_; }

  // The sign-in screen got a token and its account from the service.
  void iniciar(std::string token, Cuenta cuenta);
  void salir();
  // A screen's service operation failed: an ended session signs out, a cancellation is
  // silent, anything else becomes the notice.
  void mostrar(std::exception_ptr error);
  // A screen's own notice, such as a link copied.
  void avisar(const QString& texto) { ponerAviso(texto); }
  // The notice was read.
  void cerrarAviso();
  // Content changed: open lists reload and the Vemlo folder looks again.
  void cambio();

  void elegir(const Organizacion& empresa);
  void sincronizarDominios();
  void comprobarFinder();
  void refrescarFinder();
  // The settings window should show the Vemlo folder's switch; checks every `sondeo` until it
  // is on, `sondeos` times at most.
  void abrirAjustesFinder();
  void abrirEnFinder();
  // Whether the company's Vemlo folder keeps the item on this device, as last read.
  bool fijado(const std::string& id, bool esCarpeta) const;
  // Keeps the item (a folder: everything in it) on this device or lets it go, through
  // vemlo-finder; a failure becomes the notice.
  void fijar(const std::string& id, bool esCarpeta, bool fijado);
  // Reads again which items the company keeps (after each look at the Vemlo folder).
  void leerFijados();
  // The upload rows.
  Subidas& subidas() { return subidas_; }
  // Uploads each picked file or folder into `carpetaId`, one row and one thread each; nothing
  // while signed out.
  void subir(const std::vector<std::filesystem::path>& rutas, const std::string& carpetaId);
  void limpiarSubidas() { subidas_.limpiar(); }

  // A file fetched into the opened-files cache (once per date), then previewed in the app or
  // handed to the desktop's application for its type.
  void previsualizar(const ArchivoRemoto& archivo);
  void abrirConApp(const ArchivoRemoto& archivo);
  // Saves the file at `destino` and shows it selected in the file manager.
  void descargar(const ArchivoRemoto& archivo, const std::filesystem::path& destino);
  // The player streams the file from a download link.
  void reproducir(const ArchivoRemoto& archivo);
  // The file's thumbnail for a view, handed to `listo` on the GUI thread while `dueno` lives:
  // at once from the cache, else once fetched or made (a null image when there is none).
  // Nothing comes once `vigencia` is stopped before the work began, as when the view moved on.
  void cargarMiniatura(const ArchivoRemoto& archivo, QObject* dueno,
                       std::function<void(const QImage&)> listo, std::stop_token vigencia = {});
  std::optional<QImage> miniaturaGuardada(const std::string& id) const {
    return miniaturas_.buscar(id);
  }
  // The screens clear what they showed.
  void cerrarVistaPrevia();
  void cerrarReproduccion();

  // Runs a screen's service call off the GUI thread; `listo` gets its Resultado on the GUI
  // thread while `dueno` lives and the session it was made in goes on. `parada()` is the
  // session's cancellation, for the call to take.
  template <class Trabajo, class Listo>
  void llamar(QObject* dueno, Trabajo trabajo, Listo listo);
  std::stop_token parada() const { return parar_.get_token(); }

  // Writes or removes the login item; fails with std::filesystem::filesystem_error.
  void ponerArranque(bool encendido);
  bool arranqueEncendido() const;

 signals:
  void cuentaCambio();
  void empresaCambio();
  void cargandoCambio();
  void cambiosCambio();
  void avisoCambio();
  void finderListoCambio();
  void finderApagadoCambio();
  void arranqueCambio();
  void fijadosCambio();
  void abriendoCambio();
  void vistaPreviaCambio();
  void reproduccionCambio();
  // The app's settings window should open at the Vemlo folder's switch.
  void ajustesFinderPedidos();

 private:
  std::shared_ptr<Transporte> transporte() const;
  void arrancar();
  void establecer(Cuenta cuenta, std::shared_ptr<const Vemlo> api);
  void terminarSesion();
  std::optional<Organizacion> empresaAlInicio() const;
  void sondear(int quedan);
  void terminarEnvio(const QUuid& fila, std::exception_ptr fallo);
  bool abrir(const QUrl& url);
  void ponerAbriendo(std::optional<QString> nombre);

  // Setters that announce every assignment.
  void ponerCuenta(std::optional<Cuenta> cuenta);
  void ponerEmpresa(std::optional<Organizacion> empresa);
  void ponerCargando(bool valor);
  void ponerAviso(std::optional<QString> aviso);
  void ponerFinderListo(bool valor);
  void ponerFinderApagado(bool valor);

  // The state's own service calls.
  template <class Trabajo, class Listo>
  void enSesion(Trabajo trabajo, Listo listo) {
    llamar(this, std::move(trabajo), std::move(listo));
  }

  const OpcionesEstado opciones_;
  std::optional<Cuenta> cuenta_;
  std::optional<Organizacion> empresa_;
  bool cargando_ = true;
  qint64 cambios_ = 0;
  std::optional<QString> aviso_;
  bool finderListo_ = false;
  bool finderApagado_ = false;
  std::set<std::string> fijados_;  // the company's items kept on this device
  std::shared_ptr<const Vemlo> api_;
  std::optional<QString> abriendo_;
  std::optional<QUrl> vistaPrevia_;
  std::optional<Reproduccion> reproduccion_;
  QTimer* reloj_ = nullptr;       // a child named "reloj"; one per session
  std::uint64_t generacion_ = 0;  // bumped when a session ends: late results are dropped
  std::stop_source parar_;        // the current session's work; replaced with the generation
  Subidas subidas_;
  CacheDeMiniaturas miniaturas_;
  Turnos turnos_{3};      // thumbnails made here at once
  QThreadPool servicio_;  // service calls, the registry, the host: I/O-bound
  QThreadPool imagenes_;  // thumbnails, apart so that they never hold up a service call
  // One thread per picked item, as an upload may take hours; joined before the rest goes.
  struct Envio {
    std::atomic<bool> terminado{false};
    std::jthread hilo;
  };
  std::list<Envio> envios_;
};

template <class Trabajo, class Listo>
void Estado::llamar(QObject* dueno, Trabajo trabajo, Listo listo) {
  lanzar(servicio_, dueno, std::move(trabajo),
         [yo = QPointer<Estado>(this), generacion = generacion_,
          listo = std::move(listo)](auto resultado) mutable {
           if (yo && generacion == yo->generacion_) listo(std::move(resultado));
         });
}

}  // namespace vemlo::app
