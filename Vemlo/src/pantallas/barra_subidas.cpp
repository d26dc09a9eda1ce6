// The upload bar and its rows. The header follows the model's rows and states; progress
// reports only repaint their row.
#include "barra_subidas.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>

#include "estado.h"
#include "iconos.h"
#include "textos.h"

namespace vemlo::app {
namespace {

constexpr int anchoNombre = 160;
constexpr int margen = 6;
constexpr int lado = 16;  // the symbols' size
constexpr int filasVisibles = 5;

// The bar of a running upload, drawn by the style as a real progress bar would be.
void pintarAvance(QPainter* pintor, const QStyleOptionViewItem& opcion, QRect zona, double avance) {
  QStyleOptionProgressBar barra;
  barra.initFrom(opcion.widget);
  barra.rect = zona.adjusted(0, 3, 0, -3);
  barra.minimum = 0;
  barra.maximum = 1000;
  barra.progress = static_cast<int>(std::clamp(avance, 0.0, 1.0) * 1000);
  barra.textVisible = false;
  const auto* estilo = opcion.widget ? opcion.widget->style() : QApplication::style();
  estilo->drawControl(QStyle::CE_ProgressBar, &barra, pintor, opcion.widget);
}

// A finished upload: its symbol, then the sentence, elided to what fits.
void pintarFin(QPainter* pintor, const QStyleOptionViewItem& opcion, QRect zona,
               const FilaSubida::Apariencia& apariencia) {
  const QRect simbolo(zona.left(), zona.center().y() - lado / 2 + 1, lado, lado);
  icono(apariencia.simbolo).paint(pintor, simbolo);
  zona.setLeft(simbolo.right() + margen);
  const auto frase = opcion.fontMetrics.elidedText(apariencia.texto, Qt::ElideRight, zona.width());
  pintor->drawText(zona, Qt::AlignVCenter | Qt::AlignLeft, frase);
}

}  // namespace

FilaSubida::Apariencia FilaSubida::apariencia(const QModelIndex& indice) {
  Apariencia a{indice.data(Subidas::nombreRol).toString(), std::nullopt, {}, {}};
  switch (static_cast<EstadoSubida>(indice.data(Subidas::estadoRol).toInt())) {
    case EstadoSubida::subiendo:
      a.avance = indice.data(Subidas::avanceRol).toDouble();
      break;
    case EstadoSubida::lista:
      a.simbolo = QStringLiteral("checkmark.circle.fill");
      a.texto = texto("Uploaded", "Subido");
      break;
    case EstadoSubida::fallo:
      a.simbolo = QStringLiteral("exclamationmark.triangle.fill");
      a.texto = indice.data(Subidas::mensajeRol).toString();
      break;
  }
  return a;
}

void FilaSubida::paint(QPainter* pintor, const QStyleOptionViewItem& opcion,
                       const QModelIndex& indice) const {
  const auto a = apariencia(indice);
  pintor->save();
  const auto grupo = opcion.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
  pintor->setPen(opcion.palette.color(grupo, QPalette::Text));
  auto zona = opcion.rect.adjusted(margen, 0, -margen, 0);
  const QRect nombre(zona.left(), zona.top(), anchoNombre, zona.height());
  pintor->drawText(nombre, Qt::AlignVCenter | Qt::AlignLeft,
                   opcion.fontMetrics.elidedText(a.nombre, Qt::ElideMiddle, anchoNombre));
  zona.setLeft(nombre.right() + 2 * margen);
  if (a.avance)
    pintarAvance(pintor, opcion, zona, *a.avance);
  else
    pintarFin(pintor, opcion, zona, a);
  pintor->restore();
}

QSize FilaSubida::sizeHint(const QStyleOptionViewItem& opcion, const QModelIndex&) const {
  return {anchoNombre + 200, std::max(opcion.fontMetrics.height(), lado) + margen};
}

bool FilaSubida::helpEvent(QHelpEvent* evento, QAbstractItemView* vista,
                           const QStyleOptionViewItem& opcion, const QModelIndex& indice) {
  if (evento->type() != QEvent::ToolTip || !indice.isValid())
    return QStyledItemDelegate::helpEvent(evento, vista, opcion, indice);
  const auto a = apariencia(indice);
  QToolTip::showText(evento->globalPos(), a.texto.isEmpty() ? a.nombre : a.nombre + '\n' + a.texto,
                     vista);
  return true;
}

BarraSubidas::BarraSubidas(Estado& estado, QWidget* padre)
    : QFrame(padre),
      estado_(estado),
      encabezado_(new QLabel(this)),
      limpiar_(new QPushButton(texto("Clear", "Limpiar"), this)),
      lista_(new QListView(this)) {
  setObjectName("barraSubidas");
  setFrameShape(QFrame::StyledPanel);
  auto* capas = new QVBoxLayout(this);
  auto* cabecera = new QHBoxLayout;
  encabezado_->setObjectName("encabezado");
  cabecera->addWidget(encabezado_, 1);
  limpiar_->setObjectName("limpiar");
  limpiar_->setFlat(true);
  connect(limpiar_, &QPushButton::clicked, &estado_, &Estado::limpiarSubidas);
  cabecera->addWidget(limpiar_);
  capas->addLayout(cabecera);
  auto& modelo = estado_.subidas();
  lista_->setModel(&modelo);
  lista_->setItemDelegate(new FilaSubida(lista_));
  lista_->setUniformItemSizes(true);
  lista_->setSelectionMode(QAbstractItemView::NoSelection);
  lista_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lista_->setFrameShape(QFrame::NoFrame);
  lista_->setAccessibleName(texto("Uploads", "Subidas"));
  capas->addWidget(lista_);
  connect(&modelo, &Subidas::rowsInserted, this, &BarraSubidas::ponerTodo);
  connect(&modelo, &Subidas::rowsRemoved, this, &BarraSubidas::ponerTodo);
  connect(&modelo, &Subidas::modelReset, this, &BarraSubidas::ponerTodo);
  // A report of progress changes no count: only a change of state redraws the header.
  connect(&modelo, &Subidas::dataChanged, this,
          [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
            if (roles.isEmpty() || roles.contains(Subidas::estadoRol)) ponerEncabezado();
          });
  ponerTodo();
}

QString BarraSubidas::encabezado() const {
  return encabezado_->text();
}

void BarraSubidas::ponerTodo() {
  setVisible(!estado_.subidas().filas().empty());
  ponerEncabezado();
  ponerAltura();
}

void BarraSubidas::ponerEncabezado() {
  const auto& filas = estado_.subidas().filas();
  const auto subiendo = std::ranges::count(filas, EstadoSubida::subiendo, &SubidaEnCurso::estado);
  limpiar_->setVisible(subiendo == 0);
  if (subiendo == 0) return encabezado_->setText(texto("Uploads finished", "Subidas terminadas"));
  encabezado_->setText(
      texto("Uploading %1 of %2", "Subiendo %1 de %2").arg(subiendo).arg(filas.size()));
}

// As tall as its rows, up to five; more scroll.
void BarraSubidas::ponerAltura() {
  const auto filas = static_cast<int>(estado_.subidas().filas().size());
  if (filas == 0) return;
  const auto alto = lista_->sizeHintForRow(0);
  lista_->setFixedHeight(std::min(filas, filasVisibles) * alto + 2 * lista_->frameWidth());
}

}  // namespace vemlo::app
