// The empty state.
#include "vacio.h"

#include <QLabel>
#include <QVBoxLayout>

#include "iconos.h"

namespace vemlo::app {

Vacio::Vacio(const QString& simbolo, const QString& texto, QWidget* padre)
    : QWidget(padre), icono_(new QLabel(this)), texto_(new QLabel(this)) {
  auto* capas = new QVBoxLayout(this);
  capas->addStretch();
  capas->addWidget(icono_, 0, Qt::AlignHCenter);
  capas->addWidget(texto_);  // full width: a wrapped label would shrink to its shortest line
  capas->addStretch();
  texto_->setWordWrap(true);
  texto_->setAlignment(Qt::AlignCenter);
  texto_->setForegroundRole(QPalette::PlaceholderText);
  poner(simbolo, texto);
}

void Vacio::poner(const QString& simbolo, const QString& texto) {
  icono_->setPixmap(icono(simbolo).pixmap(64, 64, QIcon::Disabled));
  texto_->setText(texto);
}

QString Vacio::texto() const {
  return texto_->text();
}

}  // namespace vemlo::app
