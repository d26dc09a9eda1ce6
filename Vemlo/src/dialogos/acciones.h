// Acciones: the context menu of a file or folder in every list: open, open with its app,
// download, show in folder, copy a 7-day share link, favourite, keep on this device (through
// the Vemlo folder, once it is there), rename, move, trash. Changes
// are greyed out for a reader; each one that succeeds counts as a change of the state.
#pragma once

#include <QMenu>

#include "items.h"

namespace vemlo::app {

class Estado;

class Acciones : public QMenu {
  Q_OBJECT

 public:
  Acciones(Estado& estado, Item item, bool favorito, bool editable, QWidget* padre = nullptr);
  // The entry with this object name ("abrir", "descargar", "mostrar", "compartir", "favorito",
  // "fijar", "renombrar", "mover", "papelera").
  QAction* accion(const QString& nombre) const;

 signals:
  void abrirCarpeta(const QString& id);

 private:
  QAction* agregar(const QString& nombre, const QString& texto, void (Acciones::*hacer)());
  void abrir();
  void descargar();
  void mostrarEnCarpeta();
  void compartir();
  void cambiarFavorito();
  void cambiarFijado();
  void renombrar();
  void mover();
  void aLaPapelera();
  QString tipo() const;

  Estado& estado_;
  Item item_;
  bool favorito_;
  QWidget* dueno_;  // the dialogs' parent: the menu closes before they open
};

}  // namespace vemlo::app
