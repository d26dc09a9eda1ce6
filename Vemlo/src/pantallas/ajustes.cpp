// The settings window: the login item and each company's Vemlo folder.
#include "ajustes.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

#include "estado.h"
#include "finder/dominios.h"
#include "piezas_ajustes.h"
#include "tarea.h"
#include "textos.h"

namespace vemlo::app {

Ajustes::Ajustes(Estado& estado, QWidget* padre) : QWidget(padre), estado_(estado) {
  setObjectName("ajustes");
  setWindowTitle(texto("Vemlo Settings", "Ajustes de Vemlo"));
  setMinimumSize(460, 360);
  resize(560, 480);
  registro_.setMaxThreadCount(1);
  auto* columna = crearColumna(this, 560);
  auto* general = agregarGrupo(columna, texto("General", "General"));
  general->addRow(
      new CasillaArranque(estado_, texto("Open Vemlo at login", "Abrir Vemlo al iniciar sesión")));
  agregarCarpetas(columna);
  columna->addStretch();
  connect(&estado_, &Estado::finderListoCambio, this, &Ajustes::ponerFinder);
  connect(&estado_, &Estado::finderApagadoCambio, this, &Ajustes::ponerFinder);
  ponerFinder();
}

void Ajustes::agregarCarpetas(QVBoxLayout* columna) {
  empresas_ = agregarGrupo(columna, texto("Vemlo folder", "Carpeta Vemlo"));
  finder_ = new QLabel;
  empresas_->addRow(texto("Vemlo in the file manager", "Vemlo en el gestor de archivos"), finder_);
  auto* pista =
      new QLabel(texto("Switch a company's folder off to take it out of the file manager.",
                       "Apaga la carpeta de una empresa para quitarla del gestor de archivos."));
  vacio_ = new QLabel(texto("Each company's folder shows here once you sign in.",
                            "La carpeta de cada empresa aparece aquí cuando inicias sesión."));
  for (auto* nota : {pista, vacio_}) {
    nota->setWordWrap(true);
    nota->setForegroundRole(QPalette::PlaceholderText);
    empresas_->addRow(nota);
  }
}

void Ajustes::showEvent(QShowEvent* evento) {
  QWidget::showEvent(evento);
  leerDominios();
}

// The line follows the state; the rows follow the registry, which the state just touched.
void Ajustes::ponerFinder() {
  finder_->setText(textoDelFinder(estado_));
  leerDominios();
}

void Ajustes::leerDominios() {
  if (escrituras_ > 0) return;
  lanzar(
      registro_, this, [] { return finder::getDomains(); },
      [this](Resultado<std::vector<finder::DominioRegistrado>> r) {
        if (escrituras_ > 0) return;
        mostrarDominios(r.valor.value_or(std::vector<finder::DominioRegistrado>{}));
      });
}

void Ajustes::mostrarDominios(const std::vector<finder::DominioRegistrado>& dominios) {
  const bool mismas = std::ranges::equal(filas_, dominios, {}, &Fila::identifier,
                                         &finder::DominioRegistrado::identifier);
  if (!mismas) rehacerFilas(dominios);
  for (std::size_t i = 0; i < dominios.size(); ++i) {
    const auto& dominio = dominios[i];
    filas_[i].casilla->setText(QString::fromStdString(dominio.displayName));
    filas_[i].casilla->setChecked(dominio.enabled);
    const auto montaje = QString::fromStdString(finder::puntoDeMontaje(dominio).string());
    filas_[i].montaje->setText(montaje);
    filas_[i].casilla->setAccessibleDescription(montaje);
  }
  vacio_->setVisible(dominios.empty());
}

void Ajustes::rehacerFilas(const std::vector<finder::DominioRegistrado>& dominios) {
  for (const auto& fila : filas_) empresas_->removeRow(fila.caja);
  filas_.clear();
  for (const auto& dominio : dominios) {
    filas_.push_back(crearFila(dominio.identifier));
    empresas_->addRow(filas_.back().caja);
  }
}

Ajustes::Fila Ajustes::crearFila(const std::string& identifier) {
  auto* caja = new QWidget;
  auto* capas = new QVBoxLayout(caja);
  capas->setContentsMargins(0, 4, 0, 4);
  capas->setSpacing(2);
  auto* casilla = new QCheckBox(caja);
  auto* montaje = new QLabel(caja);
  montaje->setForegroundRole(QPalette::PlaceholderText);
  auto fuente = montaje->font();
  fuente.setPointSizeF(fuente.pointSizeF() * 0.9);
  montaje->setFont(fuente);
  montaje->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // Lined up with the check box's text, which starts after the indicator.
  const auto* estilo = casilla->style();
  montaje->setContentsMargins(estilo->pixelMetric(QStyle::PM_IndicatorWidth) +
                                  estilo->pixelMetric(QStyle::PM_CheckBoxLabelSpacing),
                              0, 0, 0);
  capas->addWidget(casilla);
  capas->addWidget(montaje);
  connect(casilla, &QCheckBox::clicked, this,
          [this, identifier](bool encendido) { cambiar(identifier, encendido); });
  return {identifier, caja, casilla, montaje};
}

// Writes the user's switch; then the banner checks again and the rows show the registry.
void Ajustes::cambiar(const std::string& identifier, bool encendido) {
  ++escrituras_;
  lanzar(
      registro_, this, [identifier, encendido] { finder::setUserEnabled(identifier, encendido); },
      [this](Resultado<Hecho> r) {
        --escrituras_;
        if (r.fallo) estado_.mostrar(r.fallo);
        estado_.comprobarFinder();
        leerDominios();
      });
}

}  // namespace vemlo::app
