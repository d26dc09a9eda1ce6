// Principal: the signed-in layout. A sidebar (the company picker when there are two or more,
// the six sections, the Vemlo folder's hint and button) beside the detail: the banner while
// the Vemlo folder is off, the section's screen for the chosen company, the upload bar and
// the "Opening …" capsule. The section and the open folder live as long as it does.
#pragma once

#include <QWidget>

#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QListWidget;
class QStackedWidget;

namespace vemlo::app {

class Estado;

enum class Seccion { archivos, recientes, favoritos, fotos, papelera, cuenta };

class Principal : public QWidget {
  Q_OBJECT

 public:
  explicit Principal(Estado& estado, QWidget* padre = nullptr);

  Seccion seccion() const { return seccion_; }
  const std::optional<std::string>& carpeta() const { return carpeta_; }
  void elegirSeccion(Seccion seccion);
  // Files, on `carpetaId` (none: the company's root).
  void abrirCarpeta(std::optional<std::string> carpetaId);
  // Files, on `carpetaId`, with the item `itemId` selected once the folder is listed.
  void mostrarItem(std::optional<std::string> carpetaId, const std::string& itemId);
  // The section's screen shown now (the "not in any company" text when there is none).
  QWidget* detalle() const { return detalle_; }

 private:
  QWidget* barraLateral();
  QWidget* columnaDerecha();
  void ponerEmpresas();
  void mostrarDetalle();
  QWidget* crearDetalle();
  void ponerCapsula();

  Estado& estado_;
  Seccion seccion_ = Seccion::archivos;
  std::optional<std::string> carpeta_;
  QComboBox* empresas_ = nullptr;
  QListWidget* secciones_ = nullptr;
  QWidget* aviso_ = nullptr;  // the banner while the Vemlo folder is off
  QStackedWidget* pila_ = nullptr;
  QWidget* detalle_ = nullptr;
  QWidget* capsula_ = nullptr;
  QLabel* abriendo_ = nullptr;
};

}  // namespace vemlo::app
