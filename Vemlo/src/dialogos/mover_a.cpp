// The move dialog.
#include "mover_a.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "estado.h"
#include "iconos.h"
#include "migas.h"
#include "textos.h"

namespace vemlo::app {

MoverA::MoverA(Estado& estado, Item item, QWidget* padre)
    : QDialog(padre),
      estado_(estado),
      item_(std::move(item)),
      ruta_(new Migas(this)),
      carpetas_(new QListWidget(this)),
      error_(new QLabel(this)) {
  const auto nombre = QString::fromStdString(item_.nombre);
  const auto titulo = texto("Move “", "Mover «") + nombre + texto("” to…", "» a…");
  setWindowTitle(titulo);
  setFixedWidth(460);
  auto* capas = new QVBoxLayout(this);
  capas->setContentsMargins(20, 20, 20, 20);
  auto* cabeza = new QLabel(titulo, this);
  auto fuente = cabeza->font();
  fuente.setBold(true);
  cabeza->setFont(fuente);
  capas->addWidget(cabeza);
  capas->addWidget(ruta_);
  carpetas_->setAccessibleName(texto("Folders", "Carpetas"));
  capas->addWidget(carpetas_);
  error_->setWordWrap(true);
  error_->hide();
  capas->addWidget(error_);
  auto* botones = new QDialogButtonBox(this);
  botones->addButton(texto("Cancel", "Cancelar"), QDialogButtonBox::RejectRole);
  botones->addButton(texto("Move here", "Mover aquí"), QDialogButtonBox::AcceptRole)
      ->setDefault(true);
  connect(botones, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(botones, &QDialogButtonBox::accepted, this, &MoverA::moverAqui);
  capas->addWidget(botones);
  connect(ruta_, &Migas::elegido, this, [this](const QString& id) {
    ir(id.isEmpty() ? std::nullopt : std::optional(id.toStdString()));
  });
  connect(carpetas_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* i) { ir(i->data(Qt::UserRole).toString().toStdString()); });
  ir(std::nullopt);
}

QString MoverA::error() const {
  return error_->isHidden() ? QString() : error_->text();
}

void MoverA::ponerError(std::exception_ptr fallo) {
  error_->setText(descripcionDe(fallo));
  error_->show();
}

void MoverA::ir(std::optional<std::string> carpetaId) {
  const auto api = estado_.api();
  const auto& empresa = estado_.empresa();
  if (!api || !empresa) return;
  actual_ = std::move(carpetaId);
  estado_.llamar(
      this,
      [api, id = actual_.value_or(empresa->carpetaRaizId), parar = estado_.parada()] {
        return api->verCarpeta(id, parar);
      },
      [this](Resultado<VistaCarpeta> r) {
        if (r.fallo) return ponerError(r.fallo);
        vista_ = std::move(*r.valor);
        const auto& empresa = estado_.empresa();
        ruta_->poner(vista_->ruta,
                     empresa ? QString::fromStdString(empresa->nombre) : QStringLiteral("Vemlo"));
        carpetas_->clear();
        for (const auto& c : vista_->carpetas) {
          auto* fila = new QListWidgetItem(icono("folder.fill"), QString::fromStdString(c.nombre),
                                           carpetas_);
          fila->setData(Qt::UserRole, QString::fromStdString(c.id));
        }
        emit cargada();
      });
}

void MoverA::moverAqui() {
  const auto api = estado_.api();
  const auto& empresa = estado_.empresa();
  if (!api || !empresa) return;
  error_->hide();
  estado_.llamar(
      this,
      [api, item = item_, destino = actual_.value_or(empresa->carpetaRaizId),
       parar = estado_.parada()] {
        api->mover(item.esCarpeta ? Clase::carpeta : Clase::archivo, item.id, destino, parar);
      },
      [this](Resultado<Hecho> r) {
        if (r.fallo) return ponerError(r.fallo);
        estado_.cambio();
        accept();
      });
}

}  // namespace vemlo::app
