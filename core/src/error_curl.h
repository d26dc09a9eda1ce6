// The curl transport's own failure, seen only by the code that classifies it.
#pragma once

#include <stdexcept>
#include <string>

namespace vemlo {

// A transfer that failed as libcurl reports it: its code, the system's errno, its text.
class ErrorCurl : public std::runtime_error {
 public:
  ErrorCurl(int codigo, int errnoSistema, const std::string& texto)
      : std::runtime_error(texto), codigo_(codigo), errno_(errnoSistema) {}
  int codigo() const { return codigo_; }
  int errnoSistema() const { return errno_; }
  bool esCancelacion() const;

 private:
  int codigo_;
  int errno_;
};

}  // namespace vemlo
