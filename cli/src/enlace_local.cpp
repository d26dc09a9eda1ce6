// The path is made absolute and plain here (realpath, which also makes the kernel look each
// name up, so that the host's table knows it); the host says which item it is or why not.
#include "enlace_local.h"

#include <filesystem>
#include <system_error>

#include "fallos.h"
#include "finder/control.h"
#include "portapapeles.h"
#include "salida.h"
#include "textos.h"
#include "vemlo/mensajes.h"

namespace vemlo::cli {
namespace {

namespace fs = std::filesystem;

std::string frase(const std::string& codigo) {
  return mensaje(codigo, enEspanol());
}

// The path made absolute and plain; a path that does not exist is the user's mistake.
fs::path rutaReal(const std::string& ruta) {
  std::error_code error;
  auto real = fs::canonical(ruta, error);
  if (error)
    throw ErrorUso(
        trf("{}: no such file or folder.", "{}: no existe ese archivo ni carpeta.", {citar(ruta)}));
  return real;
}

finder::ItemEnCarpeta itemDe(const fs::path& real, const std::string& ruta) {
  try {
    return finder::itemEn(real);
  } catch (const finder::SinAnfitrion&) {
    throw ErrorOrden(frase("sinAnfitrion"));
  } catch (const finder::RechazoDelAnfitrion& e) {
    if (e.codigo == "fueraDeCarpeta") throw ErrorUso(citar(ruta) + ": " + frase(e.codigo));
    throw ErrorOrden(citar(ruta) + ": " + frase(e.codigo));
  }
}

int copiarEnlaceDe(const finder::ItemEnCarpeta& item, const std::string& nombre, int dias,
                   Contexto& contexto) {
  if (item.raiz)
    throw ErrorUso(tr("The company's root folder can't be shared.",
                      "La carpeta raíz de la empresa no se puede compartir."));
  const auto enlace = contexto.api().compartir(item.carpeta ? "carpeta" : "archivo", item.id, dias,
                                               contexto.parar());
  imprimir(enlace);
  if (!copiarAlPortapapeles(enlace)) {
    const auto sinCopia =
        tr("The link couldn't be copied: neither the Vemlo app nor wl-copy, xclip or xsel could "
           "take it.",
           "No se pudo copiar el enlace: ni la app Vemlo ni wl-copy, xclip o xsel pudieron "
           "tomarlo.");
    avisar(sinCopia);
    notificar(tr("Link not copied", "Enlace no copiado"), sinCopia);
    return fallo;
  }
  avisar(tr("Link copied to the clipboard.", "Enlace copiado al portapapeles."));
  const auto cuantos = std::to_string(dias);
  notificar(tr("Link copied", "Enlace copiado"),
            trf("Anyone with it can open {} for {} days.",
                "Quien lo tenga puede abrir {} durante {} días.", {citar(nombre), cuantos}));
  return hecho;
}

}  // namespace

int copiarEnlace(const std::string& ruta, int dias, Contexto& contexto) {
  // From a file manager nobody reads the terminal: a refusal is shown as a notice too.
  try {
    const auto real = rutaReal(ruta);
    return copiarEnlaceDe(itemDe(real, ruta), real.filename().string(), dias, contexto);
  } catch (const ErrorUso& e) {
    notificar(tr("Link not copied", "Enlace no copiado"), e.what());
    throw;
  } catch (const ErrorOrden& e) {
    notificar(tr("Link not copied", "Enlace no copiado"), e.what());
    throw;
  }
}

}  // namespace vemlo::cli
