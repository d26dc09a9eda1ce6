// The pieces that the Account section, the settings window and the tray share: a settings
// page's centred column and titled cards, links to the web site, the login item's switch (the
// desktop may refuse a change) and the Vemlo folder's On/Off line.
#pragma once

#include <QCheckBox>
#include <QString>
#include <QUrl>

class QFormLayout;
class QPushButton;
class QVBoxLayout;

namespace vemlo::app {

class Estado;

// A centred column, at most `ancho` wide, in a scroll area that fills `pagina`.
QVBoxLayout* crearColumna(QWidget* pagina, int ancho = 640);
// A group: its title (if any) above a card whose rows the returned form lays out.
QFormLayout* agregarGrupo(QVBoxLayout* columna, const QString& titulo);
// A flat button that reads as a link and opens `url` in the browser.
QPushButton* crearEnlace(const QString& texto, const QUrl& url, QWidget* padre);

// True while the Vemlo folder shows in the file manager: registered and not switched off.
bool finderEncendido(const Estado& estado);
// "On" or "Off", as the Account section and the settings show it.
QString textoDelFinder(const Estado& estado);

// Writes or removes the login item; a refusal is ignored. Gives the state the desktop has now.
bool cambiarArranque(Estado& estado, bool encendido);

// A check box bound to the login item: it flips it when clicked and always shows the real
// state, also after a refusal or a change made elsewhere (the tray, another window).
class CasillaArranque : public QCheckBox {
  Q_OBJECT

 public:
  CasillaArranque(Estado& estado, const QString& etiqueta, QWidget* padre = nullptr);

 private:
  void mostrarReal();

  Estado& estado_;
};

}  // namespace vemlo::app
