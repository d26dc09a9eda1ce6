// The preview window. The type comes from the file's name and first bytes; a picture or a text
// that cannot be read falls back to the panel that offers the file's own application.
#include "vista_previa.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImageReader>
#include <QLabel>
#include <QMimeDatabase>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

#include "iconos.h"
#include "reproductor.h"
#include "tarea.h"
#include "textos.h"

namespace vemlo::app {
namespace {

constexpr int ladoMaximo = 2560;         // pixels a side kept of a big picture
constexpr qint64 textoMaximo = 1 << 20;  // bytes of a text shown

// `tamano` shrunk to fit in `caja`, its proportions kept.
QSize encajar(QSize tamano, QSize caja) {
  const auto factor = std::min(static_cast<double>(caja.width()) / tamano.width(),
                               static_cast<double>(caja.height()) / tamano.height());
  return (QSizeF(tamano) * factor).toSize();
}

// A picture drawn whole, centred and shrunk to fit, never enlarged.
class Lienzo : public QWidget {
 public:
  using QWidget::QWidget;
  void ponerImagen(const QImage& imagen) {
    imagen_ = imagen;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (imagen_.isNull()) return;
    QPainter pintor(this);
    pintor.setRenderHint(QPainter::SmoothPixmapTransform);
    auto tamano = imagen_.size();
    if (tamano.width() > width() || tamano.height() > height()) tamano = encajar(tamano, size());
    QRect destino(QPoint(), tamano);
    destino.moveCenter(rect().center());
    pintor.drawImage(destino, imagen_);
  }

