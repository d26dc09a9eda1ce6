// Uploads of picked files and folders: one row and one thread per item. Progress and the end
// come back to the GUI thread by the row's id, and only while Estado lives.
#include <QPointer>

#include "envio.h"
#include "estado.h"
#include "textos.h"

namespace vemlo::app {
namespace {

namespace fs = std::filesystem;

// Runs `f` on the GUI thread while `estado` lives.
template <class F>
void enLaInterfaz(QPointer<Estado> estado, F f) {
  QMetaObject::invokeMethod(
      qApp,
      [estado = std::move(estado), f = std::move(f)] {
        if (estado) f(*estado);
      },
      Qt::QueuedConnection);
}

QString nombreDe(const fs::path& ruta) {
  auto normal = ruta.lexically_normal();
  if (!normal.has_filename()) normal = normal.parent_path();
  return QString::fromStdString(normal.filename().string());
}

}  // namespace

void Estado::subir(const std::vector<fs::path>& rutas, const std::string& carpetaId) {
  if (!api_) return;
  std::erase_if(envios_, [](const Envio& e) { return e.terminado.load(); });
  for (const auto& ruta : rutas) {
    const auto fila = subidas_.agregar(nombreDe(ruta));
    auto& envio = envios_.emplace_back();
    envio.hilo = std::jthread([api = api_, ruta, carpetaId, fila, yo = QPointer<Estado>(this),
                               parar = parar_.get_token(), &envio] {
      std::exception_ptr fallo;
      try {
        enviar(
            *api, ruta, carpetaId,
            [&](double v) {
              enLaInterfaz(yo, [fila, v](Estado& e) { e.subidas_.avanzar(fila, v); });
            },
            parar);
      } catch (...) {
        fallo = std::current_exception();
      }
      enLaInterfaz(yo, [fila, fallo](Estado& e) { e.terminarEnvio(fila, fallo); });
      envio.terminado = true;
    });
  }
}

// The row ends ready or failed, and the lists reload either way.
void Estado::terminarEnvio(const QUuid& fila, std::exception_ptr fallo) {
  if (!fallo) {
    subidas_.terminar(fila, EstadoSubida::lista);
    return cambio();
  }
  try {
    std::rethrow_exception(fallo);
  } catch (const fs::filesystem_error& e) {
    // Something here could not be read: say what, and not as a service failure.
    const auto mensaje = texto("“%1” couldn't be read: %2", "No se pudo leer «%1»: %2")
                             .arg(QString::fromStdString(e.path1().filename().string()),
                                  QString::fromStdString(e.code().message()));
    subidas_.terminar(fila, EstadoSubida::fallo, mensaje);
    ponerAviso(mensaje);
  } catch (...) {
    subidas_.terminar(fila, EstadoSubida::fallo, descripcionDe(fallo));
    mostrar(fallo);
  }
  cambio();
}

}  // namespace vemlo::app
