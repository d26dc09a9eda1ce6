// TransporteCurl: requests over libcurl with pooled keep-alive channels, an inactivity
// time-out, verified TLS, exactly the headers the caller set, and prompt cancellation.
#include "vemlo/transporte_curl.h"

#include <cstring>

#include <curl/curl.h>

#include "error_curl.h"
#include "vemlo/conectividad.h"

namespace vemlo {
namespace {

constexpr long bufferDeSubida = 512 * 1024;
// Bodies arrive in pieces of up to this much: large downloads cost far fewer calls.
constexpr long bufferDeBajada = 512 * 1024;

void iniciarCurl() {
  static const bool iniciado = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!iniciado) throw ErrorVemlo::servidor("libcurl no se pudo iniciar");
}

// What one transfer reads from and writes to.
struct Transferencia {
  CURL* easy = nullptr;
  const Sumidero* sumidero = nullptr;  // takes a successful answer's body, when given
  std::exception_ptr falloDelSumidero;
  std::string_view cuerpo;
  std::size_t enviado = 0;
  Respuesta respuesta;
  bool cabecerasCompletas = false;  // the blank line that ends the head arrived
  char textoError[CURL_ERROR_SIZE] = {};
};

std::size_t alRecibir(char* datos, std::size_t, std::size_t n, void* datosT) {
  auto& t = *static_cast<Transferencia*>(datosT);
  long estado = 0;
  if (t.sumidero) curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &estado);
  if (!t.sumidero || estado >= 300) {
    t.respuesta.cuerpo.append(datos, n);
    return n;
  }
  try {
    (*t.sumidero)(std::string_view(datos, n));
    return n;
  } catch (...) {
    t.falloDelSumidero = std::current_exception();
    return 0;  // libcurl ends the transfer with a write error
  }
}

// One header line; a status line starts a new answer (after "100 Continue", say).
std::size_t alRecibirCabecera(char* datos, std::size_t, std::size_t n, void* t) {
  auto& respuesta = static_cast<Transferencia*>(t)->respuesta;
  std::string_view linea(datos, n);
  while (!linea.empty() && (linea.back() == '\n' || linea.back() == '\r')) linea.remove_suffix(1);
  if (linea.starts_with("HTTP/")) {
    respuesta.cabeceras.clear();
    static_cast<Transferencia*>(t)->cabecerasCompletas = false;
    return n;
  }
  if (linea.empty()) static_cast<Transferencia*>(t)->cabecerasCompletas = true;
  const auto dosPuntos = linea.find(':');
  if (dosPuntos == std::string_view::npos) return n;
  auto valor = linea.substr(dosPuntos + 1);
  while (!valor.empty() && (valor.front() == ' ' || valor.front() == '\t')) valor.remove_prefix(1);
  respuesta.cabeceras.emplace_back(std::string(linea.substr(0, dosPuntos)), std::string(valor));
  return n;
}

std::size_t alEnviar(char* destino, std::size_t tamano, std::size_t n, void* t) {
  auto& transferencia = *static_cast<Transferencia*>(t);
  const auto resto = transferencia.cuerpo.substr(transferencia.enviado);
  const auto cuanto = std::min(resto.size(), tamano * n);
  std::memcpy(destino, resto.data(), cuanto);
  transferencia.enviado += cuanto;
  return cuanto;
}

// libcurl rewinds the body when it re-sends a request on a fresh connection.
int alRebobinar(void* t, curl_off_t desde, int origen) {
  auto& transferencia = *static_cast<Transferencia*>(t);
  if (origen != SEEK_SET || desde < 0 ||
      static_cast<std::size_t>(desde) > transferencia.cuerpo.size())
    return CURL_SEEKFUNC_FAIL;
  transferencia.enviado = static_cast<std::size_t>(desde);
  return CURL_SEEKFUNC_OK;
}

bool cabeceraSegura(std::string_view texto) {
  return texto.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// The request's own headers, and empty "Accept:" and "Expect:" to keep libcurl's defaults off.
curl_slist* listaDeCabeceras(const Pedido& pedido) {
  curl_slist* lista = nullptr;
  for (const auto& [nombre, valor] : pedido.cabeceras) {
    if (!cabeceraSegura(nombre) || !cabeceraSegura(valor) || nombre.empty())
      throw ErrorVemlo::formato("cabecera no válida");
  }
  for (const auto& [nombre, valor] : pedido.cabeceras)
    lista = curl_slist_append(lista, (nombre + ": " + valor).c_str());
  lista = curl_slist_append(lista, "Accept:");
  return curl_slist_append(lista, "Expect:");
}

void prepararMetodo(CURL* easy, const Pedido& pedido, const std::optional<std::string_view>& cuerpo,
                    Transferencia& t) {
  if (cuerpo) {
    t.cuerpo = *cuerpo;
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(cuerpo->size()));
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, alEnviar);
    curl_easy_setopt(easy, CURLOPT_READDATA, &t);
    curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, alRebobinar);
    curl_easy_setopt(easy, CURLOPT_SEEKDATA, &t);
    curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, bufferDeSubida);
  } else if (pedido.metodo == "GET") {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, bufferDeBajada);
    return;
  } else if (pedido.metodo == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    return;
  }
  curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, pedido.metodo.c_str());
}

