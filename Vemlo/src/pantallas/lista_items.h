// ListaItems: the Recent, Favorites and Photos sections, company-wide lists shown with the
// folder browser's views (Photos as a grid) and item menu. Loaded when shown and after every
// change; a failure keeps the previous items.
#pragma once

#include <QWidget>

#include <cstdint>

#include "modelo_items.h"

namespace vemlo::app {

class Acciones;
class Contenido;
class Estado;

class ListaItems : public QWidget {
  Q_OBJECT

 public:
  enum class Modo { recientes, favoritos, fotos };
  ListaItems(Estado& estado, Modo modo, QWidget* padre = nullptr);
  const ModeloItems& modelo() const { return modelo_; }
  Contenido* contenido() const { return contenido_; }
  bool cargada() const { return cargada_; }

 signals:
  // The person asked to open a folder (or a file's folder) in the Files section.
  void abrirCarpeta(const QString& id);
  void listaCambio();

 private:
  struct Carga {
    std::vector<Item> items;
    std::vector<Favorito> favoritos;
  };
  void cargar();
  void aplicar(Carga carga);
  Acciones* acciones(const Item& item);

  Estado& estado_;
  Modo modo_;
  ModeloItems modelo_;
  Contenido* contenido_;
  bool cargada_ = false;
  std::uint64_t pedido_ = 0;  // only the latest load is applied
};

}  // namespace vemlo::app
