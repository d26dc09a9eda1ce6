// URL resolution through libcurl's URL parser, and the query encoding of service paths.
#include "url.h"

#include <algorithm>
#include <memory>

#include <curl/curl.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace vemlo {
namespace {

using Url = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;

// References come escaped: blanks and control characters mean they are not. Letters outside
// ASCII may stay, as the query encoding leaves them.
bool escapada(std::string_view texto) {
  return std::ranges::all_of(texto, [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte != 0x7f;
  });
}

std::optional<std::string> texto(const Url& url) {
  char* resultado = nullptr;
  if (curl_url_get(url.get(), CURLUPART_URL, &resultado, 0) != CURLUE_OK) return std::nullopt;
  std::string copia(resultado);
  curl_free(resultado);
  return copia;
}

bool esHttp(const Url& url) {
  char* esquema = nullptr;
  if (curl_url_get(url.get(), CURLUPART_SCHEME, &esquema, 0) != CURLUE_OK) return false;
  const std::string_view nombre(esquema);
  const bool http = nombre == "http" || nombre == "https";
  curl_free(esquema);
  return http;
}

void porciento(std::string& salida, unsigned char byte) {
  constexpr char cifras[] = "0123456789ABCDEF";
  salida += '%';
  salida += cifras[byte >> 4];
  salida += cifras[byte & 0xF];
}

}  // namespace

std::optional<std::string> resolverUrl(const std::string& base, std::string_view referencia) {
  Url url(curl_url(), curl_url_cleanup);
  const std::string copia(referencia);
  if (!url || !escapada(referencia) ||
      curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_URL, copia.c_str(), 0) != CURLUE_OK)
    return std::nullopt;
  return texto(url);
}

std::optional<std::string> urlAbsoluta(std::string_view referencia) {
  Url url(curl_url(), curl_url_cleanup);
  const std::string copia(referencia);
  if (!url || !escapada(referencia) ||
      curl_url_set(url.get(), CURLUPART_URL, copia.c_str(), 0) != CURLUE_OK || !esHttp(url))
    return std::nullopt;
  return texto(url);
}

std::string codificarConsulta(std::string_view valor) {
  std::string salida;
  const auto* bytes = reinterpret_cast<const uint8_t*>(valor.data());
  const auto largo = static_cast<int32_t>(valor.size());
  for (int32_t i = 0; i < largo;) {
    const int32_t inicio = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, largo, c);
    const bool queda = c >= 0 && (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK));
    if (queda) {
      salida.append(valor.substr(inicio, i - inicio));
      continue;
    }
    for (int32_t k = inicio; k < i; ++k) porciento(salida, bytes[k]);
  }
  return salida;
}

}  // namespace vemlo
