// ListaItems: being built.
#pragma once

#include <QWidget>

namespace vemlo::app {

class Estado;

class ListaItems : public QWidget {
  Q_OBJECT

 public:
  enum class Modo { recientes, favoritos, fotos };
  ListaItems(Estado& estado, Modo modo, QWidget* padre = nullptr);

 signals:
  // The person asked to open a folder (or a file's folder) in the Files section.
  void abrirCarpeta(const QString& id);
};

}  // namespace vemlo::app
