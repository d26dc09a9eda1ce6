// The paints watched for the start benchmark, through an event filter on the whole app that
// removes itself once the three lines are out.
#include "medida_arranque.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>

#include <cstdio>
#include <cstdlib>

#include "principal.h"

namespace vemlo::app {
namespace {

bool enPrincipal(const QWidget* w) {
  for (; w; w = w->parentWidget())
    if (qobject_cast<const Principal*>(w)) return true;
  return false;
}

bool conFilas(const QWidget* w) {
  for (; w; w = w->parentWidget()) {
    const auto* vista = qobject_cast<const QAbstractItemView*>(w);
    if (vista && vista->model() && vista->model()->rowCount(vista->rootIndex()) > 0) return true;
  }
  return false;
}

class MedidaArranque : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* objeto, QEvent* evento) override {
    if (evento->type() != QEvent::Paint || !objeto->isWidgetType()) return false;
    const auto* w = static_cast<const QWidget*>(objeto);
    marcar(pintada_, true, "pintada");
    marcar(principal_, enPrincipal(w), "principal");
    marcar(listado_, principal_ && conFilas(w), "listado");
    if (listado_) deleteLater();
    return false;
  }

 private:
  static void marcar(bool& hecho, bool ahora, const char* linea) {
    if (hecho || !ahora) return;
    hecho = true;
    std::fprintf(stderr, "%s\n", linea);
    std::fflush(stderr);
  }

  bool pintada_ = false;
  bool principal_ = false;
  bool listado_ = false;
};

}  // namespace

void medirArranqueSiSePide(QApplication& app) {
  if (!std::getenv("VEMLO_MEDIR_ARRANQUE")) return;
  app.installEventFilter(new MedidaArranque(&app));
}

}  // namespace vemlo::app
