// The sign-in draft over QSettings.
#include "borrador.h"

#include <QSettings>

#include "textos.h"

namespace vemlo::app {
namespace {

constexpr auto kClave = "borrador.entrar.correo";

QSettings ajustes() {
  return QSettings("Vemlo", "Vemlo");
}

}  // namespace

QString Borrador::leer() const {
  return ajustes().value(kClave).toString();
}

void Borrador::guardar(const QString& texto) {
  if (texto.isEmpty()) return borrar();
  ajustes().setValue(kClave, texto);
}

void Borrador::borrar() {
  ajustes().remove(kClave);
}

bool Borrador::avisar(const QString& correo, const QString& clave) const {
  return !correo.isEmpty() && clave.isEmpty() && leer() == correo;
}

QString Borrador::aviso() {
  return texto("We kept the email you were typing.", "Recuperamos lo que estabas escribiendo.");
}

}  // namespace vemlo::app
