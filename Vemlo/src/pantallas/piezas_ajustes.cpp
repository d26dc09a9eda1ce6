// The settings pages' shared layout, links and switches.
#include "piezas_ajustes.h"

#include <QDesktopServices>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <filesystem>

#include "estado.h"
#include "textos.h"

namespace vemlo::app {

QVBoxLayout* crearColumna(QWidget* pagina, int ancho) {
  auto* desplazable = new QScrollArea(pagina);
  desplazable->setFrameShape(QFrame::NoFrame);
  desplazable->setWidgetResizable(true);
  auto* contenido = new QWidget;
  auto* centro = new QHBoxLayout(contenido);
  auto* bloque = new QWidget(contenido);
  bloque->setMaximumWidth(ancho);
  centro->addStretch();
  centro->addWidget(bloque, 1);
  centro->addStretch();
  desplazable->setWidget(contenido);
  auto* exterior = new QVBoxLayout(pagina);
  exterior->setContentsMargins(0, 0, 0, 0);
  exterior->addWidget(desplazable);
  auto* columna = new QVBoxLayout(bloque);
  columna->setContentsMargins(12, 16, 12, 16);
  columna->setSpacing(8);
  return columna;
}

QFormLayout* agregarGrupo(QVBoxLayout* columna, const QString& titulo) {
  if (columna->count() > 0) columna->addSpacing(12);
  if (!titulo.isEmpty()) {
    auto* etiqueta = new QLabel(titulo);
    auto fuente = etiqueta->font();
    fuente.setBold(true);
    etiqueta->setFont(fuente);
    columna->addWidget(etiqueta);
  }
  auto* tarjeta = new QFrame;
  tarjeta->setObjectName("tarjeta");
  // Colours from the palette, so that dark themes get a dark card.
  tarjeta->setStyleSheet(
      QStringLiteral("QFrame#tarjeta { background: palette(base); border: 1px solid palette(mid);"
                     " border-radius: 8px; }"));
  columna->addWidget(tarjeta);
  auto* filas = new QFormLayout(tarjeta);
  filas->setContentsMargins(16, 12, 16, 12);
  filas->setHorizontalSpacing(24);
  filas->setVerticalSpacing(10);
  filas->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  filas->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return filas;
}

QPushButton* crearEnlace(const QString& texto, const QUrl& url, QWidget* padre) {
  auto* boton = new QPushButton(texto, padre);
  boton->setFlat(true);
  boton->setCursor(Qt::PointingHandCursor);
  boton->setToolTip(url.toString());
  // The palette's link colour; underlined on hover and on keyboard focus.
  boton->setStyleSheet(QStringLiteral(
      "QPushButton { text-align: left; padding: 2px 0; border: none; color: palette(link); }"
      " QPushButton:hover, QPushButton:focus { text-decoration: underline; }"));
  QObject::connect(boton, &QPushButton::clicked, boton, [url] { QDesktopServices::openUrl(url); });
  return boton;
}

bool finderEncendido(const Estado& estado) {
  return estado.finderListo() && !estado.finderApagado();
}

QString textoDelFinder(const Estado& estado) {
  return finderEncendido(estado) ? texto("On", "Encendido") : texto("Off", "Apagado");
}

bool cambiarArranque(Estado& estado, bool encendido) {
  try {
    estado.ponerArranque(encendido);
  } catch (const std::filesystem::filesystem_error&) {
    // The desktop refused: the switch shows what is really there.
  }
  return estado.arranqueEncendido();
}

CasillaArranque::CasillaArranque(Estado& estado, const QString& etiqueta, QWidget* padre)
    : QCheckBox(etiqueta, padre), estado_(estado) {
  connect(this, &QCheckBox::clicked, this,
          [this](bool encendido) { setChecked(cambiarArranque(estado_, encendido)); });
  // Queued: the state announces the change before it writes the entry.
  connect(&estado_, &Estado::arranqueCambio, this, &CasillaArranque::mostrarReal,
          Qt::QueuedConnection);
  mostrarReal();
}

void CasillaArranque::mostrarReal() {
  setChecked(estado_.arranqueEncendido());
}

}  // namespace vemlo::app
