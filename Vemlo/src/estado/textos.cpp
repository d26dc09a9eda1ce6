// Words in the user's language.
#include "textos.h"

#include "vemlo/error.h"
#include "vemlo/mensajes.h"

namespace vemlo::app {

QString texto(const char* ingles, const char* espanol) {
  return QString::fromUtf8(enEspanol() ? espanol : ingles);
}

QString descripcionDe(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const ErrorVemlo& e) {
    return QString::fromStdString(e.descripcion());
  } catch (...) {
    return QString::fromStdString(mensaje("", enEspanol()));
  }
}

QString descripcionDelSistema(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const ErrorVemlo&) {
    return descripcionDe(error);
  } catch (const std::exception& e) {
    return QString::fromLocal8Bit(e.what());
  } catch (...) {
    return descripcionDe(error);
  }
}

}  // namespace vemlo::app
