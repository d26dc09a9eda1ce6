// The main window and its presentations.
#include "ventana.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>

#include "estado.h"
#include "raiz.h"
#include "reproductor.h"
#include "textos.h"
#include "vista_previa.h"

namespace vemlo::app {
namespace {

// Closes a presentation that the state no longer holds; forgotten first, so that its closing
// does not clear the state's member again.
template <class Dialogo>
void cerrar(QPointer<Dialogo>& dialogo) {
  if (auto* anterior = dialogo.data()) {
    dialogo = nullptr;
    anterior->close();
  }
}

}  // namespace

VentanaPrincipal::VentanaPrincipal(Estado& estado, QWidget* padre)
    : QMainWindow(padre), estado_(estado) {
  setObjectName("principal");
  setWindowTitle("Vemlo");
  resize(1100, 700);
  setMinimumSize(880, 560);
  setCentralWidget(new Raiz(estado_, this));
  crearMenu();
  connect(&estado_, &Estado::avisoCambio, this, &VentanaPrincipal::ponerAviso);
  connect(&estado_, &Estado::vistaPreviaCambio, this, &VentanaPrincipal::ponerVistaPrevia);
  connect(&estado_, &Estado::reproduccionCambio, this, &VentanaPrincipal::ponerReproduccion);
}

void VentanaPrincipal::crearMenu() {
  auto* menu = menuBar()->addMenu(QStringLiteral("&Vemlo"));
  auto* finder = menu->addAction(
      texto("Open Vemlo in the file manager", "Abrir Vemlo en el gestor de archivos"));
  finder->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
  connect(finder, &QAction::triggered, &estado_, &Estado::abrirEnFinder);
  auto* ajustes = menu->addAction(texto("Settings…", "Ajustes…"));
  ajustes->setShortcut(
      QKeySequence(Qt::CTRL | Qt::Key_Comma));  // not every desktop binds Preferences
  connect(ajustes, &QAction::triggered, this, &VentanaPrincipal::ajustesPedidos);
  menu->addSeparator();
  auto* salir = menu->addAction(texto("Quit Vemlo", "Salir de Vemlo"));
  salir->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(salir, &QAction::triggered, qApp, &QApplication::quit);
}

void VentanaPrincipal::closeEvent(QCloseEvent* evento) {
  if (!ocultar_) return QMainWindow::closeEvent(evento);
  hide();
  evento->ignore();
}

// One dialog at a time: a second notice replaces the first's text, and its "OK" clears it.
void VentanaPrincipal::ponerAviso() {
  if (!estado_.hayAviso()) return cerrar(aviso_);
  if (!aviso_) {
    aviso_ = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Vemlo"), QString(),
                             QMessageBox::Ok, this);
    aviso_->setObjectName("aviso");
    aviso_->setAttribute(Qt::WA_DeleteOnClose);
    aviso_->setWindowModality(Qt::WindowModal);
    connect(aviso_, &QMessageBox::finished, &estado_, [this, dialogo = aviso_.data()] {
      if (aviso_ == dialogo) estado_.cerrarAviso();
    });
  }
  aviso_->setText(estado_.aviso());
  aviso_->show();
}

void VentanaPrincipal::ponerVistaPrevia() {
  cerrar(vistaPrevia_);
  const auto& url = estado_.vistaPrevia();
  if (!url) return;
  vistaPrevia_ = new VistaPrevia(estado_, *url, this);
  vistaPrevia_->setAttribute(Qt::WA_DeleteOnClose);
  connect(vistaPrevia_, &QDialog::finished, &estado_, [this, dialogo = vistaPrevia_.data()] {
    if (vistaPrevia_ == dialogo) estado_.cerrarVistaPrevia();
  });
  vistaPrevia_->show();
}

void VentanaPrincipal::ponerReproduccion() {
  cerrar(reproductor_);
  const auto& r = estado_.reproduccion();
  if (!r) return;
  reproductor_ = new Reproductor(*r, this);
  reproductor_->setAttribute(Qt::WA_DeleteOnClose);
  reproductor_->setWindowModality(Qt::WindowModal);
  connect(reproductor_, &QDialog::finished, &estado_, [this, dialogo = reproductor_.data()] {
    if (reproductor_ == dialogo) estado_.cerrarReproduccion();
  });
  reproductor_->show();
}

}  // namespace vemlo::app
