// The player and its sheet. Sound goes out only when the desktop has a sound device: a player
// with an audio output and no device can crash the multimedia backend.
#include "reproductor.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVideoWidget>

#include "iconos.h"
#include "textos.h"

namespace vemlo::app {
namespace {

// "1:05" or "1:02:05".
QString reloj(qint64 ms) {
  const auto s = ms / 1000;
  const auto minutos = QStringLiteral("%1").arg(s / 60 % 60, s >= 3600 ? 2 : 1, 10, QChar('0'));
  const auto segundos = QStringLiteral("%1").arg(s % 60, 2, 10, QChar('0'));
  if (s < 3600) return minutos + ':' + segundos;
  return QString::number(s / 3600) + ':' + minutos + ':' + segundos;
}

QToolButton* botonDeControl(const QIcon& icono, const QString& nombre, QWidget* padre) {
  auto* boton = new QToolButton(padre);
  boton->setIcon(icono);
  boton->setAccessibleName(nombre);
  boton->setToolTip(nombre);
  boton->setAutoRaise(true);
  boton->setIconSize(QSize(24, 24));
  boton->setFocusPolicy(Qt::StrongFocus);
  return boton;
}

}  // namespace

VistaReproductor::VistaReproductor(const QUrl& url, QWidget* padre)
    : QWidget(padre),
      reproductor_(new QMediaPlayer(this)),
      video_(new QVideoWidget(this)),
      sonido_(new QLabel(this)) {
  if (!QMediaDevices::defaultAudioOutput().isNull()) {
    audio_ = new QAudioOutput(this);
    reproductor_->setAudioOutput(audio_);
  }
  reproductor_->setVideoOutput(video_);
  video_->setAccessibleName(texto("Video", "Vídeo"));
  auto* capas = new QVBoxLayout(this);
  capas->setContentsMargins(0, 0, 0, 0);
  capas->addWidget(video_, 1);
  sonido_->setObjectName("sonido");
  sonido_->setPixmap(icono("waveform").pixmap(96, 96));
  sonido_->setAlignment(Qt::AlignCenter);
  sonido_->hide();
  capas->addWidget(sonido_, 1);
  capas->addWidget(crearControles());
  conectar();
  ponerBoton();
  ponerTiempo();
  reproductor_->setSource(url);
}

QWidget* VistaReproductor::crearControles() {
  auto* controles = new QWidget(this);
  auto* fila = new QHBoxLayout(controles);
  boton_ = botonDeControl({}, {}, controles);
  boton_->setObjectName("reproducirPausar");
  fila->addWidget(boton_);
  barra_ = new QSlider(Qt::Horizontal, controles);
  barra_->setObjectName("posicion");
  barra_->setAccessibleName(texto("Position", "Posición"));
  barra_->setRange(0, 0);
  fila->addWidget(barra_, 1);
  tiempo_ = new QLabel(controles);
  fila->addWidget(tiempo_);
  volumen_ = new QSlider(Qt::Horizontal, controles);
  volumen_->setObjectName("volumen");
  volumen_->setAccessibleName(texto("Volume", "Volumen"));
  volumen_->setRange(0, 100);
  volumen_->setValue(100);
  volumen_->setMaximumWidth(100);
  volumen_->setEnabled(audio_ != nullptr);
  fila->addWidget(volumen_);
  const auto pantalla = QIcon::fromTheme(QStringLiteral("view-fullscreen"),
                                         style()->standardIcon(QStyle::SP_TitleBarMaxButton));
  completa_ = botonDeControl(pantalla, texto("Full screen", "Pantalla completa"), controles);
  completa_->setObjectName("pantallaCompleta");
  completa_->setCheckable(true);
  fila->addWidget(completa_);
  return controles;
}

void VistaReproductor::conectar() {
  connect(boton_, &QToolButton::clicked, this, &VistaReproductor::alternar);
  connect(reproductor_, &QMediaPlayer::playbackStateChanged, this, &VistaReproductor::ponerBoton);
  connect(reproductor_, &QMediaPlayer::durationChanged, this, &VistaReproductor::ponerDuracion);
  connect(reproductor_, &QMediaPlayer::positionChanged, this, &VistaReproductor::ponerPosicion);
  connect(reproductor_, &QMediaPlayer::errorOccurred, this, &VistaReproductor::ponerError);
  connect(reproductor_, &QMediaPlayer::mediaStatusChanged, this,
          &VistaReproductor::ponerSuperficie);
  // Dragging, clicking or the keyboard moved the bar: the player follows.
  connect(barra_, &QSlider::actionTriggered, this,
          [this] { reproductor_->setPosition(barra_->sliderPosition()); });
  connect(volumen_, &QSlider::valueChanged, this, [this](int v) {
    if (audio_) audio_->setVolume(static_cast<float>(v) / 100.0f);
  });
  conectarPantallaCompleta();
}

void VistaReproductor::conectarPantallaCompleta() {
  connect(completa_, &QToolButton::toggled, video_, &QVideoWidget::setFullScreen);
  // Escape leaves full screen; the shortcut lives only then, so that Escape still closes the
  // window otherwise.
  auto* salir = new QShortcut(QKeySequence(Qt::Key_Escape), video_);
  salir->setEnabled(false);
  connect(salir, &QShortcut::activated, this, [this] { video_->setFullScreen(false); });
  connect(video_, &QVideoWidget::fullScreenChanged, this, [this, salir](bool completa) {
    salir->setEnabled(completa);
    const QSignalBlocker bloqueo(completa_);
    completa_->setChecked(completa);
  });
}

void VistaReproductor::alternar() {
  if (reproductor_->playbackState() == QMediaPlayer::PlayingState) return reproductor_->pause();
  reproductor_->play();
}

void VistaReproductor::ponerBoton() {
  const bool sonando = reproductor_->playbackState() == QMediaPlayer::PlayingState;
  const auto respaldo =
      style()->standardIcon(sonando ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay);
  boton_->setIcon(QIcon::fromTheme(
      sonando ? QStringLiteral("media-playback-pause") : QStringLiteral("media-playback-start"),
      respaldo));
  const auto nombre = sonando ? texto("Pause", "Pausa") : texto("Play", "Reproducir");
  boton_->setAccessibleName(nombre);
  boton_->setToolTip(nombre);
}

void VistaReproductor::ponerDuracion(qint64 ms) {
  barra_->setRange(0, static_cast<int>(ms));
  ponerTiempo();
}

void VistaReproductor::ponerPosicion(qint64 ms) {
  if (!barra_->isSliderDown()) barra_->setValue(static_cast<int>(ms));
  ponerTiempo();
}

void VistaReproductor::ponerTiempo() {
  tiempo_->setText(reloj(reproductor_->position()) + QStringLiteral(" / ") +
                   reloj(reproductor_->duration()));
}

void VistaReproductor::ponerError() {
  tiempo_->setText(reproductor_->errorString());
}

// A sound shows its symbol instead of an empty picture, and has no full screen.
void VistaReproductor::ponerSuperficie() {
  if (reproductor_->mediaStatus() != QMediaPlayer::LoadedMedia || reproductor_->hasVideo()) return;
  video_->hide();
  sonido_->show();
  completa_->setEnabled(false);
}

void VistaReproductor::showEvent(QShowEvent* evento) {
  QWidget::showEvent(evento);
  if (!evento->spontaneous()) reproductor_->play();
}

void VistaReproductor::hideEvent(QHideEvent* evento) {
  QWidget::hideEvent(evento);
  if (!evento->spontaneous()) reproductor_->pause();
}

Reproductor::Reproductor(const Reproduccion& r, QWidget* padre)
    : QDialog(padre), vista_(new VistaReproductor(r.url, this)) {
  setObjectName("reproductor");
  setWindowTitle(r.nombre);
  setMinimumSize(720, 420);
  resize(900, 560);
  auto* capas = new QVBoxLayout(this);
  auto* cabecera = new QHBoxLayout;
  auto* titulo = new QLabel(r.nombre, this);
  auto fuente = titulo->font();
  fuente.setBold(true);
  titulo->setFont(fuente);
  cabecera->addWidget(titulo, 1);
  auto* cerrar = new QPushButton(texto("Close", "Cerrar"), this);
  cerrar->setAutoDefault(false);
  connect(cerrar, &QPushButton::clicked, this, &QDialog::close);
  cabecera->addWidget(cerrar);
  capas->addLayout(cabecera);
  capas->addWidget(vista_, 1);
}

QMediaPlayer* Reproductor::reproductor() const {
  return vista_->reproductor();
}

}  // namespace vemlo::app
