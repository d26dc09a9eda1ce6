// Uploads: empty files, one signed PUT, parts direct and through the service, confirmation
// checks, new versions, the quota and the payment flags. Each upload goes to a folder of its
// own; taken names and unknown folders are rows in rechazos_test.cpp.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>

#include "comun.h"
#include "vemlo/descriptor.h"

namespace vemlo::pruebas {
namespace {

class Subidas : public Compartida {};

// Parts of 64 KiB with `directo`: "si", "no" or "alterno".
std::vector<std::string> conDirecto(const std::string& directo) {
  auto banderas = conPartesChicas;
  banderas.insert(banderas.end(), {"--directo", directo});
  return banderas;
}

Contestacion pedir(const ClienteHttp& c, const std::string& carpeta, const std::string& nombre,
                   std::int64_t tamano, const std::string& tipo = "application/octet-stream") {
  return c.post(
      "/v1/subidas",
      {{"carpetaId", carpeta}, {"nombre", nombre}, {"tamanoBytes", tamano}, {"tipo", tipo}});
}

PedidoSubida pedido(const ClienteHttp& c, const std::string& carpeta, const std::string& nombre,
                    std::int64_t tamano, const std::string& tipo = "application/octet-stream") {
  const auto r = pedir(c, carpeta, nombre, tamano, tipo);
  return desdeJson<PedidoSubida>(ClienteHttp::exigir(r, "POST /v1/subidas").json());
}

Contestacion confirmar(const ClienteHttp& c, const std::string& version,
                       const nlohmann::json& cuerpo = nlohmann::json::object()) {
  return c.post("/v1/subidas/" + version + "/confirmar", cuerpo);
}

TEST_F(Subidas, UnArchivoVacioExisteAlInstante) {
  auto& e = compartido(conPartesChicas);
  const auto caso = carpetaNueva(e);
  const auto c = pedir(e.demo, caso, "vacio.txt", 0, "text/plain");
  ASSERT_TRUE(esOk(c));
  const auto j = c.json();
  EXPECT_EQ(j.size(), 1u) << "solo archivoId: " << c.cuerpo;
  const auto id = desdeJson<PedidoSubida>(j).archivoId;
  const auto a = archivo(e.demo.carpeta(caso), "vacio.txt");
  EXPECT_EQ(a.id, id);
  EXPECT_EQ(a.tamanoBytes, 0);
  EXPECT_EQ(a.tipo, "text/plain");
  EXPECT_EQ(descargar(e.demo, id), "");
}

TEST_F(Subidas, HastaElUmbralUnPutFirmadoYConfirmar) {
  auto& e = compartido(conPartesChicas);
  const auto caso = carpetaNueva(e);
  const auto bytes = bytesDePrueba(65536, 3);
  const auto s = pedido(e.demo, caso, "justo.bin", 65536);
  ASSERT_TRUE(s.versionId && s.url) << "se esperaba versionId y url";
  EXPECT_FALSE(s.partes);
  EXPECT_TRUE(s.url->starts_with(e.servicio.base() + "/almacen/subir/")) << *s.url;
  const auto puesto = enviarA(*s.url, "PUT", bytes, {{"Content-Type", "application/octet-stream"}});
  ASSERT_EQ(puesto.estado, 200) << puesto.resumen();
  EXPECT_TRUE(esEtagCitado(puesto.cabecera("ETag").value_or("")))
      << puesto.cabecera("ETag").value_or("(sin ETag)");
  ASSERT_TRUE(esOk(confirmar(e.demo, *s.versionId)));
  const auto a = archivo(e.demo.carpeta(caso), "justo.bin");
  EXPECT_EQ(a.id, s.archivoId);
  EXPECT_EQ(a.tamanoBytes, 65536);
  EXPECT_EQ(descargar(e.demo, s.archivoId), bytes);
}

TEST_F(Subidas, SinConfirmarNoSeVe) {
  auto& e = compartido(conPartesChicas);
  const auto caso = carpetaNueva(e);
  const auto s = pedido(e.demo, caso, "pendiente.bin", 10);
  ASSERT_TRUE(s.url);
  ASSERT_EQ(enviarA(*s.url, "PUT", std::string(10, 'x')).estado, 200);
  EXPECT_TRUE(e.demo.carpeta(caso).archivos.empty());
}

struct FilaModo {
  std::string nombre;
  std::string directo;  // --directo
  bool esperado;
  friend void PrintTo(const FilaModo& f, std::ostream* os) { *os << f.nombre; }
};

class PorPartes : public ConServicioDeLaSuite<testing::TestWithParam<FilaModo>> {};

TEST_P(PorPartes, SeSubenConfirmanYBajanIdenticas) {
  auto& e = compartido(conDirecto(GetParam().directo));
  const auto caso = carpetaNueva(e);
  const auto bytes = bytesDePrueba(3 * 65536 + 123, 4);
  const auto s = pedido(e.demo, caso, "grande.bin", static_cast<std::int64_t>(bytes.size()));
  ASSERT_TRUE(s.versionId && s.partes) << "se esperaban partes";
  EXPECT_FALSE(s.url);
  EXPECT_EQ(s.partes->tamanoParte, 65536);
  EXPECT_EQ(s.partes->total, 4);
  EXPECT_EQ(s.partes->directo.value_or(false), GetParam().esperado);
  const auto partes = mandarPartes(e.demo, s, bytes);
  if (GetParam().esperado) {
    // Signed parts go to the storage's own addresses and come back with its quoted ETags.
    for (const auto& p : partes) EXPECT_TRUE(esEtagCitado(p["etag"])) << p;
    const auto firma = e.demo.post("/v1/subidas/" + *s.versionId + "/partes/1/firmar");
    EXPECT_TRUE(
        desdeJson<Enlace>(firma.json()).url.starts_with(e.servicio.base() + "/almacen/partes/"))
        << firma.cuerpo;
  }
  ASSERT_TRUE(esOk(confirmar(e.demo, *s.versionId, {{"partes", partes}})));
  const auto a = archivo(e.demo.carpeta(caso), "grande.bin");
  EXPECT_EQ(a.id, s.archivoId);
  EXPECT_EQ(a.tamanoBytes, static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(descargar(e.demo, s.archivoId), bytes);
}

INSTANTIATE_TEST_SUITE_P(Subidas, PorPartes,
                         testing::Values(FilaModo{"Directas", "si", true},
                                         FilaModo{"PorElServicio", "no", false}),
                         [](const auto& info) { return info.param.nombre; });

TEST_F(Subidas, AlternoCambiaDeModoEnCadaSubida) {
  auto& e = compartido(conPartesChicas);
  const auto caso = carpetaNueva(e);
  const auto a = pedido(e.demo, caso, "a.bin", 200000);
  const auto b = pedido(e.demo, caso, "b.bin", 200000);
  ASSERT_TRUE(a.partes && b.partes);
  EXPECT_NE(a.partes->directo.value_or(false), b.partes->directo.value_or(false));
}

// Sends (or not) the bytes of an upload and gives the confirmation body.
using Envio = std::function<nlohmann::json(const ClienteHttp&, const PedidoSubida&, std::string)>;

// One signed PUT of these bytes (the upload asks for 1000); no part list.
Envio unPut(std::function<std::string(std::string)> bytes) {
  return [bytes](const ClienteHttp&, const PedidoSubida& s, std::string b) {
    if (bytes) enviarA(*s.url, "PUT", bytes(b));
    return nlohmann::json::object();
  };
}

// Every part, then the part list as `cambiar` leaves it.
Envio partes(std::function<void(nlohmann::json&)> cambiar) {
  return [cambiar](const ClienteHttp& c, const PedidoSubida& s, std::string b) {
    auto lista = mandarPartes(c, s, b);
    cambiar(lista);
    return nlohmann::json{{"partes", lista}};
  };
}

// A confirmation that does not match what arrived.
struct FilaNoLlego {
  std::string nombre;
  std::string directo;
  bool unaSola;  // one signed PUT of 1000 bytes, else 3 parts
  Envio enviar;
  friend void PrintTo(const FilaNoLlego& f, std::ostream* os) { *os << f.nombre; }
};

class ConfirmacionErronea : public ConServicioDeLaSuite<testing::TestWithParam<FilaNoLlego>> {};

TEST_P(ConfirmacionErronea, EsNoLlegoYNoCambiaNada) {
  auto& e = compartido(conDirecto(GetParam().directo));
  const auto caso = carpetaNueva(e);
  const auto bytes = bytesDePrueba(2 * 65536 + 10, 5);
  const bool unaSola = GetParam().unaSola;
  const auto tamano = unaSola ? 1000 : static_cast<std::int64_t>(bytes.size());
  const auto s = pedido(e.demo, caso, "mal.bin", tamano);
  ASSERT_TRUE(s.versionId);
  const auto cuerpo = GetParam().enviar(e.demo, s, unaSola ? bytes.substr(0, 1000) : bytes);
  EXPECT_TRUE(esError(confirmar(e.demo, *s.versionId, cuerpo), 400, "noLlego"));
  EXPECT_TRUE(e.demo.carpeta(caso).archivos.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Subidas, ConfirmacionErronea,
    testing::Values(FilaNoLlego{"UnPutQueNuncaLlego", "no", true, unPut(nullptr)},
                    FilaNoLlego{"UnPutCorto", "no", true,
                                unPut([](auto b) { return b.substr(0, 999); })},
                    FilaNoLlego{"UnPutLargo", "no", true, unPut([](auto b) { return b + "x"; })},
                    FilaNoLlego{"FaltaUnaParte", "no", false, partes([](auto& p) { p.erase(1); })},
                    FilaNoLlego{"EtagCambiado", "no", false,
                                partes([](auto& p) { p[0]["etag"] = p[1]["etag"]; })},
                    FilaNoLlego{"EtagCambiadoDirecto", "si", false,
                                partes([](auto& p) { p[2]["etag"] = "\"00\""; })},
                    FilaNoLlego{"ParteCorta", "no", false,
                                [](const ClienteHttp& c, const PedidoSubida& s, std::string b) {
                                  b.erase(100, 1);  // part 1 one byte short, the rest shifted
                                  return nlohmann::json{{"partes", mandarPartes(c, s, b)}};
                                }},
                    FilaNoLlego{"SinPartes", "no", false,
                                [](const ClienteHttp& c, const PedidoSubida& s, std::string b) {
                                  mandarPartes(c, s, b);
                                  return nlohmann::json::object();
                                }}),
    [](const auto& info) { return info.param.nombre; });

TEST_F(Subidas, SobreUnArchivoEsUnaVersionNuevaConElMismoId) {
  auto& e = compartido(conPartesChicas);
  const auto caso = carpetaNueva(e);
  const auto primero = subir(e.demo, caso, "informe.txt", "primera versión", "text/plain");
  const auto antes = archivo(e.demo.carpeta(caso), "informe.txt");
  const auto grande = bytesDePrueba(150000, 9);
  const auto segundo = subir(e.demo, caso, "informe.txt", grande, "text/plain");
  EXPECT_EQ(segundo, primero);
  const auto vista = e.demo.carpeta(caso);
  EXPECT_EQ(std::ranges::count(nombres(vista.archivos), "informe.txt"), 1);
  const auto& ahora = archivo(vista, "informe.txt");
  EXPECT_EQ(ahora.id, primero);
  EXPECT_EQ(ahora.tamanoBytes, 150000);
  EXPECT_GT(ahora.actualizadoEn, antes.actualizadoEn);
  EXPECT_EQ(descargar(e.demo, primero), grande);
  // The demo's own file takes a new version too.
  const auto leeme = idArchivo(e.raizAcme(), "Léeme.txt");
  EXPECT_EQ(subir(e.demo, e.acme.carpetaRaizId, "Léeme.txt", "nuevo texto", "text/plain"), leeme);
  EXPECT_EQ(descargar(e.demo, leeme), "nuevo texto");
}

TEST_F(Subidas, UnaSubidaConfirmadaNoAdmiteOtroPut) {
  auto& e = compartido(conPartesChicas);
  const auto s = pedido(e.demo, carpetaNueva(e), "f.bin", 3, "text/plain");
  ASSERT_EQ(enviarA(*s.url, "PUT", "abc").estado, 200);
  ASSERT_TRUE(esOk(confirmar(e.demo, *s.versionId)));
  EXPECT_TRUE(esError(enviarA(*s.url, "PUT", "xyz"), 403, "permiso"));
  EXPECT_EQ(descargar(e.demo, s.archivoId), "abc");
}

// Starts a PUT of `anunciados` bytes to a signed address, sends `enviados`, stops sending and
// waits until the service has given up on the request (it answers or closes).
void cortarA(const std::string& url, std::size_t anunciados, const std::string& enviados) {
  const auto sinEsquema = url.substr(url.find("//") + 2);
  const auto ruta = sinEsquema.substr(sinEsquema.find('/'));
  const auto anfitrion = sinEsquema.substr(0, sinEsquema.find('/'));
  sockaddr_in direccion{};
  direccion.sin_family = AF_INET;
  direccion.sin_port =
      htons(static_cast<std::uint16_t>(std::stoi(anfitrion.substr(anfitrion.find(':') + 1))));
  inet_pton(AF_INET, "127.0.0.1", &direccion.sin_addr);
  const Descriptor enchufe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  ASSERT_EQ(::connect(enchufe.get(), reinterpret_cast<sockaddr*>(&direccion), sizeof direccion), 0);
  const auto pedido = "PUT " + ruta + " HTTP/1.1\r\nHost: " + anfitrion +
                      "\r\nContent-Length: " + std::to_string(anunciados) + "\r\n\r\n" + enviados;
  ASSERT_EQ(::send(enchufe.get(), pedido.data(), pedido.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(pedido.size()));
  ::shutdown(enchufe.get(), SHUT_WR);
  const timeval plazo{10, 0};
  ::setsockopt(enchufe.get(), SOL_SOCKET, SO_RCVTIMEO, &plazo, sizeof plazo);
  char basura[512];
  while (::recv(enchufe.get(), basura, sizeof basura, 0) > 0) {
  }
}

// A part sent again and cut half-way: the bytes that were in its place are partly overwritten,
// so its earlier etag no longer confirms; sent again whole, the upload confirms with it.
TEST_F(Subidas, UnaParteCortadaAlRehacerlaDejaDeContar) {
  auto& e = compartido(conDirecto("si"));
  const auto caso = carpetaNueva(e);
  const auto bytes = bytesDePrueba(2 * 65536 + 10, 6);
  const auto s = pedido(e.demo, caso, "cortada.bin", static_cast<std::int64_t>(bytes.size()));
  ASSERT_TRUE(s.partes && s.partes->directo.value_or(false));
  const auto lista = mandarPartes(e.demo, s, bytes);
  const auto firma = e.demo.post("/v1/subidas/" + *s.versionId + "/partes/2/firmar");
  const auto url = desdeJson<Enlace>(firma.json()).url;
  cortarA(url, 65536, std::string(1000, 'x'));
  EXPECT_TRUE(esError(confirmar(e.demo, *s.versionId, {{"partes", lista}}), 400, "noLlego"));
  ASSERT_EQ(enviarA(url, "PUT", bytes.substr(65536, 65536)).estado, 200);
  ASSERT_TRUE(esOk(confirmar(e.demo, *s.versionId, {{"partes", lista}})));
  EXPECT_EQ(descargar(e.demo, s.archivoId), bytes);
}

// The company's quota and payment flags, and an upload request of `tamano` bytes.
struct FilaBanderas {
  std::string nombre;
  nlohmann::json banderas;
  std::string codigo;  // "" means the upload goes ahead
  std::int64_t tamano = 1000;
  friend void PrintTo(const FilaBanderas& f, std::ostream* os) { *os << f.nombre; }
};

class BanderasDePago : public ConServicioDeLaSuite<testing::TestWithParam<FilaBanderas>> {
 protected:
  // Every row starts from the demo's quota (10 GiB) with no flag set.
  void SetUp() override {
    auto& e = compartido();
    ajustarEmpresa(e.servicio.base(), {{"organizacionId", e.acme.id},
                                       {"cuotaBytes", 10737418240},
                                       {"tope", false},
                                       {"sinTarjeta", false},
                                       {"pagoFallido", false},
                                       {"anualVigente", false}});
  }
};

TEST_P(BanderasDePago, FrenanLasSubidasEnEseOrden) {
  auto& e = compartido();
  auto cambios = GetParam().banderas;
  cambios["organizacionId"] = e.acme.id;
  ajustarEmpresa(e.servicio.base(), cambios);
  const auto c = pedir(e.demo, carpetaNueva(e), "a.bin", GetParam().tamano);
  if (GetParam().codigo.empty()) {
    EXPECT_TRUE(esOk(c));
  } else {
    EXPECT_TRUE(esError(c, 402, GetParam().codigo));
  }
  // Only that company stops; reading goes on.
  EXPECT_TRUE(esOk(e.demo.get("/v1/carpetas/" + e.acme.carpetaRaizId)));
}

// The company's usage as the quota sees it: the smallest quota that still takes one more byte,
// less one, found by halving.
std::int64_t usoVisto(Escenario& e, const std::string& carpeta) {
  std::int64_t menos = 0, mas = std::int64_t{1} << 40;
  while (menos < mas) {
    const auto medio = menos + (mas - menos) / 2;
    ajustarEmpresa(e.servicio.base(), {{"organizacionId", e.acme.id}, {"cuotaBytes", medio + 1}});
    if (esOk(pedir(e.demo, carpeta, "sonda.bin", 1)))
      mas = medio;
    else
      menos = medio + 1;
  }
  ajustarEmpresa(e.servicio.base(), {{"organizacionId", e.acme.id}, {"cuotaBytes", 10737418240}});
  return menos;
}

TEST_F(BanderasDePago, ElUsoSigueALasVersionesConfirmadas) {
  auto& e = compartido();
  const auto carpeta = carpetaNueva(e);
  const auto antes = usoVisto(e, carpeta);
  subir(e.demo, carpeta, "v.bin", std::string(1000, 'x'));
  EXPECT_EQ(usoVisto(e, carpeta), antes + 1000);
  subir(e.demo, carpeta, "v.bin", std::string(400, 'y'));
  EXPECT_EQ(usoVisto(e, carpeta), antes + 400);
  pedir(e.demo, carpeta, "sin-confirmar.bin", 5000);
  EXPECT_EQ(usoVisto(e, carpeta), antes + 400);
}

INSTANTIATE_TEST_SUITE_P(
    Cuota, BanderasDePago,
    testing::Values(
        FilaBanderas{"CuotaDeUnByte", {{"cuotaBytes", 1}}, "planLleno"},
        FilaBanderas{"CuotaDeLaDemo", {{"cuotaBytes", 10737418240}}, ""},
        FilaBanderas{"MasQueLaCuota", nlohmann::json::object(), "planLleno", 10737418240},
        FilaBanderas{"Tope", {{"tope", true}}, "tope"},
        FilaBanderas{"SinTarjeta", {{"sinTarjeta", true}}, "sinTarjeta"},
        FilaBanderas{"PagoFallido", {{"pagoFallido", true}}, "pagoFallido"},
        FilaBanderas{
            "TodasGanaTope", {{"tope", true}, {"sinTarjeta", true}, {"pagoFallido", true}}, "tope"},
        FilaBanderas{
            "SinTarjetaAntesQuePago", {{"sinTarjeta", true}, {"pagoFallido", true}}, "sinTarjeta"},
        FilaBanderas{"AnualVigenteNoFrena", {{"anualVigente", true}}, ""},
        FilaBanderas{"ApagadasOtraVez", {{"tope", false}, {"sinTarjeta", false}}, ""}),
    [](const auto& info) { return info.param.nombre; });

}  // namespace
}  // namespace vemlo::pruebas
