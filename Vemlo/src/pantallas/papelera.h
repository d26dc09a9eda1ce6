// Papelera: the Trash section, what was deleted in the company with its date and a "Restore"
// button (greyed out for a reader). Loaded when shown and after every change.
#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

#include "vemlo/registros.h"

class QStackedWidget;
class QTableWidget;

namespace vemlo::app {

class Estado;
class Vacio;

class Papelera : public QWidget {
  Q_OBJECT

 public:
  explicit Papelera(Estado& estado, QWidget* padre = nullptr);
  const std::vector<EnPapelera>& elementos() const { return elementos_; }
  QTableWidget* tabla() const { return tabla_; }

 signals:
  void listaCambio();

 private:
  void cargar();
  void poner(std::vector<EnPapelera> elementos);
  void restaurar(const EnPapelera& elemento);

  Estado& estado_;
  std::vector<EnPapelera> elementos_;
  QStackedWidget* cuerpo_;
  QTableWidget* tabla_;
  Vacio* vacio_;
  std::uint64_t pedido_ = 0;
};

}  // namespace vemlo::app
