// Ajustes: the app's settings window. It holds the login item's switch and the Vemlo folder:
// whether it shows in the file manager, and for each company registered as a domain its name,
// where its folder is mounted and the switch that turns that folder on or off. The registry is
// read and written on a worker of the window's own, one access at a time.
#pragma once

#include <QThreadPool>
#include <QWidget>

#include <string>
#include <vector>

class QCheckBox;
class QFormLayout;
class QLabel;
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
  };

  void agregarCarpetas(QVBoxLayout* columna);
  void leerDominios();
  void mostrarDominios(const std::vector<finder::DominioRegistrado>& dominios);
  void rehacerFilas(const std::vector<finder::DominioRegistrado>& dominios);
  Fila crearFila(const std::string& identifier);
  void cambiar(const std::string& identifier, bool encendido);
  void ponerFinder();

  Estado& estado_;
  QThreadPool registro_;  // one thread: reads and writes keep their order
  QLabel* finder_ = nullptr;
  QLabel* vacio_ = nullptr;
  QFormLayout* empresas_ = nullptr;
  std::vector<Fila> filas_;
  int escrituras_ = 0;  // switches not yet written; a read meanwhile would undo a click
};

}  // namespace vemlo::app
