// The CLI11 application: the commands, help in the user's language, and the mapping of
// failures to exit statuses (1 service or network, 2 usage, 130 interrupted).
#include "aplicacion.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "contexto.h"
#include "fallos.h"
#include "ordenes.h"
#include "salida.h"
#include "senales.h"
#include "textos.h"
#include "vemlo/sesion.h"
#include "vemlo/version.h"

namespace vemlo::cli {
namespace {

// Help as a Unix tool prints it: an argument is described by its name alone, an option's value
// by its placeholder (NAME|ID, EMAIL), without CLI11's types, counts and REQUIRED marks.
class Ayuda : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* opcion) const override {
    if (opcion->get_positional()) return "";
    if (!opcion->get_option_text().empty()) return " " + opcion->get_option_text();
    const auto& tipo = opcion->get_type_name();
    return tipo.empty() ? "" : " " + get_label(tipo);
  }
  // In the usage line, an argument that stands for several shows them as its text says.
  std::string make_option_usage(const CLI::Option* opcion) const override {
    const auto& texto = opcion->get_option_text();
    return texto.empty() ? CLI::Formatter::make_option_usage(opcion) : texto;
  }
};

void etiquetasDeAyuda(CLI::App& app) {
  app.formatter(std::make_shared<Ayuda>());
  auto formato = app.get_formatter();
  formato->column_width(34);
  formato->label("Usage", tr("Usage", "Uso"));
  formato->label("OPTIONS", tr("OPTIONS", "OPCIONES"));
  formato->label("SUBCOMMAND", tr("COMMAND", "ORDEN"));
  formato->label("SUBCOMMANDS", tr("COMMANDS", "ÓRDENES"));
  formato->label("Positionals", tr("Arguments", "Argumentos"));
  formato->label("Options", tr("Options", "Opciones"));
  formato->label("Subcommands", tr("Commands", "Órdenes"));
  formato->label("REQUIRED", tr("REQUIRED", "OBLIGATORIO"));
  formato->label("TEXT", tr("TEXT", "TEXTO"));
  formato->label("INT", tr("INT", "ENTERO"));
  app.option_defaults()->group(tr("Options", "Opciones"));
}

// The heading the commands are listed under, in the user's language, at every level.
void grupoDeOrdenes(CLI::App& app) {
  for (auto* orden : app.get_subcommands({})) {
    orden->group(tr("Commands", "Órdenes"));
    if (auto* ayuda = orden->get_help_ptr()) ayuda->group(tr("Options", "Opciones"));
    grupoDeOrdenes(*orden);
  }
}

std::string pieDeAyuda() {
  return tr(
      "Paths are company paths, such as /Reports/2026/q1.pdf. Exit status: 0 done, 1 the "
      "service or the network failed, 2 wrong usage, 130 interrupted. VEMLO_SERVICIO sets the "
      "service's address.",
      "Las rutas son rutas de la empresa, como /Informes/2026/q1.pdf. Estado de salida: 0 "
      "hecho, 1 falló el servicio o la red, 2 uso incorrecto, 130 interrumpido. VEMLO_SERVICIO "
      "fija la dirección del servicio.");
}

// The command that was being parsed: the deepest one given.
const CLI::App& ordenDada(const CLI::App& app) {
  for (const auto* orden : app.get_subcommands()) return ordenDada(*orden);
  return app;
}

int usoIncorrecto(CLI::App& app, const CLI::ParseError& error) {
  if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
  std::string texto = error.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
    // CLI11 lists them backwards; in the order given, with the command that refused them.
    std::string extras;
    for (const auto& extra : app.remaining(true)) extras += " " + extra;
    texto = trf("{} does not take:{}", "{} no admite:{}", {ordenDada(app).get_name(), extras});
  }
  avisar(tr("wrong usage: ", "uso incorrecto: ") + texto);
  avisar(tr("see: vemlo-cli --help", "ver: vemlo-cli --help"));
  return malUso;
}

