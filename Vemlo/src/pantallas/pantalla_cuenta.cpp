// The Account section, laid out as a settings page of titled cards.
#include "pantalla_cuenta.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "estado.h"
#include "iconos.h"
#include "piezas_ajustes.h"
#include "textos.h"
#include "vemlo/version.h"
#include "web.h"

namespace vemlo::app {
namespace {

// A value of a card's row: selectable, so that the e-mail can be copied.
QLabel* valor() {
  auto* etiqueta = new QLabel;
  etiqueta->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return etiqueta;
}

}  // namespace

QString nombreDeRol(const std::string& rol) {
  if (rol == "dueno") return texto("Owner", "Dueño");
  if (rol == "administrador") return texto("Admin", "Administrador");
  if (rol == "editor") return texto("Editor", "Editor");
  return texto("Viewer", "Lector");
}

PantallaCuenta::PantallaCuenta(Estado& estado, QWidget* padre) : QWidget(padre), estado_(estado) {
  setObjectName("pantallaCuenta");
  auto* columna = crearColumna(this);
  agregarCuenta(columna);
  agregarFinder(columna);
  agregarConfiguracion(columna);
  columna->addSpacing(16);
  auto* salir = new QPushButton(texto("Sign out", "Cerrar sesión"));
  connect(salir, &QPushButton::clicked, &estado_, &Estado::salir);
  columna->addWidget(salir, 0, Qt::AlignLeft);
  columna->addStretch();
  auto* version =
      new QLabel(texto("Vemlo version ", "Vemlo versión ") +
                 QString::fromUtf8(kVersion.data(), static_cast<qsizetype>(kVersion.size())));
  version->setObjectName("version");
  version->setForegroundRole(QPalette::PlaceholderText);
  columna->addWidget(version, 0, Qt::AlignLeft);
  connect(&estado_, &Estado::cuentaCambio, this, &PantallaCuenta::ponerCuenta);
  connect(&estado_, &Estado::empresaCambio, this, &PantallaCuenta::ponerCuenta);
  connect(&estado_, &Estado::finderListoCambio, this, &PantallaCuenta::ponerFinder);
  connect(&estado_, &Estado::finderApagadoCambio, this, &PantallaCuenta::ponerFinder);
  ponerCuenta();
  ponerFinder();
}

void PantallaCuenta::agregarCuenta(QVBoxLayout* columna) {
  auto* titulo = new QLabel(texto("Your account", "Tu cuenta"));
  auto fuente = titulo->font();
  fuente.setPointSizeF(fuente.pointSizeF() * 1.6);
  fuente.setBold(true);
  titulo->setFont(fuente);
  columna->addWidget(titulo);
  auto* filas = agregarGrupo(columna, QString());
  correo_ = valor();
  empresa_ = valor();
  rol_ = valor();
  filas->addRow(texto("Email", "Correo"), correo_);
  filas->addRow(texto("Company", "Empresa"), empresa_);
  filas->addRow(texto("Your role", "Tu rol"), rol_);
}

void PantallaCuenta::agregarFinder(QVBoxLayout* columna) {
  auto* filas =
      agregarGrupo(columna, texto("Vemlo in the file manager", "Vemlo en el gestor de archivos"));
  finder_ = new QLabel;
  activar_ = new QPushButton(texto("Turn on in Settings", "Activar en Ajustes"));
  connect(activar_, &QPushButton::clicked, &estado_, &Estado::abrirAjustesFinder);
  auto* estadoFila = new QHBoxLayout;
  estadoFila->addWidget(finder_, 1);
  estadoFila->addWidget(activar_);
  filas->addRow(texto("Status", "Estado"), estadoFila);
  auto* abrir = new QPushButton(
      texto("Open Vemlo in the file manager", "Abrir Vemlo en el gestor de archivos"));
  abrir->setIcon(icono("externaldrive.connected.to.line.below"));
  abrir->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  connect(abrir, &QPushButton::clicked, &estado_, &Estado::abrirEnFinder);
  filas->addRow(abrir);
  filas->addRow(
      new CasillaArranque(estado_, texto("Open Vemlo at login", "Abrir Vemlo al iniciar sesión")));
}

void PantallaCuenta::agregarConfiguracion(QVBoxLayout* columna) {
  auto* filas = agregarGrupo(columna, texto("Settings", "Configuración"));
  const auto app = paginaWeb(estado_.base(), QStringLiteral("app"));
  filas->addRow(crearEnlace(texto("Usage and billing", "Consumo y facturación"), app, this));
  filas->addRow(crearEnlace(texto("Team and permissions", "Equipo y permisos"), app, this));
  filas->addRow(crearEnlace(
      texto("Security (password and two-step verification)", "Seguridad (contraseña y dos pasos)"),
      app, this));
  filas->addRow(crearEnlace(texto("Help (Docs)", "Ayuda (Docs)"),
                            paginaWeb(estado_.base(), QStringLiteral("docs/mac-app")), this));
}

void PantallaCuenta::ponerCuenta() {
  const auto& cuenta = estado_.cuenta();
  const auto& empresa = estado_.empresa();
  correo_->setText(cuenta ? QString::fromStdString(cuenta->usuario.correo) : QString());
  empresa_->setText(empresa ? QString::fromStdString(empresa->nombre) : QString());
  rol_->setText(empresa ? nombreDeRol(empresa->rol) : QString());
}

// A folder that is not registered yet cannot show in the file manager either: it reads as Off.
void PantallaCuenta::ponerFinder() {
  finder_->setText(textoDelFinder(estado_));
  activar_->setVisible(!finderEncendido(estado_));
}

}  // namespace vemlo::app
