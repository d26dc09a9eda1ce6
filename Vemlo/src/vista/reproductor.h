// The media player: VistaReproductor is the playing surface with its controls (play and pause,
// a seek bar with the time, the volume, full screen), streaming one address; the preview
// embeds it for local files. Reproductor is the sheet over the main window that shows a
// Reproduccion of the state with its title and "Close".
#pragma once

#include <QDialog>
#include <QUrl>

#include "estado.h"

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QSlider;
class QToolButton;
class QVideoWidget;

namespace vemlo::app {

class VistaReproductor : public QWidget {
  Q_OBJECT

 public:
  explicit VistaReproductor(const QUrl& url, QWidget* padre = nullptr);

  QMediaPlayer* reproductor() const { return reproductor_; }
  QVideoWidget* video() const { return video_; }

 protected:
  // Plays when shown and pauses at once when hidden (the window closed).
  void showEvent(QShowEvent* evento) override;
  void hideEvent(QHideEvent* evento) override;

 private:
  QWidget* crearControles();
  void conectar();
  void conectarPantallaCompleta();
  void alternar();
  void ponerBoton();
  void ponerDuracion(qint64 ms);
  void ponerPosicion(qint64 ms);
  void ponerTiempo();
  void ponerError();
  void ponerSuperficie();

  QMediaPlayer* reproductor_;
  QAudioOutput* audio_ = nullptr;  // none without a sound device
  QVideoWidget* video_;
  QLabel* sonido_;  // stands for the picture of a sound without one
  QToolButton* boton_ = nullptr;
  QSlider* barra_ = nullptr;
  QLabel* tiempo_ = nullptr;
  QSlider* volumen_ = nullptr;
  QToolButton* completa_ = nullptr;
};

class Reproductor : public QDialog {
  Q_OBJECT

 public:
  explicit Reproductor(const Reproduccion& r, QWidget* padre = nullptr);

  VistaReproductor* vista() const { return vista_; }
  QMediaPlayer* reproductor() const;

 private:
  VistaReproductor* vista_;
};

}  // namespace vemlo::app
