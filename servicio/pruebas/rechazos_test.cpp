// Every refusal, one row each: no or a wrong session, wrong credentials or code, bodies that
// are not JSON or carry wrong types, invalid names, taken names, cycles, roles, company roots,
// another company's or unknown ids, the trash, forged signed addresses. A refusal changes
// nothing: the demo tree, the row's own folder, the trash and the favourites stay as they were.
#include <functional>
#include <set>

#include "comun.h"

namespace vemlo::pruebas {
namespace {

// What a row works on: the ids of the demo by name and those its preparation adds.
struct Caso {
  Escenario& e;
  std::map<std::string, std::string> ids;

  std::string carpeta(const std::string& padre, const std::string& nombre) {
    return ids[nombre] = crearCarpeta(e.demo, ids.at(padre), nombre);
  }
  std::string archivo(const std::string& padre, const std::string& nombre) {
    return ids[nombre] = subir(e.demo, ids.at(padre), nombre, "abc", "text/plain");
  }
  void aPapelera(const std::string& tipo, const std::string& nombre) {
    ClienteHttp::exigir(e.demo.post("/v1/" + tipo + "/" + ids.at(nombre) + "/papelera"), nombre);
  }
  // `texto` with every {nombre} replaced by its id.
  std::string poner(std::string texto) const {
    for (const auto& [nombre, id] : ids)
      for (auto pos = texto.find("{" + nombre + "}"); pos != std::string::npos;
           pos = texto.find("{" + nombre + "}", pos + id.size()))
        texto.replace(pos, nombre.size() + 2, id);
    return texto;
  }
};

// The demo's ids, which no row changes.
std::map<std::string, std::string> idsDeLaDemo(const Escenario& e) {
  const auto raiz = e.raizAcme();
  const auto informes = idCarpeta(raiz, "Informes");
  const auto manuales = idCarpeta(e.raizBeta(), "Manuales");
  return {{"org", e.acme.id},
          {"raiz", e.acme.carpetaRaizId},
          {"leeme", idArchivo(raiz, "Léeme.txt")},
          {"fotos", idCarpeta(raiz, "Fotos")},
          {"informes", informes},
          {"2026", idCarpeta(e.demo.carpeta(informes), "2026")},
          {"betaRaiz", e.beta.carpetaRaizId},
          {"manuales", manuales},
          {"guia", idArchivo(e.demo.carpeta(manuales), "guia.pdf")}};
}

// One refused request: "METHOD /path body", where the path and the body name ids as {nombre}
// (see Caso; {caso} is the row's own new folder). Without a body GET sends none and the rest
// send {}. `quien` is "demo", "mara", "" (no session) or an Authorization header sent as it
// is. `codigo` "" checks the status alone.
struct FilaRechazo {
  std::string nombre;
  int estado;
  std::string codigo;
  std::string pedido;
  std::string quien = "demo";
  std::function<void(Caso&)> preparar = {};
  friend void PrintTo(const FilaRechazo& f, std::ostream* os) { *os << f.nombre; }
};

class Rechazos : public ConServicioDeLaSuite<testing::TestWithParam<FilaRechazo>> {
 public:
  static void TearDownTestSuite() {
    demo.clear();
    ConServicioDeLaSuite::TearDownTestSuite();
  }

