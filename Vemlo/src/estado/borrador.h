// Borrador: the e-mail typed on the sign-in screen, kept in the app's settings under
// "borrador.entrar.correo" so that it survives quitting before the sign-in completes. The
// password is never kept.
#pragma once

#include <QString>

namespace vemlo::app {

class Borrador {
 public:
  // The kept e-mail, or "" without one.
  QString leer() const;
  // Keeps `texto` exactly as typed; an empty text removes the draft.
  void guardar(const QString& texto);
  void borrar();

  // Whether the sign-in screen shows "We kept the email you were typing.": the draft is what
  // the e-mail field holds, that is not empty, and no password was typed yet.
  bool avisar(const QString& correo, const QString& clave) const;

  // The notice's text, in the user's language.
  static QString aviso();
};

}  // namespace vemlo::app