 private:
  QImage imagen_;
};

// Read on a worker: oriented as its metadata says, and decoded small when it is big.
QImage leerImagen(const QString& ruta) {
  QImageReader lector(ruta);
  lector.setAutoTransform(true);
  const auto tamano = lector.size();
  if (tamano.width() > ladoMaximo || tamano.height() > ladoMaximo)
    lector.setScaledSize(encajar(tamano, QSize(ladoMaximo, ladoMaximo)));
  return lector.read();
}

// Read on a worker: the first MiB as UTF-8; none when the file cannot be read.
std::optional<QString> leerTexto(const QString& ruta) {
  QFile archivo(ruta);
  if (!archivo.open(QIODevice::ReadOnly)) return std::nullopt;
  const auto bytes = archivo.read(textoMaximo);
  if (archivo.error() != QFileDevice::NoError) return std::nullopt;
  return QString::fromUtf8(bytes);
}

VistaPrevia::Clase claseDe(const QMimeType& tipo) {
  const auto nombre = tipo.name();
  if (nombre.startsWith("image/"))
    return QImageReader::supportedMimeTypes().contains(nombre.toLatin1())
               ? VistaPrevia::Clase::imagen
               : VistaPrevia::Clase::otro;
  if (tipo.inherits(QStringLiteral("text/plain"))) return VistaPrevia::Clase::texto;
  if (nombre == QStringLiteral("application/pdf")) return VistaPrevia::Clase::pdf;
  if (nombre.startsWith("video/") || nombre.startsWith("audio/")) return VistaPrevia::Clase::medio;
  return VistaPrevia::Clase::otro;
}

}  // namespace

VistaPrevia::VistaPrevia(Estado&, const QUrl& archivo, QWidget* padre)
    : QDialog(padre), archivo_(archivo), ruta_(archivo.toLocalFile()) {
  setObjectName("vistaPrevia");
  setWindowTitle(QFileInfo(ruta_).fileName());
  resize(900, 650);
  auto* capas = new QVBoxLayout(this);
  capas->setContentsMargins(0, 0, 0, 0);
  lector_.setMaxThreadCount(1);
  const auto tipo = QMimeDatabase().mimeTypeForFile(ruta_);
  mostrar(claseDe(tipo), tipo);
}

void VistaPrevia::mostrar(Clase clase, const QMimeType& tipo) {
  clase_ = clase;
  switch (clase) {
    case Clase::imagen:
      return poner(crearImagen());
    case Clase::texto:
      return poner(crearTexto());
    case Clase::pdf:
      return poner(crearPdf());
    case Clase::medio:
      return poner(new VistaReproductor(archivo_, this));
    case Clase::otro:
      return poner(crearOtro(tipo));
  }
}

QWidget* VistaPrevia::crearImagen() {
  auto* lienzo = new Lienzo(this);
  lienzo->setBackgroundRole(QPalette::Base);
  lienzo->setAutoFillBackground(true);
  lienzo->setAccessibleName(windowTitle());
  lanzar(
      lector_, this, [ruta = ruta_] { return leerImagen(ruta); },
      [this, lienzo](Resultado<QImage> r) {
        if (!r.valor || r.valor->isNull())
          mostrar(Clase::otro, QMimeDatabase().mimeTypeForFile(ruta_));
        else
          lienzo->ponerImagen(imagen_ = *r.valor);
        emit cargada();
      });
  return lienzo;
}

QWidget* VistaPrevia::crearTexto() {
  auto* editor = new QPlainTextEdit(this);
  editor->setReadOnly(true);
  editor->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  editor->setAccessibleName(windowTitle());
  lanzar(
      lector_, this, [ruta = ruta_] { return leerTexto(ruta); },
      [this, editor](Resultado<std::optional<QString>> r) {
        if (!r.valor || !*r.valor)
          mostrar(Clase::otro, QMimeDatabase().mimeTypeForFile(ruta_));
        else
          editor->setPlainText(**r.valor);
        emit cargada();
      });
  return editor;
}

QWidget* VistaPrevia::crearPdf() {
  auto* documento = new QPdfDocument(this);
  documento->setObjectName("documento");
  if (documento->load(ruta_) != QPdfDocument::Error::None) {
    clase_ = Clase::otro;
    return crearOtro(QMimeDatabase().mimeTypeForFile(ruta_));
  }
  auto* vista = new QPdfView(this);
  vista->setAccessibleName(windowTitle());
  vista->setDocument(documento);
  vista->setPageMode(QPdfView::PageMode::MultiPage);
  vista->setZoomMode(QPdfView::ZoomMode::FitToWidth);
  return vista;
}

QWidget* VistaPrevia::crearOtro(const QMimeType& tipo) {
  auto* panel = new QWidget(this);
  auto* capas = new QVBoxLayout(panel);
  capas->addStretch();
  auto* simbolo = new QLabel(panel);
  const auto respaldo = QIcon::fromTheme(tipo.genericIconName(), icono("doc"));
  simbolo->setPixmap(QIcon::fromTheme(tipo.iconName(), respaldo).pixmap(96, 96));
  capas->addWidget(simbolo, 0, Qt::AlignCenter);
  capas->addWidget(new QLabel(windowTitle(), panel), 0, Qt::AlignCenter);
  auto* abrir = new QPushButton(texto("Open with its app", "Abrir con su programa"), panel);
  abrir->setObjectName("abrirConSuPrograma");
  connect(abrir, &QPushButton::clicked, this, &VistaPrevia::abrirConSuPrograma);
  capas->addWidget(abrir, 0, Qt::AlignCenter);
  fallo_ = new QLabel(panel);
  fallo_->setForegroundRole(QPalette::PlaceholderText);
  fallo_->hide();
  capas->addWidget(fallo_, 0, Qt::AlignCenter);
  capas->addStretch();
  return panel;
}

void VistaPrevia::poner(QWidget* contenido) {
  if (contenido_) {
    contenido_->hide();
    contenido_->deleteLater();
  }
  contenido_ = contenido;
  layout()->addWidget(contenido_);
  contenido_->setFocus();
}

// The file's application takes over, and the preview is done; otherwise it says so.
void VistaPrevia::abrirConSuPrograma() {
  if (QDesktopServices::openUrl(archivo_)) return accept();
  fallo_->setText(
      texto("No application could open this file.", "Ninguna aplicación pudo abrir este archivo."));
  fallo_->show();
}

}  // namespace vemlo::app
