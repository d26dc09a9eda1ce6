// The tray icon and its menu.
#include "bandeja.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QSystemTrayIcon>

#include <algorithm>

#include "estado.h"
#include "iconos.h"
#include "piezas_ajustes.h"
#include "textos.h"
#include "web.h"

namespace vemlo::app {
namespace {

int enCurso(const Subidas& subidas) {
  return static_cast<int>(
      std::ranges::count(subidas.filas(), EstadoSubida::subiendo, &SubidaEnCurso::estado));
}

}  // namespace

Bandeja::Bandeja(Estado& estado, std::function<void()> abrirVentana, QObject* padre)
    : QObject(padre),
      estado_(estado),
      abrirVentana_(std::move(abrirVentana)),
      menu_(std::make_unique<QMenu>()),
      icono_(std::make_unique<QSystemTrayIcon>(iconoDeBandeja(false))) {
  icono_->setToolTip(QStringLiteral("Vemlo"));
  crearMenu();
  icono_->setContextMenu(menu_.get());
  connect(icono_.get(), &QSystemTrayIcon::activated, this, [this](auto razon) {
    if (razon == QSystemTrayIcon::Trigger || razon == QSystemTrayIcon::DoubleClick) abrirVentana_();
  });
  icono_->show();
}

Bandeja::~Bandeja() = default;

void Bandeja::crearMenu() {
  agregarAcciones();
  connect(&estado_, &Estado::cuentaCambio, this, &Bandeja::ponerSesion);
  auto& subidas = estado_.subidas();
  connect(&subidas, &Subidas::rowsInserted, this, &Bandeja::ponerSubidas);
  connect(&subidas, &Subidas::rowsRemoved, this, &Bandeja::ponerSubidas);
  connect(&subidas, &Subidas::dataChanged, this, &Bandeja::ponerSubidas);
  connect(&subidas, &Subidas::modelReset, this, &Bandeja::ponerSubidas);
  // Queued: the state announces the change before it writes the entry.
  connect(&estado_, &Estado::arranqueCambio, this, &Bandeja::ponerArranque, Qt::QueuedConnection);
  ponerSesion();
  ponerArranque();
}

void Bandeja::agregarAcciones() {
  linea_ = menu_->addAction(QString());
  linea_->setEnabled(false);
  menu_->addSeparator();
  menu_->addAction(texto("Open Vemlo", "Abrir Vemlo"), this, [this] { abrirVentana_(); });
  enFinder_ = menu_->addAction(
      texto("Open Vemlo in the file manager", "Abrir Vemlo en el gestor de archivos"), &estado_,
      &Estado::abrirEnFinder);
  menu_->addAction(texto("Open ", "Abrir ") + hostWeb(estado_.base()), this,
                   [this] { QDesktopServices::openUrl(sitioWeb(estado_.base())); });
  menu_->addSeparator();
  arranque_ = menu_->addAction(texto("Open at login", "Abrir al iniciar sesión"));
  arranque_->setCheckable(true);
  connect(arranque_, &QAction::triggered, this,
          [this](bool encendido) { arranque_->setChecked(cambiarArranque(estado_, encendido)); });
  menu_->addSeparator();
  salir_ = menu_->addAction(texto("Sign out", "Cerrar sesión"), &estado_, &Estado::salir);
  auto* terminar =
      menu_->addAction(texto("Quit Vemlo", "Salir de Vemlo"), qApp, &QCoreApplication::quit);
  terminar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

// Signed in or not; the upload count only means something with a session.
void Bandeja::ponerSesion() {
  const bool conSesion = estado_.cuenta().has_value();
  enFinder_->setEnabled(conSesion);
  salir_->setEnabled(conSesion);
  ponerSubidas();
}

void Bandeja::ponerSubidas() {
  const int n = enCurso(estado_.subidas());
  if (!estado_.cuenta())
    linea_->setText(texto("Not signed in", "Sin sesión"));
  else if (n > 0)
    linea_->setText(texto("Uploading ", "Subiendo ") + QString::number(n) + QStringLiteral("…"));
  else
    linea_->setText(texto("Up to date", "Al día"));
  if (subiendo_ == (n > 0)) return;  // progress ticks often: the icon changes only on a switch
  subiendo_ = n > 0;
  icono_->setIcon(iconoDeBandeja(subiendo_));
}

void Bandeja::ponerArranque() {
  arranque_->setChecked(estado_.arranqueEncendido());
}

}  // namespace vemlo::app
