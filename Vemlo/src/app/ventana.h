// VentanaPrincipal: the window "principal". It holds Raiz, the app's menu (the Vemlo folder in
// the file manager with Ctrl+Shift+K, Settings, Quit) and the window-wide presentations: the
// notice with its one "OK", the preview and the player. With a tray its close only hides it.
#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

namespace vemlo::app {

class Estado;

class VentanaPrincipal : public QMainWindow {
  Q_OBJECT

 public:
  explicit VentanaPrincipal(Estado& estado, QWidget* padre = nullptr);
  void ocultarAlCerrar(bool ocultar) { ocultar_ = ocultar; }
  // The notice shown now, if any.
  QMessageBox* aviso() const { return aviso_; }

 signals:
  void ajustesPedidos();

 protected:
  void closeEvent(QCloseEvent* evento) override;

 private:
  void crearMenu();
  void ponerAviso();
  void ponerVistaPrevia();
  void ponerReproduccion();

  Estado& estado_;
  bool ocultar_ = false;
  QPointer<QMessageBox> aviso_;
  QPointer<QDialog> vistaPrevia_;
  QPointer<QDialog> reproductor_;
};

}  // namespace vemlo::app
