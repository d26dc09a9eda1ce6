// Why something failed, as the host reports it: a code of the message table, which the status
// and the control socket carry and the programs that show it turn into the person's sentence.
#pragma once

#include <exception>
#include <optional>
#include <stdexcept>
#include <string>

#include "vemlo/error.h"

namespace vemlo::finder::host {

// A failure of the host's own, with its code ("sinFuse", "montaje", "sinCarpeta",
// "sinMontar") and an English detail for logs.
class Motivo : public std::runtime_error {
 public:
  Motivo(std::string codigo, const std::string& detalle)
      : std::runtime_error(detalle), codigo_(std::move(codigo)) {}
  const std::string& codigo() const { return codigo_; }

 private:
  std::string codigo_;
};

// The service's own error nested in the extension's, when there is one.
std::optional<ErrorVemlo> causaDelServicio(const std::exception& e);

// The code of any failure: a Motivo's or ErrorVemlo's own, the service's error inside the
// extension's, a few file-provider and system errors by meaning ("sinSesion", "disco"...),
// else "fallo", which has the default sentence.
std::string codigoDe(std::exception_ptr fallo);

}  // namespace vemlo::finder::host
