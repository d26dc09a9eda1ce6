// Signing in and out, and who is signed in. The session goes to the shared session store, so
// the desktop app and the file-manager folder of the same user are signed in (or out) too.
#include <memory>

#include "fallos.h"
#include "ordenes.h"
#include "preguntas.h"
#include "salida.h"
#include "textos.h"
#include "vemlo/sesion.h"

namespace vemlo::cli {
namespace {

struct DatosEntrar {
  std::string correo;
  bool claveDeEntrada = false;
};

Cuenta entrarConPreguntas(const DatosEntrar& datos, std::stop_token parar) {
  if (datos.claveDeEntrada && datos.correo.empty())
    throw ErrorUso(tr("--password-stdin needs --email.", "--password-stdin necesita --email."));
  Preguntas preguntas(datos.claveDeEntrada, parar);
  const auto correo = datos.correo.empty() ? preguntas.linea(tr("Email", "Correo")) : datos.correo;
  const auto clave = preguntas.secreta(tr("Password", "Contraseña"));
  const Vemlo anonimo;
  auto respuesta = anonimo.entrar(correo, clave, parar);
  if (auto* lista = std::get_if<RespuestaEntrar::Lista>(&respuesta.valor))
    return std::move(lista->cuenta);
  const auto& desafio = std::get<RespuestaEntrar::Codigo>(respuesta.valor).desafio;
  const auto codigo =
      preguntas.linea(tr("Two-step code (from your authenticator app, or a backup code)",
                         "Código de dos pasos (de tu app autenticadora, o un código de respaldo)"));
  return anonimo.confirmarCodigo(desafio, codigo, parar);
}

int entrar(const DatosEntrar& datos, Contexto& contexto) {
  const auto cuenta = entrarConPreguntas(datos, contexto.parar());
  if (!cuenta.token) throw ErrorVemlo::formato("la cuenta llegó sin token");
  SesionGuardada::guardar(*cuenta.token);
  imprimir(trf("Signed in as {} <{}>.", "Entraste como {} <{}>.",
               {cuenta.usuario.nombre, cuenta.usuario.correo}));
  return hecho;
}

int salir(Contexto& contexto) {
  const auto api = SesionGuardada::clienteGuardado();
  if (!api) {
    imprimir(tr("You weren't signed in.", "No habías entrado."));
    return hecho;
  }
  try {
    api->cerrarSesion(contexto.parar());
  } catch (const ErrorVemlo& e) {
    if (e.caso() == ErrorVemlo::Caso::cancelado) throw;
    if (e.codigo() != "sesion") {
      // Signed out here all the same; the service's session ends when it expires.
      SesionGuardada::borrar();
      imprimir(tr("Signed out on this computer. Vemlo couldn't be told: ",
                  "Saliste de tu cuenta en esta computadora. No se pudo avisar a Vemlo: ") +
               e.descripcion());
      return hecho;
    }
  }
  SesionGuardada::borrar();
  imprimir(tr("Signed out.", "Saliste de tu cuenta."));
  return hecho;
}

int quienSoy(Contexto& contexto) {
  const auto& cuenta = contexto.cuenta();
  if (contexto.json) {
    auto documento = aJson(cuenta);
    documento.erase("token");
    imprimirJson(documento);
    return hecho;
  }
  imprimir(cuenta.usuario.nombre + " <" + cuenta.usuario.correo + ">");
  Tabla tabla({tr("COMPANY", "EMPRESA"), tr("ROLE", "ROL"), "ID"});
  for (const auto& empresa : cuenta.organizaciones)
    tabla.fila({empresa.nombre, rolLegible(empresa.rol), empresa.id});
  tabla.imprimir();
  return hecho;
}

}  // namespace

void ordenesDeCuenta(CLI::App& app, Ordenes& ordenes) {
  auto& contexto = ordenes.contexto;
  auto datos = std::make_shared<DatosEntrar>();
  auto* login = app.add_subcommand(
      "login", tr("Sign in and keep the session for vemlo-cli, the app and the folder",
                  "Entrar y guardar la sesión para vemlo-cli, la app y la carpeta"));
  login
      ->add_option("--email", datos->correo,
                   tr("Your email (asked when missing)", "Tu correo (se pregunta si falta)"))
      ->option_text(tr("EMAIL", "CORREO"));
  login->add_flag("--password-stdin", datos->claveDeEntrada,
                  tr("Read the password from the first line of stdin, and the two-step code, "
                     "when asked for, from the next line",
                     "Leer la contraseña de la primera línea de stdin y el código de dos pasos, "
                     "si se pide, de la siguiente"));
  login->callback([&ordenes, &contexto, datos] {
    ordenes.accion = [&contexto, datos] { return entrar(*datos, contexto); };
  });

  auto* logout =
      app.add_subcommand("logout", tr("End the session on the service and forget it here",
                                      "Cerrar la sesión en el servicio y olvidarla aquí"));
  logout->callback(
      [&ordenes, &contexto] { ordenes.accion = [&contexto] { return salir(contexto); }; });

  auto* whoami = app.add_subcommand("whoami", tr("Show who is signed in and their companies",
                                                 "Mostrar quién entró y sus empresas"));
  conJson(whoami, contexto);
  whoami->callback(
      [&ordenes, &contexto] { ordenes.accion = [&contexto] { return quienSoy(contexto); }; });
}

}  // namespace vemlo::cli
