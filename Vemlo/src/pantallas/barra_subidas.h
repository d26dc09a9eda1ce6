// BarraSubidas: the upload bar at the bottom of the main window, shown while the state holds
// upload rows: a header that counts the running uploads (or says they finished and offers
// "Clear") above a list with one FilaSubida per row. The list is a view over the state's model
// with a painting delegate, so hundreds of rows cost no widgets, and it is capped in height.
#pragma once

#include <QFrame>
#include <QStyledItemDelegate>

#include <optional>

class QLabel;
class QListView;
class QPushButton;

namespace vemlo::app {

class Estado;

// One upload row: the name in 160 pixels, then a progress bar, or a symbol and a sentence.
class FilaSubida : public QStyledItemDelegate {
  Q_OBJECT

 public:
  // What a row shows: a bar while `avance` is set, else `simbolo` and `texto`.
  struct Apariencia {
    QString nombre;
    std::optional<double> avance;
    QString simbolo;
    QString texto;
  };
  static Apariencia apariencia(const QModelIndex& indice);

  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* pintor, const QStyleOptionViewItem& opcion,
             const QModelIndex& indice) const override;
  QSize sizeHint(const QStyleOptionViewItem& opcion, const QModelIndex& indice) const override;
  // The whole name and sentence, which the row may have elided.
  bool helpEvent(QHelpEvent* evento, QAbstractItemView* vista, const QStyleOptionViewItem& opcion,
                 const QModelIndex& indice) override;
};

class BarraSubidas : public QFrame {
  Q_OBJECT

 public:
  BarraSubidas(Estado& estado, QWidget* padre = nullptr);

  QString encabezado() const;
  QPushButton* limpiar() const { return limpiar_; }
  QListView* lista() const { return lista_; }

 private:
  void ponerTodo();
  void ponerEncabezado();
  void ponerAltura();

  Estado& estado_;
  QLabel* encabezado_;
  QPushButton* limpiar_;
  QListView* lista_;
};

}  // namespace vemlo::app
