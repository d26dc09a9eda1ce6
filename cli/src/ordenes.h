// The subcommands of vemlo-cli, registered on the CLI11 application by concern. Parsing only
// records what to do in `accion`; it runs after the whole command line was read, so that a
// usage error never leaves half an operation behind.
#pragma once

#include <functional>

#include <CLI/CLI.hpp>

#include "contexto.h"

namespace vemlo::cli {

struct Ordenes {
  Contexto& contexto;
  std::function<int()> accion;  // gives the exit status
};

void ordenesDeCuenta(CLI::App& app, Ordenes& ordenes);    // login, logout, whoami
void ordenesDeCarpetas(CLI::App& app, Ordenes& ordenes);  // ls, mkdir, mv, rename, trash, restore
void ordenesDeListas(CLI::App& app, Ordenes& ordenes);  // trash-list, search, recent, favorites…
void ordenesDeTransferencias(CLI::App& app, Ordenes& ordenes);  // upload, download
void ordenesDeCarpetaVemlo(CLI::App& app, Ordenes& ordenes);    // folder on, off, status
void ordenesDeFijados(CLI::App* folder, Ordenes& ordenes);      // folder pin, unpin, cache-limit

// The options several commands share.
void conEmpresa(CLI::App* orden, Contexto& contexto);  // --company NAME|ID
void conJson(CLI::App* orden, Contexto& contexto);     // --json

}  // namespace vemlo::cli
