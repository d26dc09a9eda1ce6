// Contenido: the items of a folder or a list, as a list (name, modified, size) or as a grid of
// cards with thumbnails, over one ModeloItems and one selection. It reports activations, opens
// each item's menu (from the mouse or the keyboard; F2 and Delete reach its entries directly),
// takes drops through the model, and outlines itself while a drag hovers over it.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>

#include "items.h"

class QAbstractItemView;
class QListView;
class QStackedWidget;
class QTreeView;

namespace vemlo::app {

class Acciones;
class Estado;
class ModeloItems;
class Vacio;

// A file activated in any list: media plays, anything else is previewed.
void abrirArchivo(Estado& estado, const Item& item);

class Contenido : public QWidget {
  Q_OBJECT

 public:
  explicit Contenido(QWidget* padre = nullptr);
  void ponerModelo(ModeloItems* modelo);
  // Makes an item's menu, which deletes itself once closed.
  void ponerAcciones(std::function<Acciones*(const Item&)> acciones) {
    acciones_ = std::move(acciones);
  }
  ModeloItems* modelo() const { return modelo_; }
  void ponerCuadricula(bool cuadricula);
  bool cuadricula() const;
  // The view in use now: the list's tree view or the grid's list view.
  QAbstractItemView* vista() const;
  QTreeView* lista() const { return lista_; }
  QListView* grilla() const { return grilla_; }
  // An empty state over the view, which still takes drops; an empty text removes it.
  void ponerVacio(const QString& simbolo, const QString& texto);
  QString textoVacio() const;

 signals:
  void activado(const vemlo::app::Item& item);

 protected:
  bool eventFilter(QObject* objeto, QEvent* evento) override;
  void resizeEvent(QResizeEvent* evento) override;

 private:
  void prepararVista(QAbstractItemView* vista);
  void ponerSobre(bool sobre);
  void atajos();
  void menu(const Item& item, const QPoint& dondeGlobal);
  void hacer(const Item& item, const QString& accion);
  std::optional<Item> actual() const;

  ModeloItems* modelo_ = nullptr;
  std::function<Acciones*(const Item&)> acciones_;
  QStackedWidget* pila_;
  QTreeView* lista_;
  QListView* grilla_;
  QWidget* contorno_;  // the drop highlight
  Vacio* vacio_;
};

}  // namespace vemlo::app
