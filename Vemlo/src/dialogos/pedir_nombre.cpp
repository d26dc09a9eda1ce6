// The name dialog.
#include "pedir_nombre.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "estado.h"
#include "textos.h"

namespace vemlo::app {

PedirNombre::PedirNombre(Estado& estado, const QString& titulo, const QString& inicial,
                         const QString& boton, Hacer hacer, QWidget* padre)
    : QDialog(padre),
      estado_(estado),
      hacer_(std::move(hacer)),
      nombre_(new QLineEdit(inicial, this)),
      error_(new QLabel(this)) {
  setWindowTitle(titulo);
  setFixedWidth(380);
  auto* capas = new QVBoxLayout(this);
  capas->setContentsMargins(20, 20, 20, 20);
  capas->setSpacing(12);
  auto* cabeza = new QLabel(titulo, this);
  auto fuente = cabeza->font();
  fuente.setBold(true);
  cabeza->setFont(fuente);
  capas->addWidget(cabeza);
  nombre_->setObjectName("nombre");
  nombre_->setAccessibleName(titulo);
  nombre_->selectAll();
  capas->addWidget(nombre_);
  error_->setObjectName("error");
  error_->setWordWrap(true);
  error_->hide();
  capas->addWidget(error_);
  auto* botones = new QDialogButtonBox(this);
  botones->addButton(texto("Cancel", "Cancelar"), QDialogButtonBox::RejectRole);
  confirmar_ = botones->addButton(boton, QDialogButtonBox::AcceptRole);
  confirmar_->setDefault(true);
  connect(botones, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(botones, &QDialogButtonBox::accepted, this, &PedirNombre::confirmar);
  const auto vacio = [this] { confirmar_->setEnabled(!nombre_->text().trimmed().isEmpty()); };
  connect(nombre_, &QLineEdit::textChanged, this, vacio);
  vacio();
  capas->addWidget(botones);
}

QString PedirNombre::error() const {
  return error_->isHidden() ? QString() : error_->text();
}

void PedirNombre::confirmar() {
  confirmar_->setEnabled(false);
  error_->hide();
  estado_.llamar(
      this,
      [hacer = hacer_, nombre = nombre_->text().toStdString(), parar = estado_.parada()] {
        hacer(nombre, parar);
      },
      [this](Resultado<Hecho> r) {
        confirmar_->setEnabled(true);
        if (!r.fallo) return accept();
        error_->setText(descripcionDe(r.fallo));
        error_->show();
      });
}

}  // namespace vemlo::app
