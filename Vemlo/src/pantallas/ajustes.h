// Ajustes: the app's settings window. It holds the login item's switch and the Vemlo folder:
// whether it shows in the file manager, how much its cache may keep on this device, and for
// each company registered as a domain its name, where its folder is mounted, what it keeps on
// this device, and the switch that turns that folder on or off. The registry, the limit and
// the host's status are read and written on a worker of the window's own, one at a time.
#pragma once

#include <QThreadPool>
#include <QWidget>

#include <string>
#include <vector>

#include "fijados.h"

class QCheckBox;
class QFormLayout;
class QLabel;
class QSpinBox;
class QVBoxLayout;

namespace vemlo::finder {
struct DominioRegistrado;
}

namespace vemlo::app {

class Estado;

class Ajustes : public QWidget {
  Q_OBJECT

 public:
  explicit Ajustes(Estado& estado, QWidget* padre = nullptr);

 protected:
  void showEvent(QShowEvent* evento) override;

 private:
  // One company's row: its switch, named after it, over its mount point.
  struct Fila {
    std::string identifier;
    QWidget* caja;
    QCheckBox* casilla;
    QLabel* montaje;
    QLabel* uso;  // cached and kept on this device
  };

  void agregarCarpetas(QVBoxLayout* columna);
  void leerDominios();
  void mostrarDominios(const std::vector<finder::DominioRegistrado>& dominios);
  void rehacerFilas(const std::vector<finder::DominioRegistrado>& dominios);
  Fila crearFila(const std::string& identifier);
  void cambiar(const std::string& identifier, bool encendido);
  void ponerFinder();
  void leerCache();
  void mostrarCache(std::uint64_t limite, const std::vector<UsoCache>& usos);
  void limitar();

  Estado& estado_;
  QThreadPool registro_;  // one thread: reads and writes keep their order
  QLabel* finder_ = nullptr;
  QLabel* vacio_ = nullptr;
  QSpinBox* limite_ = nullptr;  // in GB
  int limiteLeido_ = 0;         // the value last read: leaving the box unchanged writes nothing
  QFormLayout* empresas_ = nullptr;
  std::vector<Fila> filas_;
  int escrituras_ = 0;  // switches not yet written; a read meanwhile would undo a click
};

}  // namespace vemlo::app