void preparar(CURL* easy, const Pedido& pedido, const std::optional<std::string_view>& cuerpo,
              curl_slist* cabeceras, Transferencia& t) {
  const long limite = static_cast<long>(pedido.tiempoLimite.count());
  curl_easy_reset(easy);  // keeps the live connections
  curl_easy_setopt(easy, CURLOPT_URL, pedido.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, limite);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, limite);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, cabeceras);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, alRecibir);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, alRecibirCabecera);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t.textoError);
  prepararMetodo(easy, pedido, cuerpo, t);
}

}  // namespace

// A multi handle with its one easy handle. The multi handle keeps the connection cache, so
// the connections outlive each transfer; curl_multi_wakeup lets a stop request end a wait.
struct TransporteCurl::Canal {
  CURLM* multi = curl_multi_init();
  CURL* easy = curl_easy_init();

  Canal() {
    if (!multi || !easy) throw ErrorVemlo::servidor("libcurl sin memoria");
  }
  ~Canal() {
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
  }
  Canal(const Canal&) = delete;
  Canal& operator=(const Canal&) = delete;

  // Runs the added transfer until it ends or `parar` is requested; gives libcurl's result.
  CURLcode correr(const std::stop_token& parar) {
    std::stop_callback despertar(parar, [this] { curl_multi_wakeup(multi); });
    int activos = 1;
    while (!parar.stop_requested()) {
      if (curl_multi_perform(multi, &activos) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
      if (activos == 0) return resultado();
      if (curl_multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    }
    return CURLE_ABORTED_BY_CALLBACK;
  }

  CURLcode resultado() {
    int quedan = 0;
    while (CURLMsg* mensaje = curl_multi_info_read(multi, &quedan))
      if (mensaje->msg == CURLMSG_DONE) return mensaje->data.result;
    return CURLE_GOT_NOTHING;
  }
};

TransporteCurl::TransporteCurl(Conectividad* conectividad) : conectividad_(conectividad) {
  iniciarCurl();
}

TransporteCurl::~TransporteCurl() = default;

std::shared_ptr<TransporteCurl> TransporteCurl::compartido() {
  static const auto transporte = std::make_shared<TransporteCurl>();
  return transporte;
}

std::unique_ptr<TransporteCurl::Canal> TransporteCurl::tomarCanal() {
  {
    std::lock_guard bloqueo(candado_);
    if (!libres_.empty()) {
      auto canal = std::move(libres_.back());
      libres_.pop_back();
      return canal;
    }
  }
  return std::make_unique<Canal>();
}

void TransporteCurl::devolverCanal(std::unique_ptr<Canal> canal) {
  std::lock_guard bloqueo(candado_);
  libres_.push_back(std::move(canal));
}

bool TransporteCurl::conRed() const {
  return (conectividad_ ? *conectividad_ : Conectividad::compartida()).conRed();
}

Respuesta TransporteCurl::enviar(const Pedido& pedido, std::optional<std::string_view> cuerpo,
                                 std::stop_token parar) {
  return transferir(pedido, cuerpo, nullptr, parar);
}

Respuesta TransporteCurl::recibir(const Pedido& pedido, const Sumidero& sumidero,
                                  std::stop_token parar) {
  return transferir(pedido, std::nullopt, &sumidero, parar);
}

Respuesta TransporteCurl::transferir(const Pedido& pedido, std::optional<std::string_view> cuerpo,
                                     const Sumidero* sumidero, const std::stop_token& parar) {
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> cabeceras(listaDeCabeceras(pedido),
                                                                        curl_slist_free_all);
  auto canal = tomarCanal();
  Transferencia t;
  t.easy = canal->easy;
  t.sumidero = sumidero;
  preparar(canal->easy, pedido, cuerpo, cabeceras.get(), t);
  curl_multi_add_handle(canal->multi, canal->easy);
  const CURLcode resultado = canal->correr(parar);
  curl_multi_remove_handle(canal->multi, canal->easy);
  long conexiones = 0, estado = 0, errnoSistema = 0;
  curl_easy_getinfo(canal->easy, CURLINFO_NUM_CONNECTS, &conexiones);
  curl_easy_getinfo(canal->easy, CURLINFO_RESPONSE_CODE, &estado);
  curl_easy_getinfo(canal->easy, CURLINFO_OS_ERRNO, &errnoSistema);
  devolverCanal(std::move(canal));
  conexiones_ += static_cast<std::uint64_t>(conexiones);

  if (t.falloDelSumidero) std::rethrow_exception(t.falloDelSumidero);
  if (resultado == CURLE_ABORTED_BY_CALLBACK) throw ErrorVemlo::cancelado();
  if (resultado == CURLE_WEIRD_SERVER_REPLY || resultado == CURLE_UNSUPPORTED_PROTOCOL)
    throw ErrorVemlo::formato("sin respuesta");
  if (resultado == CURLE_OK && !t.cabecerasCompletas) {
    throw errorDeTransporte(std::make_exception_ptr(ErrorCurl(
                                CURLE_RECV_ERROR, 0, "la conexión se cerró en las cabeceras")),
                            conRed());
  }
  if (resultado != CURLE_OK) {
    const std::string texto = t.textoError[0] ? t.textoError : curl_easy_strerror(resultado);
    throw errorDeTransporte(
        std::make_exception_ptr(ErrorCurl(resultado, static_cast<int>(errnoSistema), texto)),
        conRed());
  }
  if (estado == 0) throw ErrorVemlo::formato("sin respuesta");
  t.respuesta.estado = static_cast<int>(estado);
  return std::move(t.respuesta);
}

}  // namespace vemlo
