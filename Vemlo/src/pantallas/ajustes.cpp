// The settings window: the login item, the Vemlo folder's cache limit and each company's
// Vemlo folder.
#include "ajustes.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

#include "estado.h"
#include "finder/dominios.h"
#include "piezas_ajustes.h"
#include "tarea.h"
#include "textos.h"

namespace vemlo::app {
namespace {

constexpr std::uint64_t kGB = 1'000'000'000;

QString tamano(std::uint64_t bytes) {
  return QLocale().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeSIFormat);
}

QString textoDeUso(const UsoCache& uso) {
  auto linea = texto("%1 on this device, %2 kept on this device",
                     "%1 en este equipo, %2 mantenido en este equipo")
                   .arg(tamano(uso.ocupados), tamano(uso.fijados));
  if (uso.sinSitio == 0) return linea;
  return linea + "\n" +
         texto("%1 files kept on this device (%2) do not fit under the limit",
               "%1 archivos que se mantienen en este equipo (%2) no caben en el límite")
             .arg(uso.sinSitio)
             .arg(tamano(uso.bytesSinSitio));
}

}  // namespace

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
  limite_ = new QSpinBox;
  limite_->setObjectName("limiteCache");
  limite_->setRange(1, 100'000);
  limite_->setSuffix(" GB");
  connect(limite_, &QSpinBox::editingFinished, this, &Ajustes::limitar);
  empresas_->addRow(texto("Keep on this device at most", "Guardar en este equipo como máximo"),
                    limite_);
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

void Ajustes::leerCache() {
  lanzar(
      registro_, this, [] { return std::pair(limiteDeCache(), usoCache()); },
      [this](Resultado<std::pair<std::uint64_t, std::vector<UsoCache>>> r) {
        if (r.valor) mostrarCache(r.valor->first, r.valor->second);
      });
}

void Ajustes::mostrarCache(std::uint64_t limite, const std::vector<UsoCache>& usos) {
  limiteLeido_ = static_cast<int>(std::clamp<std::uint64_t>(limite / kGB, 1, 100'000));
  if (!limite_->hasFocus()) limite_->setValue(limiteLeido_);
  for (auto& fila : filas_) {
    const auto uso = std::ranges::find(usos, fila.identifier, &UsoCache::identifier);
    fila.uso->setVisible(uso != usos.end());
    if (uso != usos.end()) fila.uso->setText(textoDeUso(*uso));
  }
}

// The new limit goes to the host (or waits for its start); then the rows show its effect.
void Ajustes::limitar() {
  if (limite_->value() == limiteLeido_) return;
  limiteLeido_ = limite_->value();
  const auto bytes = static_cast<std::uint64_t>(limite_->value()) * kGB;
  lanzar(
      registro_, this, [bytes] { limitarCache(bytes); },
      [this](Resultado<Hecho> r) {
        if (r.fallo) estado_.mostrar(r.fallo);
        leerCache();
      });
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
  leerCache();
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
  auto* uso = new QLabel(caja);
  uso->setObjectName("uso");
  uso->hide();
  // Lined up with the check box's text, which starts after the indicator.
  const auto* estilo = casilla->style();
  const auto sangria = estilo->pixelMetric(QStyle::PM_IndicatorWidth) +
                       estilo->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
  for (auto* nota : {montaje, uso}) {
    nota->setForegroundRole(QPalette::PlaceholderText);
    auto fuente = nota->font();
    fuente.setPointSizeF(fuente.pointSizeF() * 0.9);
    nota->setFont(fuente);
    nota->setTextInteractionFlags(Qt::TextSelectableByMouse);
    nota->setContentsMargins(sangria, 0, 0, 0);
  }
  capas->addWidget(casilla);
  capas->addWidget(montaje);
  capas->addWidget(uso);
  connect(casilla, &QCheckBox::clicked, this,
          [this, identifier](bool encendido) { cambiar(identifier, encendido); });
  return {identifier, caja, casilla, montaje, uso};
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
