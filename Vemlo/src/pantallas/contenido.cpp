// The item views and their drawing.
#include "contenido.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QListView>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include "acciones.h"
#include "estado.h"
#include "iconos.h"
#include "modelo_items.h"
#include "vacio.h"

namespace vemlo::app {
namespace {

constexpr int kLado = 96;    // a card's thumbnail
constexpr int kCelda = 128;  // a card's width
constexpr int kEstrella = 12;

// Cards: the thumbnail filling a rounded square (or the symbol at 0.6 of it), the name below
// on up to two lines, and the favourite's star. Rows: as Qt draws them, plus the star.
class Delegado : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  bool tarjetas = false;

  QSize sizeHint(const QStyleOptionViewItem& opcion, const QModelIndex& indice) const override {
    if (!tarjetas) return QStyledItemDelegate::sizeHint(opcion, indice);
    return {kCelda, kLado + 16 + 2 * opcion.fontMetrics.height()};
  }

  void paint(QPainter* p, const QStyleOptionViewItem& opcion,
             const QModelIndex& indice) const override {
    if (!tarjetas) {
      QStyledItemDelegate::paint(p, opcion, indice);
      if (indice.column() == 0 && indice.data(ModeloItems::favoritoRol).toBool())
        estrella(p, opcion.rect);
      return;
    }
    pintarTarjeta(p, opcion, indice);
  }

 private:
  static void estrella(QPainter* p, const QRect& celda) {
    const QRect donde(celda.right() - kEstrella - 4, celda.top() + 4, kEstrella, kEstrella);
    icono("star.fill").paint(p, donde);
  }

  static void pintarTarjeta(QPainter* p, const QStyleOptionViewItem& opcion,
                            const QModelIndex& indice) {
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    const bool elegida = opcion.state & QStyle::State_Selected;
    const QRect marco(opcion.rect.center().x() - kLado / 2, opcion.rect.top() + 6, kLado, kLado);
    if (elegida) {
      p->setPen(Qt::NoPen);
      p->setBrush(opcion.palette.color(QPalette::Highlight).lighter(160));
      p->drawRoundedRect(opcion.rect.adjusted(2, 2, -2, -2), 10, 10);
    }
    const auto decoracion = indice.data(Qt::DecorationRole);
    if (decoracion.typeId() == QMetaType::QImage) {
      QPainterPath recorte;
      recorte.addRoundedRect(marco, 8, 8);
      p->setClipPath(recorte);
      const auto imagen = decoracion.value<QImage>().scaled(
          marco.size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
      p->drawImage(
          marco, imagen,
          QRect(QPoint((imagen.width() - kLado) / 2, (imagen.height() - kLado) / 2), marco.size()));
      p->setClipping(false);
    } else {
      const int simbolo = kLado * 6 / 10;
      decoracion.value<QIcon>().paint(
          p, marco.adjusted((kLado - simbolo) / 2, (kLado - simbolo) / 2, -(kLado - simbolo) / 2,
                            -(kLado - simbolo) / 2));
    }
    const QRect texto(opcion.rect.left() + 4, marco.bottom() + 6, opcion.rect.width() - 8,
                      2 * opcion.fontMetrics.height());
    p->setPen(opcion.palette.color(elegida ? QPalette::HighlightedText : QPalette::Text));
    const auto nombre = opcion.fontMetrics.elidedText(indice.data().toString(), Qt::ElideMiddle,
                                                      2 * texto.width() - 8);
    p->drawText(texto, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWrapAnywhere, nombre);
    if (indice.data(ModeloItems::favoritoRol).toBool()) estrella(p, marco.adjusted(0, 0, 8, 0));
    p->restore();
  }
};

// The drop highlight: an accent outline over a translucent accent fill.
class Contorno : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    auto acento = palette().color(QPalette::Highlight);
    p.setPen(QPen(acento, 3));
    acento.setAlpha(28);
    p.setBrush(acento);
    p.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 10, 10);
  }
};

// Media plays in the player; its type, when the service gave none, comes from the name.
bool esMedio(const Item& item) {
  auto tipo = QString::fromStdString(item.tipo.value_or(""));
  if (tipo.isEmpty())
    tipo = QMimeDatabase()
               .mimeTypeForFile(QString::fromStdString(item.nombre), QMimeDatabase::MatchExtension)
               .name();
  return tipo.startsWith("video/") || tipo.startsWith("audio/");
}

}  // namespace

void abrirArchivo(Estado& estado, const Item& item) {
  if (esMedio(item)) return estado.reproducir(archivoDe(item));
  estado.previsualizar(archivoDe(item));
}

Contenido::Contenido(QWidget* padre)
    : QWidget(padre),
      pila_(new QStackedWidget(this)),
      lista_(new QTreeView),
      grilla_(new QListView),
      contorno_(new Contorno(this)),
      vacio_(new Vacio(QString(), QString(), this)) {
  auto* capas = new QVBoxLayout(this);
  capas->setContentsMargins(0, 0, 0, 0);
  capas->addWidget(pila_);
  lista_->setRootIsDecorated(false);
  lista_->setUniformRowHeights(true);
  lista_->setAlternatingRowColors(true);
  lista_->setIconSize({20, 20});
  lista_->setItemDelegate(new Delegado(lista_));
  grilla_->setViewMode(QListView::IconMode);
  grilla_->setMovement(QListView::Static);
  grilla_->setResizeMode(QListView::Adjust);
  grilla_->setUniformItemSizes(true);
  grilla_->setSpacing(8);
  auto* tarjetas = new Delegado(grilla_);
  tarjetas->tarjetas = true;
  grilla_->setItemDelegate(tarjetas);
  for (auto* vista :
       {static_cast<QAbstractItemView*>(lista_), static_cast<QAbstractItemView*>(grilla_)})
    prepararVista(vista);
  atajos();
  for (auto* capa : {contorno_, static_cast<QWidget*>(vacio_)}) {
    capa->setAttribute(Qt::WA_TransparentForMouseEvents);  // drops go through to the view
    capa->hide();
  }
}

