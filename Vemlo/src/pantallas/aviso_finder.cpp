// The Vemlo folder's banner.
#include "aviso_finder.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "estado.h"
#include "iconos.h"
#include "textos.h"

namespace vemlo::app {

AvisoActivarFinder::AvisoActivarFinder(Estado& estado, QWidget* padre) : QFrame(padre) {
  setObjectName("avisoFinder");
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::AlternateBase);
  auto* capas = new QHBoxLayout(this);
  auto* simbolo = new QLabel(this);
  simbolo->setPixmap(icono("externaldrive.badge.exclamationmark").pixmap(32, 32));
  capas->addWidget(simbolo);
  auto* textos = new QVBoxLayout;
  auto* titulo = new QLabel(texto("Turn on the Vemlo folder in the file manager",
                                  "Activa la carpeta Vemlo en el gestor de archivos"),
                            this);
  auto fuente = titulo->font();
  fuente.setBold(true);
  titulo->setFont(fuente);
  textos->addWidget(titulo);
  auto* detalle = new QLabel(texto("The Vemlo folder is switched off. Turn it on in Settings.",
                                   "La carpeta Vemlo está apagada. Enciéndela en Ajustes."),
                             this);
  detalle->setWordWrap(true);
  textos->addWidget(detalle);
  capas->addLayout(textos, 1);
  auto* boton = new QPushButton(texto("Open Settings", "Abrir Ajustes"), this);
  connect(boton, &QPushButton::clicked, &estado, &Estado::abrirAjustesFinder);
  capas->addWidget(boton);
  const auto poner = [this, &estado] { setVisible(estado.finderApagado()); };
  connect(&estado, &Estado::finderApagadoCambio, this, poner);
  poner();
}

}  // namespace vemlo::app