 protected:
  static inline std::map<std::string, std::string> demo;  // idsDeLaDemo of the suite's service
};

// What a refusal must leave as it was.
const std::vector<std::string> vistas{"/v1/carpetas/{raiz}",
                                      "/v1/carpetas/{informes}",
                                      "/v1/carpetas/{fotos}",
                                      "/v1/carpetas/{betaRaiz}",
                                      "/v1/carpetas/{manuales}",
                                      "/v1/carpetas/{caso}",
                                      "/v1/papelera?organizacionId={org}",
                                      "/v1/favoritos?organizacionId={org}"};

std::vector<std::string> estado(const Caso& c) {
  std::vector<std::string> cuerpos;
  for (const auto& ruta : vistas)
    cuerpos.push_back(ClienteHttp::exigir(c.e.demo.get(c.poner(ruta)), ruta).cuerpo);
  return cuerpos;
}

TEST_P(Rechazos, RespondenElCodigoYNoCambianNada) {
  const auto& fila = GetParam();
  auto& e = compartido();
  if (demo.empty()) demo = idsDeLaDemo(e);
  Caso caso{e, demo};
  caso.ids["caso"] = carpetaNueva(e);
  if (fila.preparar) fila.preparar(caso);
  const auto pedido = caso.poner(fila.pedido);
  const auto espacio = pedido.find(' '), otro = pedido.find(' ', espacio + 1);
  const auto metodo = pedido.substr(0, espacio);
  const auto ruta = pedido.substr(espacio + 1, otro - espacio - 1);
  auto cuerpo = otro != std::string::npos ? std::optional(pedido.substr(otro + 1))
                : metodo == "GET"         ? std::nullopt
                                          : std::optional<std::string>("{}");
  auto cliente = fila.quien == "demo" ? e.demo : fila.quien == "mara" ? e.mara() : e.anonimo();
  httplib::Headers cabeceras;
  if (fila.quien != "demo" && fila.quien != "mara" && !fila.quien.empty())
    cabeceras.emplace("Authorization", fila.quien);
  const auto tipo = ruta.starts_with("/almacen/") ? "application/octet-stream" : "application/json";

  const auto antes = estado(caso);
  const auto c = cliente.enviar(metodo, ruta, cuerpo, tipo, cabeceras);
  if (fila.codigo.empty())
    EXPECT_EQ(c.estado, fila.estado) << c.resumen();
  else
    EXPECT_TRUE(esError(c, fila.estado, fila.codigo));
  EXPECT_FALSE(c.json().is_object() && c.json().contains("token")) << c.cuerpo;
  const auto despues = estado(caso);
  for (std::size_t i = 0; i < vistas.size(); ++i)
    EXPECT_EQ(despues[i], antes[i]) << "el rechazo cambió " << vistas[i];
}

auto nombreDeFila = [](const auto& info) { return info.param.nombre; };

// A six-digit code that is none of the ones valid around now.
std::string codigoFalso(const ServicioEnMarcha& s) {
  const auto ahora = std::chrono::system_clock::now();
  std::set<std::string> validos;
  for (int paso = -2; paso <= 2; ++paso)
    validos.insert(s.totpEn(ahora + std::chrono::seconds(30 * paso)));
  for (int i = 0;; ++i)
    if (auto codigo = std::to_string(100000 + i * 7919); !validos.contains(codigo)) return codigo;
}

void retoMfaConCodigoFalso(Caso& c) {
  const auto reto =
      c.e.anonimo().post("/v1/sesiones", {{"correo", correoMfa}, {"clave", claveDemo}});
  c.ids["desafio"] = reto.json().value("desafio", "");
  c.ids["codigo"] = codigoFalso(c.e.servicio);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cuentas, Rechazos, testing::ValuesIn(std::vector<FilaRechazo>{
  {"YoSinCabecera", 401, "sesion", "GET /v1/yo", ""},
  {"YoTokenInventado", 401, "sesion", "GET /v1/yo", "Bearer inventado"},
  {"YoBearerVacio", 401, "sesion", "GET /v1/yo", "Bearer "},
  {"YoOtroEsquema", 401, "sesion", "GET /v1/yo", "Basic ZGVtbzp2ZW1sby1kZW1v"},
  {"SinSesionVerCarpeta", 401, "sesion", "GET /v1/carpetas/{raiz}", ""},
  {"SinSesionCrearCarpeta", 401, "sesion", R"(POST /v1/carpetas {"padreId":"{raiz}","nombre":"x"})",
   ""},
  {"SinSesionBuscar", 401, "sesion", "GET /v1/buscar?organizacionId={org}&q=a", ""},
  {"ClaveErronea", 401, "credenciales",
   R"(POST /v1/sesiones {"correo":"demo@vemlo.test","clave":"otra"})", ""},
  {"CorreoDesconocido", 401, "credenciales",
   R"(POST /v1/sesiones {"correo":"nadie@vemlo.test","clave":"vemlo-demo"})", ""},
  {"ClaveConOtrasMayusculas", 401, "credenciales",
   R"(POST /v1/sesiones {"correo":"DEMO@vemlo.test","clave":"Vemlo-demo"})", ""},
  {"CodigoMfaErroneo", 401, "codigoMfa",
   R"(POST /v1/sesiones/mfa {"desafio":"{desafio}","codigo":"{codigo}"})", "",
   retoMfaConCodigoFalso},
}), nombreDeFila);
// clang-format on

// Puts {P} (with {Q} inside) and {t.txt}, both in the row's folder, in the trash.
void enLaPapelera(Caso& c) {
  c.carpeta("caso", "P");
  c.carpeta("P", "Q");
  c.archivo("caso", "t.txt");
  c.aPapelera("archivos", "t.txt");
  c.aPapelera("carpetas", "P");
}

// {A} and {B} with another A inside.
void carpetaTomada(Caso& c) {
  c.carpeta("caso", "A");
  crearCarpeta(c.e.demo, c.carpeta("caso", "B"), "A");
}

// {x.txt} and {B} with another x.txt inside.
void archivoTomado(Caso& c) {
  subir(c.e.demo, c.carpeta("caso", "B"), "x.txt", "otro", "text/plain");
  c.archivo("caso", "x.txt");
}

// {t.txt} in the trash and a folder t.txt where it was.
void lugarTomado(Caso& c) {
  c.archivo("caso", "t.txt");
  c.aPapelera("archivos", "t.txt");
  crearCarpeta(c.e.demo, c.ids.at("caso"), "t.txt");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Carpetas, Rechazos, testing::ValuesIn(std::vector<FilaRechazo>{
  {"CrearConNombreDeCarpeta", 409, "repetido",
   R"(POST /v1/carpetas {"padreId":"{raiz}","nombre":"Fotos"})"},
  {"CrearConNombreDeArchivo", 409, "repetido",
   R"(POST /v1/carpetas {"padreId":"{raiz}","nombre":"Léeme.txt"})"},
  {"RenombrarCarpetaANombreTomado", 409, "repetido",
   R"(PATCH /v1/carpetas/{fotos} {"nombre":"Informes"})"},
  {"RenombrarArchivoANombreDeCarpeta", 409, "repetido",
   R"(PATCH /v1/archivos/{leeme} {"nombre":"Fotos"})"},
  {"MoverADondeElNombreEstaTomado", 409, "repetido",
   R"(POST /v1/carpetas/{A}/mover {"destinoId":"{B}"})", "demo", carpetaTomada},
  {"MoverArchivoADondeElNombreEstaTomado", 409, "repetido",
   R"(POST /v1/archivos/{x.txt}/mover {"destinoId":"{B}"})", "demo", archivoTomado},
  {"SubirSobreUnaCarpeta", 409, "repetido", R"(POST /v1/subidas {"carpetaId":"{raiz}",)"
   R"("nombre":"Fotos","tamanoBytes":10,"tipo":"application/octet-stream"})"},
  {"SubirVacioSobreUnaCarpeta", 409, "repetido", R"(POST /v1/subidas {"carpetaId":"{raiz}",)"
   R"("nombre":"Fotos","tamanoBytes":0,"tipo":"application/octet-stream"})"},
  {"RestaurarSobreUnNombreTomado", 409, "repetido", R"(POST /v1/papelera/restaurar )"
   R"({"organizacionId":"{org}","tipo":"archivo","id":"{t.txt}"})", "demo", lugarTomado},
  {"MoverCarpetaDentroDeSiMisma", 409, "ciclo",
   R"(POST /v1/carpetas/{informes}/mover {"destinoId":"{informes}"})"},
  {"MoverCarpetaASuSubarbol", 409, "ciclo",
   R"(POST /v1/carpetas/{informes}/mover {"destinoId":"{2026}"})"},
  {"VerCarpetaInventada", 404, "noExiste", "GET /v1/carpetas/no-existe-123"},
  {"VerUnArchivoComoCarpeta", 404, "noExiste", "GET /v1/carpetas/{leeme}"},
  {"CrearEnPadreInventado", 404, "noExiste",
   R"(POST /v1/carpetas {"padreId":"no-existe","nombre":"x"})"},
  {"MoverADestinoInventado", 404, "noExiste",
   R"(POST /v1/archivos/{leeme}/mover {"destinoId":"no-existe"})"},
  {"RenombrarArchivoInventado", 404, "noExiste", R"(PATCH /v1/archivos/no-existe {"nombre":"x"})"},
  {"SubirEnCarpetaInventada", 404, "noExiste", R"(POST /v1/subidas {"carpetaId":"no-existe",)"
   R"("nombre":"a.txt","tamanoBytes":10,"tipo":"application/octet-stream"})"},
  {"RestaurarLoQueNoEsta", 404, "noExiste", R"(POST /v1/papelera/restaurar )"
   R"({"organizacionId":"{org}","tipo":"archivo","id":"no-existe"})"},
  {"RutaDesconocida", 404, "noExiste", "GET /v1/nada"},
  {"RutaDesconocidaPost", 404, "noExiste", "POST /v1/carpetas/x/y/z"},
  {"EnLaPapeleraVer", 404, "noExiste", "GET /v1/carpetas/{Q}", "demo", enLaPapelera},
  {"EnLaPapeleraRenombrar", 404, "noExiste", R"(PATCH /v1/archivos/{t.txt} {"nombre":"x.txt"})",
   "demo", enLaPapelera},
  {"EnLaPapeleraCrearDentro", 404, "noExiste",
   R"(POST /v1/carpetas {"padreId":"{P}","nombre":"x"})", "demo", enLaPapelera},
  {"EnLaPapeleraComoDestino", 404, "noExiste",
   R"(POST /v1/archivos/{leeme}/mover {"destinoId":"{P}"})", "demo", enLaPapelera},
  {"EnLaPapeleraDescargar", 404, "noExiste", R"(POST /v1/descargas {"archivoId":"{t.txt}"})",
   "demo", enLaPapelera},
  {"MiniaturaDeUnTexto", 404, "", "GET /v1/archivos/{leeme}/miniatura"},
  {"MiniaturaDeUnTextoSubido", 404, "", "GET /v1/archivos/{x.txt}/miniatura", "demo",
   [](Caso& c) { c.archivo("caso", "x.txt"); }},
  {"EnlaceCompartidoDesconocido", 404, "", "GET /s/" + std::string(64, 'a'), ""},
}), nombreDeFila);
// clang-format on

// Roles, company roots and another company's ids.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Permisos, Rechazos, testing::ValuesIn(std::vector<FilaRechazo>{
  {"RenombrarLaRaiz", 403, "permiso", R"(PATCH /v1/carpetas/{raiz} {"nombre":"Otra"})", "mara"},
  {"MoverLaRaiz", 403, "permiso", R"(POST /v1/carpetas/{raiz}/mover {"destinoId":"{fotos}"})",
   "mara"},
  {"RaizALaPapelera", 403, "permiso", "POST /v1/carpetas/{raiz}/papelera", "mara"},
  {"LectorCreaCarpeta", 403, "permiso",
   R"(POST /v1/carpetas {"padreId":"{betaRaiz}","nombre":"Mía"})"},
  {"LectorRenombraCarpeta", 403, "permiso", R"(PATCH /v1/carpetas/{manuales} {"nombre":"M"})"},
  {"LectorRenombraArchivo", 403, "permiso", R"(PATCH /v1/archivos/{guia} {"nombre":"g.pdf"})"},
  {"LectorMueveArchivo", 403, "permiso",
   R"(POST /v1/archivos/{guia}/mover {"destinoId":"{betaRaiz}"})"},
  {"LectorMandaALaPapelera", 403, "permiso", "POST /v1/archivos/{guia}/papelera"},
  {"LectorSube", 403, "permiso", R"(POST /v1/subidas {"carpetaId":"{manuales}",)"
   R"("nombre":"a.txt","tamanoBytes":3,"tipo":"text/plain"})"},
  {"OtraEmpresaVerCarpeta", 404, "noExiste", "GET /v1/carpetas/{manuales}", "mara"},
  {"OtraEmpresaVerRaiz", 404, "noExiste", "GET /v1/carpetas/{betaRaiz}", "mara"},
  {"OtraEmpresaRenombrar", 404, "noExiste", R"(PATCH /v1/archivos/{guia} {"nombre":"x.pdf"})",
   "mara"},
  {"OtraEmpresaComoDestino", 404, "noExiste",
   R"(POST /v1/carpetas/{fotos}/mover {"destinoId":"{manuales}"})", "mara"},
  {"OtraEmpresaALaPapelera", 404, "noExiste", "POST /v1/archivos/{guia}/papelera", "mara"},
  {"OtraEmpresaCompartir", 404, "noExiste",
   R"(POST /v1/compartir {"tipo":"archivo","id":"{guia}","dias":7})", "mara"},
  {"OtraEmpresaFavorito", 404, "noExiste", R"(PUT /v1/favoritos {"tipo":"archivo","id":"{guia}"})",
   "mara"},
  {"OtraEmpresaSubir", 404, "noExiste", R"(POST /v1/subidas {"carpetaId":"{betaRaiz}",)"
   R"("nombre":"a.txt","tamanoBytes":1,"tipo":"text/plain"})", "mara"},
  {"OtraEmpresaDescargar", 404, "noExiste", R"(POST /v1/descargas {"archivoId":"{guia}"})", "mara"},
  {"OtraEmpresaMiniatura", 404, "", "GET /v1/archivos/{guia}/miniatura", "mara"},
}), nombreDeFila);
// clang-format on