// The keyboard's way to the item menu: the menu key or Shift+F10 opens it at the current
// item; F2 renames and Delete moves to the trash.
void Contenido::atajos() {
  const auto atajo = [this](QKeySequence teclas, auto hacer) {
    auto* s = new QShortcut(teclas, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(s, &QShortcut::activated, this, [this, hacer] {
      if (const auto item = actual()) hacer(*item);
    });
  };
  const auto enLaActual = [this](const Item& item) {
    const auto rect = vista()->visualRect(vista()->currentIndex());
    menu(item, vista()->viewport()->mapToGlobal(rect.center()));
  };
  atajo(QKeySequence(Qt::Key_Menu), enLaActual);
  atajo(QKeySequence(Qt::SHIFT | Qt::Key_F10), enLaActual);
  atajo(QKeySequence(Qt::Key_F2), [this](const Item& item) { hacer(item, "renombrar"); });
  atajo(QKeySequence::Delete, [this](const Item& item) { hacer(item, "papelera"); });
}

void Contenido::menu(const Item& item, const QPoint& dondeGlobal) {
  if (acciones_) acciones_(item)->popup(dondeGlobal);
}

// An entry of the item's menu without showing it, when the entry is enabled.
void Contenido::hacer(const Item& item, const QString& accion) {
  if (!acciones_) return;
  auto* menu = acciones_(item);
  if (auto* entrada = menu->accion(accion); entrada && entrada->isEnabled()) entrada->trigger();
  menu->deleteLater();
}

std::optional<Item> Contenido::actual() const {
  const auto i = vista()->currentIndex();
  if (!modelo_ || !i.isValid()) return std::nullopt;
  return modelo_->item(i.row());
}

void Contenido::resizeEvent(QResizeEvent* evento) {
  QWidget::resizeEvent(evento);
  contorno_->setGeometry(rect());
  vacio_->setGeometry(rect());
}

void Contenido::ponerVacio(const QString& simbolo, const QString& texto) {
  vacio_->poner(simbolo, texto);
  vacio_->setVisible(!texto.isEmpty());
  vacio_->raise();
}

QString Contenido::textoVacio() const {
  return vacio_->isVisible() ? vacio_->texto() : QString();
}

void Contenido::prepararVista(QAbstractItemView* vista) {
  vista->setSelectionMode(QAbstractItemView::ExtendedSelection);
  vista->setEditTriggers(QAbstractItemView::NoEditTriggers);  // F2 renames through the service
  vista->setDragDropMode(QAbstractItemView::DragDrop);
  vista->setDefaultDropAction(Qt::CopyAction);
  vista->setDragEnabled(true);
  vista->viewport()->setAcceptDrops(true);  // a static icon view refuses drops otherwise
  vista->setContextMenuPolicy(Qt::CustomContextMenu);
  vista->viewport()->installEventFilter(this);
  pila_->addWidget(vista);
  connect(vista, &QAbstractItemView::activated, this, [this](const QModelIndex& i) {
    if (modelo_ && i.isValid()) emit activado(modelo_->item(i.row()));
  });
  connect(vista, &QWidget::customContextMenuRequested, this, [this, vista](const QPoint& donde) {
    const auto i = vista->indexAt(donde);
    if (modelo_ && i.isValid()) menu(modelo_->item(i.row()), vista->viewport()->mapToGlobal(donde));
  });
}

void Contenido::ponerModelo(ModeloItems* modelo) {
  modelo_ = modelo;
  lista_->setModel(modelo);
  grilla_->setModel(modelo);
  grilla_->setSelectionModel(lista_->selectionModel());
  grilla_->setModelColumn(ModeloItems::nombreColumna);
  auto* cabecera = lista_->header();
  cabecera->setStretchLastSection(false);
  cabecera->setSectionResizeMode(ModeloItems::nombreColumna, QHeaderView::Stretch);
  cabecera->resizeSection(ModeloItems::fechaColumna, 170);
  cabecera->resizeSection(ModeloItems::tamanoColumna, 90);
}

void Contenido::ponerCuadricula(bool cuadricula) {
  pila_->setCurrentWidget(cuadricula ? static_cast<QWidget*>(grilla_) : lista_);
}

bool Contenido::cuadricula() const {
  return pila_->currentWidget() == grilla_;
}

QAbstractItemView* Contenido::vista() const {
  return cuadricula() ? static_cast<QAbstractItemView*>(grilla_) : lista_;
}

bool Contenido::eventFilter(QObject* objeto, QEvent* evento) {
  switch (evento->type()) {
    case QEvent::DragEnter:
      ponerSobre(static_cast<QDragEnterEvent*>(evento)->mimeData() && modelo_ &&
                 modelo_->flags({}).testFlag(Qt::ItemIsDropEnabled));
      break;
    case QEvent::DragLeave:
    case QEvent::Drop:
      ponerSobre(false);
      break;
    default:
      break;
  }
  return QWidget::eventFilter(objeto, evento);
}

void Contenido::ponerSobre(bool sobre) {
  contorno_->raise();
  contorno_->setVisible(sobre);
}

}  // namespace vemlo::app
