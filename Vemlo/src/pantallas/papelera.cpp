// The trash list and restoring.
#include "papelera.h"

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "estado.h"
#include "iconos.h"
#include "textos.h"
#include "vacio.h"
#include "vemlo/mensajes.h"

namespace vemlo::app {

Papelera::Papelera(Estado& estado, QWidget* padre)
    : QWidget(padre),
      estado_(estado),
      cuerpo_(new QStackedWidget(this)),
      tabla_(new QTableWidget(0, 3, this)),
      vacio_(new Vacio("trash", texto("The trash is empty.", "La papelera está vacía."), this)) {
  auto* capas = new QVBoxLayout(this);
  auto* titulo = new QLabel(texto("Trash", "Papelera"), this);
  auto fuente = titulo->font();
  fuente.setPointSizeF(fuente.pointSizeF() * 1.4);
  fuente.setBold(true);
  titulo->setFont(fuente);
  capas->addWidget(titulo);
  auto* linea = new QLabel(texto("Deleted items stay here until they're emptied.",
                                 "Lo borrado queda aquí y se recupera con «Restaurar»."),
                           this);
  linea->setForegroundRole(QPalette::PlaceholderText);
  capas->addWidget(linea);
  auto* espera = new QProgressBar(cuerpo_);
  espera->setRange(0, 0);
  espera->setMaximumWidth(160);
  cuerpo_->addWidget(espera);
  cuerpo_->addWidget(vacio_);
  cuerpo_->addWidget(tabla_);
  capas->addWidget(cuerpo_, 1);
  tabla_->setHorizontalHeaderLabels(
      {texto("Name", "Nombre"), texto("Deleted", "Borrado"), QString()});
  tabla_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  tabla_->horizontalHeader()->resizeSection(1, 180);
  tabla_->horizontalHeader()->resizeSection(2, 110);
  tabla_->verticalHeader()->hide();
  tabla_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tabla_->setSelectionBehavior(QAbstractItemView::SelectRows);
  connect(&estado_, &Estado::cambiosCambio, this, &Papelera::cargar);
  cargar();
}

void Papelera::cargar() {
  const auto api = estado_.api();
  const auto& empresa = estado_.empresa();
  if (!api || !empresa) return;
  if (elementos_.empty()) cuerpo_->setCurrentIndex(0);
  estado_.llamar(
      this,
      [api, org = empresa->id, parar = estado_.parada()] {
        return api->listarPapelera(org, parar);
      },
      [this, pedido = ++pedido_](Resultado<std::vector<EnPapelera>> r) {
        if (pedido != pedido_) return;
        if (r.fallo) {
          estado_.mostrar(r.fallo);
          return poner(elementos_);
        }
        poner(std::move(*r.valor));
      });
}

void Papelera::poner(std::vector<EnPapelera> elementos) {
  elementos_ = std::move(elementos);
  const auto& empresa = estado_.empresa();
  const bool editable = empresa && empresa->rol != "lector";
  tabla_->setRowCount(static_cast<int>(elementos_.size()));
  for (int f = 0; f < tabla_->rowCount(); ++f) {
    const auto& e = elementos_[static_cast<std::size_t>(f)];
    tabla_->setItem(f, 0,
                    new QTableWidgetItem(icono(e.tipo == "carpeta" ? "folder" : "doc"),
                                         QString::fromStdString(e.nombre)));
    tabla_->setItem(f, 1, new QTableWidgetItem(QString::fromStdString(fechaLegible(e.borradoEn))));
    auto* boton = new QPushButton(texto("Restore", "Restaurar"), tabla_);
    boton->setEnabled(editable);
    connect(boton, &QPushButton::clicked, this, [this, e] { restaurar(e); });
    tabla_->setCellWidget(f, 2, boton);
  }
  cuerpo_->setCurrentWidget(elementos_.empty() ? static_cast<QWidget*>(vacio_) : tabla_);
  emit listaCambio();
}

void Papelera::restaurar(const EnPapelera& elemento) {
  const auto api = estado_.api();
  const auto& empresa = estado_.empresa();
  if (!api || !empresa) return;
  estado_.llamar(
      this,
      [api, org = empresa->id, elemento, parar = estado_.parada()] {
        api->restaurar(org, elemento.tipo, elemento.id, parar);
      },
      [this](Resultado<Hecho> r) {
        if (r.fallo) return estado_.mostrar(r.fallo);
        estado_.cambio();
      });
}

}  // namespace vemlo::app