// Every invalid name is "datos" wherever a name goes in.
std::vector<FilaRechazo> nombresInvalidos() {
  std::string multibyte;
  for (int i = 0; i < 128; ++i) multibyte += "ñ";
  const std::vector<std::pair<std::string, std::string>> invalidos{
      {"Vacio", ""},
      {"Punto", "."},
      {"DosPuntos", ".."},
      {"ConBarra", "a/b"},
      {"SubeUnNivel", "../fuera.txt"},
      {"SubeDosNiveles", "../../fuera.txt"},
      {"PuntosYBarras", "....//fuera.txt"},
      {"Absoluto", "/fuera.txt"},
      {"SoloBarra", "/"},
      {"ConNul", std::string("a\0b", 3)},
      {"De256Bytes", std::string(256, 'x')},
      {"De256BytesMultibyte", multibyte}};
  std::vector<FilaRechazo> filas;
  for (const auto& par : invalidos) {
    // Plain references, not a structured binding: clang before 16 cannot capture one.
    const auto& caso = par.first;
    const auto& nombre = par.second;
    const auto subida = [&](int tamano) {
      return nlohmann::json{{"carpetaId", "{raiz}"},
                            {"nombre", nombre},
                            {"tamanoBytes", tamano},
                            {"tipo", "text/plain"}}
          .dump();
    };
    const auto nuevo = nlohmann::json{{"nombre", nombre}}.dump();
    const auto carpeta = nlohmann::json{{"padreId", "{raiz}"}, {"nombre", nombre}}.dump();
    filas.push_back({caso + "AlCrearCarpeta", 400, "datos", "POST /v1/carpetas " + carpeta});
    filas.push_back(
        {caso + "AlRenombrarCarpeta", 400, "datos", "PATCH /v1/carpetas/{fotos} " + nuevo});
    filas.push_back(
        {caso + "AlRenombrarArchivo", 400, "datos", "PATCH /v1/archivos/{leeme} " + nuevo});
    filas.push_back({caso + "AlSubirVacio", 400, "datos", "POST /v1/subidas " + subida(0)});
    filas.push_back({caso + "AlSubir", 400, "datos", "POST /v1/subidas " + subida(10)});
  }
  return filas;
}

