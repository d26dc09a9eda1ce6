// The company-wide lists.
#include "lista_items.h"

#include <QLabel>
#include <QVBoxLayout>

#include <unordered_set>

#include "acciones.h"
#include "contenido.h"
#include "estado.h"
#include "textos.h"

namespace vemlo::app {
namespace {

struct DatosModo {
  const char* titulo[2];
  const char* simbolo;
  const char* vacio[2];
};

const DatosModo& datosDe(ListaItems::Modo modo) {
  static const DatosModo kModos[] = {
      {{"Recent", "Recientes"},
       "clock",
       {"What you upload or change shows up here.", "Lo que subas o cambies aparece aquí."}},
      {{"Favorites", "Favoritos"},
       "star",
       {"Mark files and folders as favorites to find them here.",
        "Marca archivos y carpetas como favoritos para tenerlos aquí."}},
      {{"Photos", "Fotos"},
       "photo",
       {"Your company's photos and videos will show up here.",
        "Las fotos y los videos de tu empresa aparecen aquí."}},
  };
  return kModos[static_cast<int>(modo)];
}

}  // namespace

ListaItems::ListaItems(Estado& estado, Modo modo, QWidget* padre)
    : QWidget(padre),
      estado_(estado),
      modo_(modo),
      modelo_(estado),
      contenido_(new Contenido(this)) {
  const auto& datos = datosDe(modo_);
  auto* capas = new QVBoxLayout(this);
  auto* titulo = new QLabel(texto(datos.titulo[0], datos.titulo[1]), this);
  auto fuente = titulo->font();
  fuente.setPointSizeF(fuente.pointSizeF() * 1.4);
  fuente.setBold(true);
  titulo->setFont(fuente);
  capas->addWidget(titulo);
  capas->addWidget(contenido_, 1);
  contenido_->ponerModelo(&modelo_);
  contenido_->ponerCuadricula(modo_ == Modo::fotos);
  connect(contenido_, &Contenido::activado, this, [this](const Item& item) {
    if (item.esCarpeta) return emit abrirCarpeta(QString::fromStdString(item.id));
    abrirArchivo(estado_, item);
  });
  contenido_->ponerAcciones([this](const Item& item) { return acciones(item); });
  connect(&estado_, &Estado::cambiosCambio, this, &ListaItems::cargar);
  cargar();
}

void ListaItems::cargar() {
  const auto api = estado_.api();
  const auto& empresa = estado_.empresa();
  if (!api || !empresa) return;
  estado_.llamar(
      this,
      [api, org = empresa->id, modo = modo_, parar = estado_.parada()] {
        Carga carga{{}, api->listarFavoritos(org, parar)};
        carga.items = modo == Modo::favoritos
                          ? itemsDe(carga.favoritos)
                          : itemsDe(api->recientes(org, modo == Modo::fotos, parar));
        return carga;
      },
      [this, pedido = ++pedido_](Resultado<Carga> r) {
        if (pedido != pedido_) return;
        if (r.fallo) return estado_.mostrar(r.fallo);
        aplicar(std::move(*r.valor));
      });
}

void ListaItems::aplicar(Carga carga) {
  std::unordered_set<std::string> favoritos;
  for (const auto& f : carga.favoritos) favoritos.insert(f.id);
  const bool vacia = carga.items.empty();
  modelo_.poner(std::move(carga.items), std::move(favoritos));
  const auto& datos = datosDe(modo_);
  contenido_->ponerVacio(datos.simbolo, vacia ? texto(datos.vacio[0], datos.vacio[1]) : QString());
  cargada_ = true;
  emit listaCambio();
}

// The item's menu; it deletes itself once closed.
Acciones* ListaItems::acciones(const Item& item) {
  const auto& empresa = estado_.empresa();
  auto* acciones = new Acciones(estado_, item, modelo_.esFavorito(item.id),
                                empresa && empresa->rol != "lector", this);
  acciones->setAttribute(Qt::WA_DeleteOnClose);
  connect(acciones, &Acciones::abrirCarpeta, this, &ListaItems::abrirCarpeta);
  return acciones;
}

}  // namespace vemlo::app
