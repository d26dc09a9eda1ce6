// Explorador: the Files section. One folder of the chosen company, as a list or a grid (the
// "cuadricula" preference), with its toolbar (back, upload, new folder, list or grid,
// refresh), a search over the company that waits 0.3 s after the last key, breadcrumbs, the
// empty states, drops of files to upload and of items to move, and each item's menu.
#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

#include "carpeta.h"
#include "items.h"

class QLineEdit;
class QTimer;
class QToolButton;

namespace vemlo::app {

class Acciones;
class Contenido;
class Migas;

class Explorador : public QWidget {
  Q_OBJECT

 public:
  explicit Explorador(Estado& estado, QWidget* padre = nullptr);
  ~Explorador() override;
  // Shows `carpetaId`; none is the company's root.
  void abrirCarpeta(std::optional<std::string> carpetaId);
  // Selects the item `id` when the folder's next listing comes (the one asked for last).
  void seleccionar(const std::string& id);

  Carpeta& carpeta() { return carpeta_; }
  Contenido* contenido() const { return contenido_; }
  QLineEdit* busqueda() const { return busqueda_; }
  // The search's results while a search is active.
  const ModeloItems& resultados() const { return resultados_; }
  bool buscando() const { return buscando_; }

 signals:
  // The folder shown changed (breadcrumbs, a folder opened, a deleted one left); "" is the root.
  void carpetaAbierta(const QString& id);
  // A search's results were applied.
  void resultadosListos();

 private:
  QWidget* barra();
  QToolButton* boton(const QString& simbolo, const QString& ayuda, const QString& nombre);
  void activar(const Item& item);
  Acciones* acciones(const Item& item);
  void atras();
  void subir();
  void nuevaCarpeta();
  void buscar();
  void ponerVista();
  void seleccionarPendiente();
  void ponerCuadricula(bool cuadricula);

  Estado& estado_;
  Carpeta carpeta_;
  ModeloItems resultados_;
  bool buscando_ = false;
  std::optional<std::string> porSeleccionar_;  // an item to select once listed
  std::uint64_t busquedas_ = 0;                // only the latest search is applied
  std::stop_source parar_;                     // the search under way
  QLineEdit* busqueda_ = nullptr;
  QTimer* espera_ = nullptr;
  QToolButton* cuadricula_ = nullptr;
  QToolButton* subir_ = nullptr;
  QToolButton* nueva_ = nullptr;
  Migas* migas_ = nullptr;
  Contenido* contenido_ = nullptr;
};

}  // namespace vemlo::app
