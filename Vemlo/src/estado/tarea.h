// The app's one threading rule: blocking work (service calls, the session store, the domain
// registry, the host's socket, files) runs on a worker of a pool, and its outcome comes back
// once, on the GUI thread, to a continuation that runs only while its owner lives. Workers get
// copies and never touch a QObject.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace vemlo::app {

// The value of a finished piece of work, or its failure.
template <class T>
struct Resultado {
  std::optional<T> valor;
  std::exception_ptr fallo;
};

// A piece of work without a value of its own.
struct Hecho {};

// Runs `trabajo()` on `pool`; then `listo(Resultado)` on the GUI thread, unless `dueno` was
// destroyed meanwhile. The owner pointer is only read on the GUI thread.
template <class Trabajo, class Listo>
void lanzar(QThreadPool& pool, QObject* dueno, Trabajo trabajo, Listo listo) {
  using Bruto = std::invoke_result_t<Trabajo&>;
  using T = std::conditional_t<std::is_void_v<Bruto>, Hecho, Bruto>;
  auto tarea = std::make_shared<std::pair<Trabajo, Listo>>(std::move(trabajo), std::move(listo));
  pool.start([guardia = QPointer<QObject>(dueno), tarea]() mutable {
    auto resultado = std::make_shared<Resultado<T>>();
    try {
      if constexpr (std::is_void_v<Bruto>) {
        tarea->first();
        resultado->valor = Hecho{};
      } else {
        resultado->valor = tarea->first();
      }
    } catch (...) {
      resultado->fallo = std::current_exception();
    }
    QMetaObject::invokeMethod(
        qApp,
        [guardia = std::move(guardia), tarea, resultado] {
          if (guardia) tarea->second(std::move(*resultado));
        },
        Qt::QueuedConnection);
  });
}

}  // namespace vemlo::app