INSTANTIATE_TEST_SUITE_P(Nombres, Rechazos, testing::ValuesIn(nombresInvalidos()), nombreDeFila);

// clang-format off
INSTANTIATE_TEST_SUITE_P(Datos, Rechazos, testing::ValuesIn(std::vector<FilaRechazo>{
  {"CrearNoEsJson", 400, "datos", R"(POST /v1/carpetas {"padreId":"{raiz}","nombre":)"},
  {"CrearEsUnaLista", 400, "datos", R"(POST /v1/carpetas ["{raiz}","x"])"},
  {"CrearEsNull", 400, "datos", "POST /v1/carpetas null"},
  {"CrearVacio", 400, "datos", "POST /v1/carpetas "},
  {"CrearNombreNumero", 400, "datos", R"(POST /v1/carpetas {"padreId":"{raiz}","nombre":5})"},
  {"CrearNombreNulo", 400, "datos", R"(POST /v1/carpetas {"padreId":"{raiz}","nombre":null})"},
  {"CrearPadreNumero", 400, "datos", R"(POST /v1/carpetas {"padreId":7,"nombre":"x"})"},
  {"CrearSinNombre", 400, "datos", R"(POST /v1/carpetas {"padreId":"{raiz}"})"},
  {"CrearUtf8Roto", 400, "datos",
   "POST /v1/carpetas {\"padreId\":\"{raiz}\",\"nombre\":\"a\xff\xfe\"}"},
  {"CrearDeMasDeUnMega", 413, "datos", R"(POST /v1/carpetas {"padreId":"{raiz}","nombre":"Grande",)"
   R"("relleno":")" + std::string(1536 * 1024, 'x') + "\"}"},
  {"RenombrarNombreLogico", 400, "datos", R"(PATCH /v1/archivos/{leeme} {"nombre":true})"},
  {"MoverDestinoLista", 400, "datos", R"(POST /v1/archivos/{leeme}/mover {"destinoId":[]})"},
  {"MoverSinDestino", 400, "datos", "POST /v1/archivos/{leeme}/mover {}"},
  {"SubirTamanoTexto", 400, "datos",
   R"(POST /v1/subidas {"carpetaId":"{raiz}","nombre":"a","tamanoBytes":"10",)"
   R"("tipo":"text/plain"})"},
  {"SubirTamanoNegativo", 400, "datos",
   R"(POST /v1/subidas {"carpetaId":"{raiz}","nombre":"a","tamanoBytes":-1,"tipo":"text/plain"})"},
  {"SubirTamanoFraccion", 400, "datos",
   R"(POST /v1/subidas {"carpetaId":"{raiz}","nombre":"a","tamanoBytes":1.5,"tipo":"text/plain"})"},
  {"SubirSinTipo", 400, "datos",
   R"(POST /v1/subidas {"carpetaId":"{raiz}","nombre":"a","tamanoBytes":0})"},
  {"FavoritoTipoNumero", 400, "datos", R"(PUT /v1/favoritos {"tipo":3,"id":"{leeme}"})"},
  {"CompartirIdNumero", 400, "datos", R"(POST /v1/compartir {"tipo":"archivo","id":1,"dias":7})"},
  {"DescargaIdLista", 400, "datos", R"(POST /v1/descargas {"archivoId":["{leeme}"]})"},
  {"RestaurarSinId", 400, "datos",
   R"(POST /v1/papelera/restaurar {"organizacionId":"{org}","tipo":"archivo"})"},
  {"EntrarCorreoNumero", 400, "datos", R"(POST /v1/sesiones {"correo":1,"clave":"x"})"},
  {"EntrarNoEsJson", 400, "datos", "POST /v1/sesiones correo=demo"},
  {"MfaCodigoNumero", 400, "datos", R"(POST /v1/sesiones/mfa {"desafio":"x","codigo":123456})"},
  {"ReglasDeFallosNoEsJson", 400, "datos", "POST /_pruebas/fallos [{", ""},
  // Links last one to thirty days.
  {"EnlaceDeCeroDias", 400, "datos",
   R"(POST /v1/compartir {"tipo":"archivo","id":"{leeme}","dias":0})"},
  {"EnlaceDe31Dias", 400, "datos",
   R"(POST /v1/compartir {"tipo":"archivo","id":"{leeme}","dias":31})"},
  {"EnlaceDeDiasNegativos", 400, "datos",
   R"(POST /v1/compartir {"tipo":"archivo","id":"{leeme}","dias":-1})"},
  {"EnlaceDeDiasEnTexto", 400, "datos",
   R"(POST /v1/compartir {"tipo":"archivo","id":"{leeme}","dias":"7"})"},
  {"EnlaceDeDiasFraccion", 400, "datos",
   R"(POST /v1/compartir {"tipo":"archivo","id":"{leeme}","dias":1.5})"},
  {"EnlaceDeDiasNulos", 400, "datos",
   R"(POST /v1/compartir {"tipo":"archivo","id":"{leeme}","dias":null})"},
}), nombreDeFila);
// clang-format on

