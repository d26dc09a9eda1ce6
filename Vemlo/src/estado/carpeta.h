// Carpeta: one folder of the chosen company as the Files section shows it, without widgets.
// It loads the folder's view and the company's favourites off the GUI thread, fills its item
// model, and loads again when the folder, the company or the content (Estado::cambio)
// changes. A folder deleted elsewhere sends it back to the company's root without a word.
#pragma once

#include <QObject>

#include <cstdint>
#include <optional>
#include <string>

#include "modelo_items.h"
#include "tarea.h"
#include "vemlo/registros.h"

namespace vemlo::app {

class Estado;

class Carpeta : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool cargada READ cargada NOTIFY vistaCambio)
  Q_PROPERTY(bool editable READ editable NOTIFY vistaCambio)

 public:
  explicit Carpeta(Estado& estado, QObject* padre = nullptr);

  // The folder shown; none is the company's root.
  const std::optional<std::string>& carpetaId() const { return carpetaId_; }
  const std::optional<VistaCarpeta>& vista() const { return vista_; }
  bool cargada() const { return vista_.has_value(); }
  // A reader ("lector") cannot change the folder.
  bool editable() const;
  ModeloItems& modelo() { return modelo_; }

  void abrir(std::optional<std::string> carpetaId);
  void recargar();

 signals:
  void carpetaIdCambio();
  void vistaCambio();

 private:
  struct Carga {
    VistaCarpeta vista;
    std::vector<Favorito> favoritos;
  };
  void aplicar(Resultado<Carga> carga);

  Estado& estado_;
  std::optional<std::string> carpetaId_;
  std::optional<VistaCarpeta> vista_;
  ModeloItems modelo_;
  std::uint64_t pedido_ = 0;  // only the latest load is applied
};

}  // namespace vemlo::app
