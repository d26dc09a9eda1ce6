// What every command works with: the stop token of Ctrl-C, the stored session's client, the
// signed-in account and the company chosen with --company (or the only one).
#pragma once

#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "vemlo/cliente.h"

namespace vemlo::cli {

class Contexto {
 public:
  explicit Contexto(std::stop_token parar) : parar_(std::move(parar)) {}

  std::stop_token parar() const { return parar_; }

  // The client of the stored session; fails with ErrorOrden when nobody is signed in.
  const Vemlo& api();
  // The signed-in account, asked of the service once per run.
  const Cuenta& cuenta();
  // The company of --company (a name or an id), else the only one; a name that matches
  // nothing or several, or several companies and no choice, is ErrorUso with the list.
  const Organizacion& empresa();

  // Options shared by the commands.
  std::string empresaPedida;  // --company
  bool json = false;          // --json

 private:
  std::stop_token parar_;
  std::shared_ptr<const Vemlo> api_;
  std::optional<Cuenta> cuenta_;
};

}  // namespace vemlo::cli
