// Sign-in, the two-step confirmation, the account and sign-out. Passwords are kept as salted
// PBKDF2 hashes; session tokens and challenges only as SHA-256 digests, so the database
// alone signs no one in. Failed sign-ins are counted per address in memory.
#include <algorithm>
#include <deque>
#include <map>
#include <mutex>

#include "arbol.h"
#include "base.h"
#include "cripto.h"
#include "cuentas.h"
#include "rutas.h"
#include "textos.h"
#include "totp.h"

namespace vemlo::servicio {
namespace {

constexpr std::int64_t ventanaIntentos = 10 * 60 * 1000;
constexpr std::size_t maximoFallos = 5;
constexpr std::int64_t vidaDesafio = 5 * 60 * 1000;
constexpr std::int64_t maximoFallosCodigo = 5;

// Failed sign-ins per address within the last ten minutes.
class Intentos {
 public:
  bool bloqueado(const std::string& correo) {
    std::lock_guard candado(candado_);
    return limpiar(correo).size() >= maximoFallos;
  }
  void fallo(const std::string& correo) {
    std::lock_guard candado(candado_);
    limpiar(correo).push_back(ahoraMs());
  }

 private:
  std::deque<std::int64_t>& limpiar(const std::string& correo) {
    auto& momentos = fallos_[correo];
    while (!momentos.empty() && momentos.front() <= ahoraMs() - ventanaIntentos)
      momentos.pop_front();
    return momentos;
  }
  std::mutex candado_;
  std::map<std::string, std::deque<std::int64_t>> fallos_;
};

Intentos& intentos() {
  static Intentos unico;
  return unico;
}

std::string minusculas(std::string texto) {
  std::ranges::transform(texto, texto.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return texto;
}

nlohmann::json cuentaDe(const std::string& usuarioId, std::optional<std::string> token) {
  Sentencia usuario("SELECT id, nombre, correo, verificado FROM usuarios WHERE id=?", usuarioId);
  if (!usuario.fila()) fallar(401, "sesion");
  Cuenta cuenta{{usuario.texto(0), usuario.texto(1), usuario.texto(2)},
                {},
                std::move(token),
                usuario.entero(3) != 0};
  Sentencia empresas(
      "SELECT o.id, o.nombre, m.rol, o.raizId FROM miembros m "
      "JOIN organizaciones o ON o.id = m.organizacionId WHERE m.usuarioId=? ORDER BY m.orden",
      usuarioId);
  while (empresas.fila())
    cuenta.organizaciones.push_back(
        {empresas.texto(0), empresas.texto(1), empresas.texto(2), empresas.texto(3)});
  return aJson(cuenta);
}

std::string abrirSesion(const std::string& usuarioId) {
  const std::string token = nuevoToken();
  Sentencia("INSERT INTO sesiones(huella, usuarioId, creadaMs) VALUES(?,?,?)", huella(token),
            usuarioId, ahoraMs())
      .ejecutar();
  return token;
}

// The account's id when the password is right; the work is the same for unknown addresses.
std::optional<std::string> comprobarClave(const std::string& correo, const std::string& clave) {
  Sentencia fila("SELECT id, sal, clave, iteraciones FROM usuarios WHERE correo=?", correo);
  if (!fila.fila()) {
    derivarClave(clave, "sin-cuenta", iteracionesClave);
    return std::nullopt;
  }
  const auto calculada = hex(derivarClave(clave, fila.texto(1), static_cast<int>(fila.entero(3))));
  if (!igualesSeguro(calculada, fila.texto(2))) return std::nullopt;
  return fila.texto(0);
}

void entrar(const httplib::Request& req, httplib::Response& res) {
  const auto cuerpo = cuerpoJson(req);
  const std::string correo = minusculas(texto(cuerpo, "correo"));
  const std::string clave = texto(cuerpo, "clave");
  if (intentos().bloqueado(correo)) fallar(429, "intentos");
  const auto usuarioId = comprobarClave(correo, clave);
  if (!usuarioId) {
    intentos().fallo(correo);
    fallar(401, "credenciales");
  }
  Sentencia totp("SELECT totp FROM usuarios WHERE id=?", *usuarioId);
  if (totp.fila() && !totp.nulo(0)) {
    const std::string desafio = nuevoToken();
    Sentencia("INSERT INTO desafios(huella, usuarioId, venceMs) VALUES(?,?,?)", huella(desafio),
              *usuarioId, ahoraMs() + vidaDesafio)
        .ejecutar();
    responderJson(res, {{"mfa", true}, {"desafio", desafio}});
    return;
  }
  responderJson(res, cuentaDe(*usuarioId, abrirSesion(*usuarioId)));
}

std::string normalizarRespaldo(const std::string& codigo) {
  std::string limpio;
  for (const char c : minusculas(codigo))
    if (c != ' ' && c != '-') limpio.push_back(c);
  return limpio;
}

// Whether `codigo` is the current TOTP code or an unused backup code (then used up).
bool codigoValido(const std::string& usuarioId, const std::string& codigo) {
  Sentencia secreto("SELECT totp FROM usuarios WHERE id=?", usuarioId);
  const auto clave =
      secreto.fila() && !secreto.nulo(0) ? desdeBase32(secreto.texto(0)) : std::nullopt;
  if (clave && totpValido(*clave, codigo, ahoraMs() / 1000)) return true;
  const std::string buscado = normalizarRespaldo(codigo);
  std::optional<std::int64_t> acertado;
  Sentencia respaldos("SELECT orden, codigo FROM respaldos WHERE usuarioId=? AND usado=0",
                      usuarioId);
  while (respaldos.fila())
    if (igualesSeguro(respaldos.texto(1), buscado)) acertado = respaldos.entero(0);
  if (!acertado) return false;
  Sentencia("UPDATE respaldos SET usado=1 WHERE usuarioId=? AND orden=?", usuarioId, *acertado)
      .ejecutar();
  return true;
}

void confirmarCodigo(const httplib::Request& req, httplib::Response& res) {
  const auto cuerpo = cuerpoJson(req);
  const std::string desafio = texto(cuerpo, "desafio");
  const std::string codigo = texto(cuerpo, "codigo");
  Transaccion transaccion;
  Sentencia fila("SELECT usuarioId, venceMs, fallos FROM desafios WHERE huella=?", huella(desafio));
  if (!fila.fila() || fila.entero(1) < ahoraMs()) fallar(401, "sesion");
  const std::string usuarioId = fila.texto(0);
  const std::int64_t fallos = fila.entero(2);
  if (!codigoValido(usuarioId, codigo)) {
    if (fallos + 1 >= maximoFallosCodigo)
      Sentencia("DELETE FROM desafios WHERE huella=?", huella(desafio)).ejecutar();
    else
      Sentencia("UPDATE desafios SET fallos=fallos+1 WHERE huella=?", huella(desafio)).ejecutar();
    transaccion.confirmar();
    fallar(401, "codigoMfa");
  }
  Sentencia("DELETE FROM desafios WHERE huella=? OR venceMs<?", huella(desafio), ahoraMs())
      .ejecutar();
  auto cuenta = cuentaDe(usuarioId, abrirSesion(usuarioId));
  transaccion.confirmar();
  responderJson(res, cuenta);
}

void yo(const httplib::Request& req, httplib::Response& res) {
  responderJson(res, cuentaDe(usuarioDeSesion(req), std::nullopt));
}

void salir(const httplib::Request& req, httplib::Response& res) {
  usuarioDeSesion(req);
  const std::string token = req.get_header_value("Authorization").substr(7);
  Sentencia("DELETE FROM sesiones WHERE huella=?", huella(token)).ejecutar();
  responderOk(res);
}

}  // namespace

std::string codigoRespaldo() {
  static constexpr std::string_view simbolos = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string codigo;
  for (const char c : bytesAlAzar(10))
    codigo.push_back(simbolos[static_cast<unsigned char>(c) % simbolos.size()]);
  return codigo;
}

std::string crearCuenta(const CuentaNueva& nueva) {
  const std::string id = nuevoId();
  const std::string sal = hex(bytesAlAzar(16));
  Sentencia(
      "INSERT INTO usuarios(id, correo, nombre, sal, clave, iteraciones, totp) "
      "VALUES(?,?,?,?,?,?,?)",
      id, minusculas(nueva.correo), nueva.nombre, sal,
      hex(derivarClave(nueva.clave, sal, iteracionesClave)), iteracionesClave, nueva.totp)
      .ejecutar();
  for (std::size_t i = 0; i < nueva.respaldos.size(); ++i)
    Sentencia("INSERT INTO respaldos(usuarioId, orden, codigo) VALUES(?,?,?)", id,
              static_cast<std::int64_t>(i), nueva.respaldos[i])
        .ejecutar();
  return id;
}

void rutasCuentas(Rutas& rutas) {
  rutas.post("/v1/sesiones", entrar);
  rutas.post("/v1/sesiones/mfa", confirmarCodigo);
  rutas.borrar("/v1/sesiones", salir);
  rutas.get("/v1/yo", yo);
}

}  // namespace vemlo::servicio
