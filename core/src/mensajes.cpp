// The language rule, the bilingual message table and the display of service dates (ICU).
#include "vemlo/mensajes.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <utility>

#include <curl/curl.h>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "vemlo/base.h"
#include "vemlo/fecha.h"

namespace vemlo {
namespace {

using Frases = std::pair<std::string_view, std::string_view>;  // English, Spanish

const std::map<std::string_view, Frases, std::less<>>& tabla() {
  static const std::map<std::string_view, Frases, std::less<>> frases{
      {"sesion",
       {"Your session expired. Please sign in again.", "Tu sesión venció. Vuelve a entrar."}},
      {"datos",
       {"Some of the information isn't valid. Please check it and try again.",
        "Algún dato no es válido. Revísalo e inténtalo otra vez."}},
      {"intentos",
       {"Too many attempts. Please wait a few minutes and try again.",
        "Demasiados intentos. Espera unos minutos e inténtalo otra vez."}},
      {"credenciales",
       {"The email or password is incorrect.", "El correo o la contraseña no son correctos."}},
      {"permiso",
       {"You don't have permission to do that here.", "No tienes permiso para hacer eso aquí."}},
      {"noExiste", {"We couldn't find that.", "No encontramos eso."}},
      {"repetido",
       {"There's already something with that name here.", "Ya hay algo con ese nombre aquí."}},
      {"ciclo",
       {"A folder can't go inside itself or one of its own folders.",
        "Una carpeta no puede ir dentro de sí misma ni de una de sus carpetas."}},
      {"almacen",
       {"File storage isn't available right now. Please try again shortly.",
        "El almacenamiento no está disponible ahora. Inténtalo en un momento."}},
      {"noLlego",
       {"The file didn't finish uploading. Please try again.",
        "El archivo no terminó de subir. Inténtalo otra vez."}},
      {"tope",
       {"Your company reached its monthly spending cap. An owner or admin can raise it in Usage.",
        "Tu empresa llegó al tope de gasto del mes. Un dueño o administrador puede subirlo en "
        "Consumo."}},
      {"codigoMfa",
       {"That code isn't right. Check your authenticator app and try again.",
        "Ese código no es correcto. Revisa tu app autenticadora e inténtalo otra vez."}},
      {"sinTarjeta",
       {"Add a card in Usage to start uploading.",
        "Agrega una tarjeta en Consumo para empezar a subir."}},
      {"pagoFallido",
       {"Uploads are paused because a payment didn't go through. Update your card in Usage. "
        "Your files are safe.",
        "Las subidas están en pausa porque un pago no pasó. Actualiza tu tarjeta en Consumo. Tus "
        "archivos están a salvo."}},
      {"red",
       {"You're not connected to the internet. Vemlo will try again when you're back online.",
        "No tienes conexión a internet. Vemlo lo intenta de nuevo cuando vuelva."}},
      {"planLleno",
       {"Your company's plan is full. An owner or admin can add space on {host}. Viewing and "
        "downloading keep working.",
        "El plan de tu empresa está lleno. Un dueño o administrador puede sumar espacio en "
        "{host}. Ver y bajar siguen funcionando."}},
      {"anualVigente",
       {"Your company's plan is paid for the year. It can be changed when the year ends.",
        "El plan de tu empresa está pagado por el año. Se puede cambiar cuando termine."}},
      {"servidor",
       {"Vemlo isn't responding right now. Your internet is working; please try again in a "
        "moment.",
        "Vemlo no está respondiendo en este momento. Tu internet funciona; inténtalo de nuevo "
        "en un momento."}},
      // Why the Vemlo folder is not there, or an upload from it failed.
      {"sinSesion",
       {"You're not signed in. Sign in to Vemlo and try again.",
        "No has entrado. Entra en Vemlo e inténtalo otra vez."}},
      {"apagada", {"The Vemlo folder is switched off.", "La carpeta Vemlo está apagada."}},
      {"sinAnfitrion",
       {"vemlo-finder, which shows the Vemlo folder, isn't running.",
        "vemlo-finder, que muestra la carpeta Vemlo, no está en marcha."}},
      {"sinFuse",
       {"This computer doesn't let Vemlo mount folders: /dev/fuse is missing or not open to you.",
        "Este equipo no deja a Vemlo montar carpetas: falta /dev/fuse o no tienes acceso."}},
      {"montaje",
       {"The Vemlo folder couldn't be mounted in its place.",
        "No se pudo montar la carpeta Vemlo en su lugar."}},
      {"sinCarpeta",
       {"There's no Vemlo folder for that company.", "No hay carpeta Vemlo para esa empresa."}},
      {"sinMontar", {"That Vemlo folder isn't mounted.", "Esa carpeta Vemlo no está montada."}},
      {"fueraDeCarpeta",
       {"That isn't inside a Vemlo folder.", "Eso no está dentro de una carpeta Vemlo."}},
      {"sinElemento",
       {"The Vemlo folder doesn't show that item. Check the name, or open its folder and try "
        "again.",
        "La carpeta Vemlo no muestra ese elemento. Revisa el nombre, o abre su carpeta e "
        "inténtalo otra vez."}},
      {"sinSubir",
       {"That file hasn't reached Vemlo yet. Try again once it's uploaded.",
        "Ese archivo aún no ha llegado a Vemlo. Inténtalo otra vez cuando se haya subido."}},
      {"disco",
       {"There's no space left on this computer's disk.",
        "No queda espacio en el disco de este equipo."}},
  };
  return frases;
}

constexpr Frases porDefecto{"Something went wrong. Please try again.",
                            "Algo salió mal. Inténtalo otra vez."};

// The host of the service's base URL, as the messages name the web site.
std::string hostDelSitio() {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
  char* host = nullptr;
  if (!url || curl_url_set(url.get(), CURLUPART_URL, baseInicial().c_str(), 0) != CURLUE_OK ||
      curl_url_get(url.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK)
    return baseInicial();
  std::string texto(host);
  curl_free(host);
  return texto;
}

std::string primerIdioma() {
  if (const char* lista = std::getenv("LANGUAGE"); lista && *lista) {
    const std::string_view texto(lista);
    return std::string(texto.substr(0, texto.find(':')));
  }
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
    if (const char* valor = std::getenv(variable); valor && *valor) return valor;
  return {};
}

}  // namespace

bool enEspanol() {
  const std::string idioma = primerIdioma();
  return idioma.starts_with("es");
}

std::string mensaje(std::string_view codigo, bool espanol) {
  const auto fila = tabla().find(codigo);
  const Frases& frases = fila == tabla().end() ? porDefecto : fila->second;
  std::string frase(espanol ? frases.second : frases.first);
  if (const auto pos = frase.find("{host}"); pos != std::string::npos)
    frase.replace(pos, 6, hostDelSitio());
  return frase;
}

std::string fechaLegible(std::string_view texto) {
  const auto fecha = fechaDe(texto);
  if (!fecha) return {};
  const icu::Locale local = enEspanol() ? icu::Locale("es") : icu::Locale("en_US");
  std::unique_ptr<icu::DateFormat> formato(icu::DateFormat::createDateTimeInstance(
      icu::DateFormat::kMedium, icu::DateFormat::kShort, local));
  if (!formato) return {};
  icu::UnicodeString salida;
  formato->format(static_cast<UDate>(fecha->time_since_epoch().count()), salida);
  std::string utf8;
  return salida.toUTF8String(utf8);
}

}  // namespace vemlo