std::string cambiarUltimo(std::string ruta) {
  ruta.back() = ruta.back() == 'a' ? 'b' : 'a';
  return ruta;
}

// Signed addresses bent out of shape: of a single upload of 3 bytes in the row's folder and
// of Léeme.txt's download, retouched, cut short, or used the other way round.
void firmas(Caso& c) {
  const auto r = c.e.demo.post("/v1/subidas", {{"carpetaId", c.ids.at("caso")},
                                               {"nombre", "f.bin"},
                                               {"tamanoBytes", 3},
                                               {"tipo", "text/plain"}});
  const auto subida = rutaDe(*desdeJson<PedidoSubida>(ClienteHttp::exigir(r, "subida").json()).url);
  const auto d = c.e.demo.post("/v1/descargas", {{"archivoId", c.ids.at("leeme")}});
  const auto descarga = desdeJson<Enlace>(ClienteHttp::exigir(d, "descarga").json()).url;
  c.ids["subidaRetocada"] = cambiarUltimo(subida);
  c.ids["subidaRecortada"] = subida.substr(0, subida.size() - 1);
  c.ids["descargaRetocada"] = cambiarUltimo(descarga);
  c.ids["descargaParaSubir"] = "/almacen/subir/" + descarga.substr(std::string("/almacen/").size());
  c.ids["subidaParaBajar"] = "/almacen/" + subida.substr(subida.rfind('/') + 1);
}

// Signed addresses the service never issued, or one bent out of shape, for anyone.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Firmas, Rechazos, testing::ValuesIn(std::vector<FilaRechazo>{
  {"SubidaInventada", 403, "permiso", "PUT /almacen/subir/" + std::string(64, '0') + " abc", ""},
  {"ParteInventada", 403, "permiso", "PUT /almacen/partes/" + std::string(64, 'f') + " abc", ""},
  {"DescargaInventada", 403, "permiso", "GET /almacen/" + std::string(43, 'A'), ""},
  {"SubidaRetocada", 403, "permiso", "PUT {subidaRetocada} abc", "", firmas},
  {"SubidaRecortada", 403, "permiso", "PUT {subidaRecortada} abc", "", firmas},
  {"DescargaRetocada", 403, "permiso", "GET {descargaRetocada}", "", firmas},
  {"DescargaUsadaParaSubir", 403, "permiso", "PUT {descargaParaSubir} abc", "", firmas},
  {"SubidaUsadaParaBajar", 403, "permiso", "GET {subidaParaBajar}", "", firmas},
}), nombreDeFila);
// clang-format on

}  // namespace
}  // namespace vemlo::pruebas
