// VistaPrevia: the in-app quick look at a local file (the state's vistaPrevia), chosen by the
// file's type: a picture fitted to the window, the start of a text, every page of a PDF, a
// video or a sound in the player, or for anything else its icon, its name and a button that
// hands it to its application. Pictures and texts are read off the GUI thread.
#pragma once

#include <QDialog>
#include <QImage>
#include <QThreadPool>
#include <QUrl>

class QLabel;
class QMimeType;

namespace vemlo::app {

class Estado;

class VistaPrevia : public QDialog {
  Q_OBJECT

 public:
  enum class Clase { imagen, texto, pdf, medio, otro };

  VistaPrevia(Estado& estado, const QUrl& archivo, QWidget* padre = nullptr);

  Clase clase() const { return clase_; }
  // What is shown: the picture's surface, the text, the PDF view, the player or the panel.
  QWidget* contenido() const { return contenido_; }
  // The picture as read (oriented and at most 2560 pixels a side); null for other kinds.
  const QImage& imagen() const { return imagen_; }

 signals:
  // The picture or the text was read and is shown (or, failing that, the panel).
  void cargada();

 private:
  void mostrar(Clase clase, const QMimeType& tipo);
  QWidget* crearImagen();
  QWidget* crearTexto();
  QWidget* crearPdf();
  QWidget* crearOtro(const QMimeType& tipo);
  void poner(QWidget* contenido);
  void abrirConSuPrograma();

  QUrl archivo_;
  QString ruta_;
  Clase clase_ = Clase::otro;
  QWidget* contenido_ = nullptr;
  QImage imagen_;
  QLabel* fallo_ = nullptr;  // the desktop could not open the file
  QThreadPool lector_;
};

}  // namespace vemlo::app
