// Failures as errno values, and the test for one file-provider error.
#include "errores_fuse.h"

#include <cerrno>
#include <system_error>

#include "finder/proveedor.h"

namespace vemlo::finder::host {
namespace {

int deProveedor(const fp::Error& e) {
  switch (e.code()) {
    case fp::notAuthenticated:
      return EACCES;
    case fp::noSuchItem:
      return ENOENT;
    case fp::filenameCollision:
      return EEXIST;
    case fp::insufficientQuota:
      return EDQUOT;
    case fp::fileWriteNoPermission:
      return EACCES;
    case fp::userCancelled:
      return ECANCELED;
    case fp::featureUnsupported:
      return ENOTSUP;
    default:
      return EIO;
  }
}

}  // namespace

int errnoDe(std::exception_ptr fallo) {
  if (!fallo) return 0;
  try {
    std::rethrow_exception(fallo);
  } catch (const fp::Error& e) {
    return deProveedor(e);
  } catch (const std::system_error& e) {
    return e.code().category() == std::generic_category() ||
                   e.code().category() == std::system_category()
               ? e.code().value()
               : EIO;
  } catch (...) {
    return EIO;
  }
}

bool esErrorDeProveedor(std::exception_ptr fallo, fp::FileProviderCode codigo) {
  try {
    std::rethrow_exception(fallo);
  } catch (const fp::Error& e) {
    return e == fp::Error(codigo);
  } catch (...) {
    return false;
  }
}

}  // namespace vemlo::finder::host
