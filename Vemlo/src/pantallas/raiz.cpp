// Which screen the window shows.
#include "raiz.h"

#include <QProgressBar>
#include <QVBoxLayout>

#include "entrar.h"
#include "estado.h"
#include "principal.h"

namespace vemlo::app {

Raiz::Raiz(Estado& estado, QWidget* padre)
    : QStackedWidget(padre), estado_(estado), espera_(new QWidget(this)) {
  auto* capas = new QVBoxLayout(espera_);
  auto* progreso = new QProgressBar(espera_);
  progreso->setRange(0, 0);
  progreso->setMaximumWidth(160);
  capas->addWidget(progreso, 0, Qt::AlignCenter);
  addWidget(espera_);
  connect(&estado_, &Estado::cargandoCambio, this, &Raiz::poner);
  connect(&estado_, &Estado::cuentaCambio, this, &Raiz::poner);
  poner();
}

void Raiz::poner() {
  if (estado_.cargando()) return setCurrentWidget(espera_);
  if (estado_.cuenta()) return mostrar<Principal>();
  mostrar<Entrar>();
}

template <class Pantalla>
void Raiz::mostrar() {
  if (qobject_cast<Pantalla*>(currentWidget())) return;
  auto* anterior = currentWidget() == espera_ ? nullptr : currentWidget();
  auto* nueva = new Pantalla(estado_, this);
  addWidget(nueva);
  setCurrentWidget(nueva);
  if (anterior) anterior->deleteLater();
}

}  // namespace vemlo::app
