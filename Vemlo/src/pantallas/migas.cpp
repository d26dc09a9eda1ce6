// The breadcrumbs' buttons.
#include "migas.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include "iconos.h"

namespace vemlo::app {

Migas::Migas(QWidget* padre) : QWidget(padre), fila_(new QHBoxLayout(this)) {
  fila_->setContentsMargins(0, 0, 0, 0);
  fila_->setSpacing(2);
}

void Migas::poner(const std::vector<PasoRuta>& ruta, const QString& nombreRaiz) {
  while (auto* parte = fila_->takeAt(0)) {
    delete parte->widget();
    delete parte;
  }
  for (std::size_t i = 0; i < ruta.size(); ++i) {
    if (i > 0) {
      auto* chevron = new QLabel(this);
      chevron->setPixmap(icono("chevron.right").pixmap(12, 12));
      fila_->addWidget(chevron);
    }
    const auto& paso = ruta[i];
    auto* boton = new QToolButton(this);
    boton->setAutoRaise(true);
    boton->setText(paso.esRaiz ? nombreRaiz : QString::fromStdString(paso.nombre));
    if (i + 1 == ruta.size()) {
      auto fuente = boton->font();
      fuente.setBold(true);
      boton->setFont(fuente);
    }
    const auto id = paso.esRaiz ? QString() : QString::fromStdString(paso.id);
    connect(boton, &QToolButton::clicked, this, [this, id] { emit elegido(id); });
    fila_->addWidget(boton);
  }
  fila_->addStretch();
}

}  // namespace vemlo::app
