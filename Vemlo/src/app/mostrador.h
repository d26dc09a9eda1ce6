// Mostrador: "Show in Vemlo" from the file manager. A path inside a Vemlo folder becomes its
// company item (vemlo-finder says which), and the main window shows the item's folder in Files
// with the item selected, in the item's company. A request that comes while the stored session
// is still being checked, or before anyone signed in, waits for the sign-in.
#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace vemlo::finder {
struct ItemEnCarpeta;
}

namespace vemlo::app {

class Aplicacion;

class Mostrador : public QObject {
  Q_OBJECT

 public:
  explicit Mostrador(Aplicacion& aplicacion, QObject* padre = nullptr);

  // Shows the item at `ruta`, an absolute path; a failure becomes the window's notice.
  void mostrar(const QString& ruta);

 signals:
  // The item's folder was asked for in the main window (for the tests).
  void mostrado(const QString& itemId);

 private:
  void intentar();
  void ir(const finder::ItemEnCarpeta& item);

  Aplicacion& aplicacion_;
  std::optional<QString> pendiente_;  // waits for the session
};

}  // namespace vemlo::app
