// ModeloItems: a list of items as a table (name, modified, size) for the list and grid views,
// one instance per list shown. A row's decoration is its thumbnail once the state has it, else
// its symbol; thumbnails are asked for as rows are painted, once per item while they are in
// flight, and a new list cancels what the previous one still waited for.
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

  // Replaces the whole list.
  void poner(std::vector<Item> items, std::unordered_set<std::string> favoritos = {});
  const std::vector<Item>& items() const { return items_; }
  const Item& item(int fila) const { return items_.at(static_cast<std::size_t>(fila)); }

 private:
  QString fecha(int fila) const;
  QVariant decoracion(int fila) const;
  void pedirMiniatura(int fila) const;

  Estado& estado_;
  std::vector<Item> items_;
  std::unordered_set<std::string> favoritos_;
  std::unordered_map<std::string, int> filas_;          // id → row, for thumbnails that come back
  mutable std::vector<std::optional<QString>> fechas_;  // formatted when first shown
  mutable std::unordered_set<std::string> pedidas_;     // thumbnails in flight or known missing
  mutable std::stop_source vigencia_;                   // this list's thumbnail requests
};

}  // namespace vemlo::app
