// Explorador: being built.
#pragma once

#include <QWidget>

#include <optional>
#include <string>

namespace vemlo::app {

class Estado;

class Explorador : public QWidget {
  Q_OBJECT

 public:
  explicit Explorador(Estado& estado, QWidget* padre = nullptr);
  // Shows `carpetaId`; none is the company's root.
  void abrirCarpeta(std::optional<std::string> carpetaId);

 signals:
  // The folder shown changed (through the breadcrumbs or a folder opened); "" is the root.
  void carpetaAbierta(const QString& id);
};

}  // namespace vemlo::app
