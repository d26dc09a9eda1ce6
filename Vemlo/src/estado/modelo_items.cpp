// The item table: texts as the user reads them, symbols, and thumbnails fetched as rows show.
#include "modelo_items.h"

#include <QLocale>
#include <QMimeData>
#include <QUrl>

#include "estado.h"
#include "iconos.h"
#include "textos.h"
#include "vemlo/mensajes.h"

namespace vemlo::app {
namespace {

constexpr auto kPrefijo = QLatin1String("vemlo:");

// Pictures and videos get a thumbnail: the service's, or one made here.
bool conMiniatura(const Item& item) {
  if (item.esCarpeta) return false;
  const auto tipo = item.tipo.value_or("");
  return item.miniatura || tipo.starts_with("image/") || tipo.starts_with("video/");
}

}  // namespace

ModeloItems::ModeloItems(Estado& estado, QObject* padre)
    : QAbstractTableModel(padre), estado_(estado) {}

ModeloItems::~ModeloItems() {
  vigencia_.request_stop();
}

int ModeloItems::rowCount(const QModelIndex& padre) const {
  return padre.isValid() ? 0 : static_cast<int>(items_.size());
}

int ModeloItems::columnCount(const QModelIndex& padre) const {
  return padre.isValid() ? 0 : columnas;
}

QVariant ModeloItems::data(const QModelIndex& indice, int rol) const {
  if (!indice.isValid() || indice.row() >= rowCount()) return {};
  const auto& i = items_[static_cast<std::size_t>(indice.row())];
  switch (rol) {
    case Qt::DisplayRole:
      if (indice.column() == fechaColumna) return fecha(indice.row());
      if (indice.column() == tamanoColumna)
        return i.tamano ? QLocale().formattedDataSize(*i.tamano) : QStringLiteral("—");
      return QString::fromStdString(i.nombre);
    case Qt::DecorationRole:
      return indice.column() == nombreColumna ? decoracion(indice.row()) : QVariant();
    case Qt::TextAlignmentRole:
      return indice.column() == tamanoColumna ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                              : QVariant();
    case favoritoRol:
      return favoritos_.contains(i.id);
    case carpetaRol:
      return i.esCarpeta;
    case idRol:
      return QString::fromStdString(i.id);
    default:
      return {};
  }
}

QVariant ModeloItems::headerData(int seccion, Qt::Orientation orientacion, int rol) const {
  if (orientacion != Qt::Horizontal || rol != Qt::DisplayRole) return {};
  switch (seccion) {
    case nombreColumna:
      return texto("Name", "Nombre");
    case fechaColumna:
      return texto("Modified", "Modificado");
    case tamanoColumna:
      return texto("Size", "Tamaño");
    default:
      return {};
  }
}

void ModeloItems::poner(std::vector<Item> items, std::unordered_set<std::string> favoritos) {
  vigencia_.request_stop();
  beginResetModel();
  items_ = std::move(items);
  favoritos_ = std::move(favoritos);
  filas_.clear();
  for (std::size_t f = 0; f < items_.size(); ++f) filas_.emplace(items_[f].id, static_cast<int>(f));
  fechas_.assign(items_.size(), std::nullopt);
  pedidas_.clear();
  vigencia_ = {};
  endResetModel();
}

Qt::ItemFlags ModeloItems::flags(const QModelIndex& indice) const {
  if (!indice.isValid()) return editable_ && destino_ ? Qt::ItemIsDropEnabled : Qt::NoItemFlags;
  auto banderas = QAbstractTableModel::flags(indice) | Qt::ItemIsDragEnabled;
  if (editable_ && items_[static_cast<std::size_t>(indice.row())].esCarpeta)
    banderas |= Qt::ItemIsDropEnabled;
  return banderas;
}

QStringList ModeloItems::mimeTypes() const {
  return {"text/plain", "text/uri-list"};
}

QMimeData* ModeloItems::mimeData(const QModelIndexList& indices) const {
  QStringList lineas;
  for (const auto& i : indices) {
    if (i.column() != nombreColumna) continue;
    const auto& item = items_[static_cast<std::size_t>(i.row())];
    lineas << kPrefijo + (item.esCarpeta ? "carpeta:" : "archivo:") +
                  QString::fromStdString(item.id);
  }
  auto* datos = new QMimeData;
  datos->setText(lineas.join('\n'));
  return datos;
}

void ModeloItems::ponerDestino(std::optional<std::string> carpetaId, bool editable) {
  destino_ = std::move(carpetaId);
  editable_ = editable;
}

// A folder row takes what is dropped on it; anywhere else, the list's own folder.
std::optional<std::string> ModeloItems::destinoDe(const QModelIndex& padre) const {
  if (padre.isValid() && items_[static_cast<std::size_t>(padre.row())].esCarpeta)
    return items_[static_cast<std::size_t>(padre.row())].id;
  return destino_;
}

bool ModeloItems::canDropMimeData(const QMimeData* datos, Qt::DropAction, int, int,
                                  const QModelIndex& padre) const {
  if (!editable_ || !destinoDe(padre)) return false;
  return datos->hasUrls() || datos->text().startsWith(kPrefijo);
}

bool ModeloItems::dropMimeData(const QMimeData* datos, Qt::DropAction accion, int fila, int columna,
                               const QModelIndex& padre) {
  if (!canDropMimeData(datos, accion, fila, columna, padre)) return false;
  const auto destino = *destinoDe(padre);
  if (datos->hasUrls()) {
    std::vector<std::filesystem::path> rutas;
    for (const auto& url : datos->urls())
      if (url.isLocalFile()) rutas.emplace_back(url.toLocalFile().toStdString());
    estado_.subir(rutas, destino);
    return !rutas.empty();
  }
  std::vector<std::pair<bool, std::string>> items;  // (is a folder, id)
  for (const auto& linea : datos->text().split('\n', Qt::SkipEmptyParts)) {
    const auto partes = linea.mid(kPrefijo.size()).split(':');
    if (partes.size() == 2 && partes[1].toStdString() != destino)
      items.emplace_back(partes[0] == "carpeta", partes[1].toStdString());
  }
  mover(items, destino);
  return !items.empty();
}

void ModeloItems::mover(const std::vector<std::pair<bool, std::string>>& items,
                        const std::string& destino) {
  const auto api = estado_.api();
  if (!api || items.empty()) return;
  estado_.llamar(
      this,
      [api, items, destino, parar = estado_.parada()] {
        for (const auto& [carpeta, id] : items)
          api->mover(carpeta ? Clase::carpeta : Clase::archivo, id, destino, parar);
      },
      [this](Resultado<Hecho> r) {
        if (r.fallo) estado_.mostrar(r.fallo);
        estado_.cambio();
      });
}

QString ModeloItems::fecha(int fila) const {
  auto& f = fechas_[static_cast<std::size_t>(fila)];
  if (!f) f = QString::fromStdString(fechaLegible(items_[static_cast<std::size_t>(fila)].fecha));
  return *f;
}

QVariant ModeloItems::decoracion(int fila) const {
  const auto& i = items_[static_cast<std::size_t>(fila)];
  if (conMiniatura(i)) {
    if (auto imagen = estado_.miniaturaGuardada(i.id)) return *imagen;
    pedirMiniatura(fila);
  }
  return icono(simboloDe(i));
}

void ModeloItems::pedirMiniatura(int fila) const {
  const auto& i = items_[static_cast<std::size_t>(fila)];
  if (!pedidas_.insert(i.id).second) return;
  auto* yo =
      const_cast<ModeloItems*>(this);  // NOLINT: the reply changes the model, not the view's read
  estado_.cargarMiniatura(
      archivoDe(i), yo,
      [yo, id = i.id](const QImage& imagen) {
        const auto f = yo->filas_.find(id);
        if (imagen.isNull() || f == yo->filas_.end()) return;  // none: the symbol stays
        yo->pedidas_.erase(id);  // evicted from the cache later: asked for again when shown
        const auto celda = yo->index(f->second, nombreColumna);
        emit yo->dataChanged(celda, celda, {Qt::DecorationRole});
      },
      vigencia_.get_token());
}

}  // namespace vemlo::app