// A failure of the service or the network. A session the service ended is forgotten here too,
// so that no program keeps sending it; a one-shot command promises no retry.
int fallaDelServicio(const ErrorVemlo& error) {
  if (error.codigo() == "sesion") {
    SesionGuardada::borrar();
    avisar(error.descripcion() + " (vemlo-cli login)");
  } else if (error.caso() == ErrorVemlo::Caso::red) {
    avisar(
        tr("You're not connected to the internet. Check the connection and run the command "
           "again.",
           "No tienes conexión a internet. Revisa la conexión y vuelve a ejecutar la orden."));
  } else {
    avisar(error.descripcion());
  }
  return fallo;
}

// VEMLO_SERVICIO, when set, must be an http or https address with a host.
bool servicioValido() {
  const char* servicio = std::getenv("VEMLO_SERVICIO");
  if (!servicio || !*servicio) return true;
  const std::string_view texto(servicio);
  for (const std::string_view esquema : {"http://", "https://"})
    if (texto.starts_with(esquema) && texto.size() > esquema.size() && texto[esquema.size()] != '/')
      return true;
  avisar(
      trf("VEMLO_SERVICIO is not a valid address: {} (it must start with http:// or "
          "https:// and name a host)",
          "VEMLO_SERVICIO no es una dirección válida: {} (debe empezar con http:// o "
          "https:// y nombrar un servidor)",
          {citar(servicio)}));
  return false;
}

// Runs the parsed command; every failure becomes a message and its status.
int correr(Ordenes& ordenes, const Senales& senales) {
  const auto interrumpida = [&] {
    avisar(tr("interrupted", "interrumpido"));
    return interrumpido;
  };
  try {
    return ordenes.accion();
  } catch (const ErrorUso& e) {
    avisar(e.what());
    return malUso;
  } catch (const ErrorOrden& e) {
    avisar(e.what());
    return fallo;
  } catch (const ErrorVemlo& e) {
    if (senales.interrumpido() || esCancelacion(std::current_exception())) return interrumpida();
    return fallaDelServicio(e);
  } catch (const std::filesystem::filesystem_error& e) {
    if (senales.interrumpido()) return interrumpida();
    avisar(citar(e.path1().string()) + ": " + e.code().message());
    return fallo;
  } catch (const std::exception& e) {
    if (senales.interrumpido()) return interrumpida();
    avisar(tr("unexpected failure: ", "fallo inesperado: ") + e.what());
    return fallo;
  }
}

}  // namespace

int ejecutar(int argc, char** argv) {
  const Senales senales;
  Contexto contexto(senales.token());
  CLI::App app(tr("vemlo-cli: your company's Vemlo files from a terminal.",
                  "vemlo-cli: los archivos Vemlo de tu empresa desde una terminal."),
               "vemlo-cli");
  etiquetasDeAyuda(app);
  app.set_help_flag("-h,--help", tr("Show this help and exit", "Mostrar esta ayuda y salir"));
  app.set_version_flag("--version", "vemlo-cli " + std::string(kVersion),
                       tr("Show the version and exit", "Mostrar la versión y salir"));
  app.footer(pieDeAyuda());
  app.require_subcommand(1);
  conEmpresa(&app, contexto);
  Ordenes ordenes{contexto, {}};
  ordenesDeCuenta(app, ordenes);
  ordenesDeCarpetas(app, ordenes);
  ordenesDeListas(app, ordenes);
  ordenesDeTransferencias(app, ordenes);
  ordenesDeCarpetaVemlo(app, ordenes);
  grupoDeOrdenes(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return usoIncorrecto(app, e);
  }
  if (!servicioValido()) return malUso;
  return correr(ordenes, senales);
}

void conEmpresa(CLI::App* orden, Contexto& contexto) {
  orden
      ->add_option("--company", contexto.empresaPedida,
                   tr("The company to work in, by name or id (needed when you're in several)",
                      "La empresa donde trabajar, por nombre o id (hace falta si estás en varias)"))
      ->option_text(tr("NAME|ID", "NOMBRE|ID"));
}

void conJson(CLI::App* orden, Contexto& contexto) {
  orden->add_flag("--json", contexto.json,
                  tr("Print the service's records as one JSON document",
                     "Mostrar los registros del servicio como un documento JSON"));
}

}  // namespace vemlo::cli
