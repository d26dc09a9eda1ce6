// ModeloItems: a list of items as a table (name, modified, size) for the list and grid views,
// one instance per list shown. A row's decoration is its thumbnail once the state has it, else
// its symbol; thumbnails are asked for as rows are painted, once per item while they are in
// flight, and a new list cancels what the previous one still waited for. Items are dragged as
// "vemlo:carpeta:<id>" / "vemlo:archivo:<id>" lines; files dropped from outside are uploaded
// and items dropped on a folder are moved there, always as a copy for the drag's source.
#pragma once

#include <QAbstractTableModel>
#include <QImage>

#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "items.h"

namespace vemlo::app {

class Estado;

class ModeloItems : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Columna { nombreColumna, fechaColumna, tamanoColumna, columnas };
  enum Rol { favoritoRol = Qt::UserRole, carpetaRol, idRol };

  explicit ModeloItems(Estado& estado, QObject* padre = nullptr);
  ~ModeloItems() override;

  int rowCount(const QModelIndex& padre = {}) const override;
  int columnCount(const QModelIndex& padre = {}) const override;
  QVariant data(const QModelIndex& indice, int rol) const override;
  QVariant headerData(int seccion, Qt::Orientation orientacion, int rol) const override;

  Qt::ItemFlags flags(const QModelIndex& indice) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indices) const override;
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
  Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
  bool canDropMimeData(const QMimeData* datos, Qt::DropAction accion, int fila, int columna,
                       const QModelIndex& padre) const override;
  bool dropMimeData(const QMimeData* datos, Qt::DropAction accion, int fila, int columna,
                    const QModelIndex& padre) override;
  // Where drops outside a folder row go (none: nowhere), and whether the person may change it.
  void ponerDestino(std::optional<std::string> carpetaId, bool editable);

  // Replaces the whole list.
  void poner(std::vector<Item> items, std::unordered_set<std::string> favoritos = {});
  const std::vector<Item>& items() const { return items_; }
  const Item& item(int fila) const { return items_.at(static_cast<std::size_t>(fila)); }
  bool esFavorito(const std::string& id) const { return favoritos_.contains(id); }

 private:
  QString fecha(int fila) const;
  QVariant decoracion(int fila) const;
  void pedirMiniatura(int fila) const;
  std::optional<std::string> destinoDe(const QModelIndex& padre) const;
  void mover(const std::vector<std::pair<bool, std::string>>& items, const std::string& destino);

  Estado& estado_;
  std::vector<Item> items_;
  std::unordered_set<std::string> favoritos_;
  std::unordered_map<std::string, int> filas_;          // id → row, for thumbnails that come back
  mutable std::vector<std::optional<QString>> fechas_;  // formatted when first shown
  mutable std::unordered_set<std::string> pedidas_;     // thumbnails in flight or known missing
  mutable std::stop_source vigencia_;                   // this list's thumbnail requests
  std::optional<std::string> destino_;
  bool editable_ = false;
};

}  // namespace vemlo::app
