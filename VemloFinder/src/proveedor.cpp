// The small pieces of the file-provider interfaces that are not plain declarations.
#include "finder/proveedor.h"

#include <system_error>

#include "vemlo/xdg.h"

namespace vemlo::fp {

const char* Error::what() const noexcept {
  switch (code_) {
    case notAuthenticated:
      return "NSFileProviderErrorDomain -1000 notAuthenticated";
    case filenameCollision:
      return "NSFileProviderErrorDomain -1001 filenameCollision";
    case syncAnchorExpired:
      return "NSFileProviderErrorDomain -1002 syncAnchorExpired";
    case insufficientQuota:
      return "NSFileProviderErrorDomain -1003 insufficientQuota";
    case serverUnreachable:
      return "NSFileProviderErrorDomain -1004 serverUnreachable";
    case noSuchItem:
      return "NSFileProviderErrorDomain -1005 noSuchItem";
    case fileWriteNoPermission:
      return "NSCocoaErrorDomain 513 fileWriteNoPermission";
    case userCancelled:
      return "NSCocoaErrorDomain 3072 userCancelled";
    case featureUnsupported:
      return "NSCocoaErrorDomain 3328 featureUnsupported";
    default:
      return "file-provider error";
  }
}

std::optional<std::int64_t> Progress::totalUnitCount() const {
  if (total_ < 0) return std::nullopt;
  return total_;
}

bool isSafeFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

std::filesystem::path temporaryDirectory(const Domain& domain) {
  if (!isSafeFileName(domain.identifier))
    throw std::filesystem::filesystem_error("temporaryDirectory", domain.identifier,
                                            std::make_error_code(std::errc::invalid_argument));
  auto folder = cacheDeUsuario() / "vemlo-finder" / domain.identifier / "tmp";
  std::filesystem::create_directories(folder);
  return folder;
}

}  // namespace vemlo::fp
