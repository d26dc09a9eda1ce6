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
const std::map<std::string, std::string>& idsDeLaDemo(const Escenario& e) {
  static const auto ids = [&] {
    const auto raiz = e.raizAcme();
    const auto informes = idCarpeta(raiz, "Informes");
    const auto manuales = idCarpeta(e.raizBeta(), "Manuales");
    return std::map<std::string, std::string>{
        {"org", e.acme.id},
        {"raiz", e.acme.carpetaRaizId},
        {"leeme", idArchivo(raiz, "Léeme.txt")},
        {"fotos", idCarpeta(raiz, "Fotos")},
        {"informes", informes},
        {"2026", idCarpeta(e.demo.carpeta(informes), "2026")},
        {"betaRaiz", e.beta.carpetaRaizId},
        {"manuales", manuales},
        {"guia", idArchivo(e.demo.carpeta(manuales), "guia.pdf")}};
  }();
  return ids;
}

// One refused request. `ruta` and `cuerpo` name ids as {nombre} (see Caso; {caso} is the
// row's own new folder); GET goes without a body. `quien` is "demo", "mara", "" (no session)
// or an Authorization header sent as it is. `codigo` "" checks the status alone.
struct FilaRechazo {
  std::string nombre;
  int estado;
  std::string codigo;
  std::string metodo;
  std::string ruta;
  std::string cuerpo = "{}";
  std::string quien = "demo";
  std::function<void(Caso&)> preparar = {};
  friend void PrintTo(const FilaRechazo& f, std::ostream* os) { *os << f.nombre; }
};

class Rechazos : public ConServicio<testing::TestWithParam<FilaRechazo>> {};

// What a refusal must leave as it was.
std::vector<std::string> estado(const Caso& c) {
  std::vector<std::string> cuerpos;
  for (const auto& ruta :
       {"/v1/carpetas/{raiz}", "/v1/carpetas/{informes}", "/v1/carpetas/{fotos}",
        "/v1/carpetas/{betaRaiz}", "/v1/carpetas/{manuales}", "/v1/carpetas/{caso}",
        "/v1/papelera?organizacionId={org}", "/v1/favoritos?organizacionId={org}"})
    cuerpos.push_back(ClienteHttp::exigir(c.e.demo.get(c.poner(ruta)), ruta).cuerpo);
  return cuerpos;
}

TEST_P(Rechazos, RespondenElCodigoYNoCambianNada) {
  const auto& fila = GetParam();
  auto& e = compartido();
  Caso caso{e, idsDeLaDemo(e)};
  caso.ids["caso"] = carpetaNueva(e);
  if (fila.preparar) fila.preparar(caso);
  const auto ruta = caso.poner(fila.ruta);
  auto cliente = fila.quien == "demo" ? e.demo : fila.quien == "mara" ? e.mara() : e.anonimo();
  httplib::Headers cabeceras;
  if (fila.quien != "demo" && fila.quien != "mara" && !fila.quien.empty())
    cabeceras.emplace("Authorization", fila.quien);
  const auto cuerpo = fila.metodo == "GET" ? std::nullopt : std::optional(caso.poner(fila.cuerpo));
  const auto tipo = ruta.starts_with("/almacen/") ? "application/octet-stream" : "application/json";

  const auto antes = estado(caso);
  const auto c = cliente.enviar(fila.metodo, ruta, cuerpo, tipo, cabeceras);
  if (fila.codigo.empty())
    EXPECT_EQ(c.estado, fila.estado) << c.resumen();
  else
    EXPECT_TRUE(esError(c, fila.estado, fila.codigo));
  EXPECT_FALSE(c.json().is_object() && c.json().contains("token")) << c.cuerpo;
  EXPECT_EQ(estado(caso), antes) << "un rechazo cambió algo";
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

INSTANTIATE_TEST_SUITE_P(
    Cuentas, Rechazos,
    testing::Values(
        FilaRechazo{"YoSinCabecera", 401, "sesion", "GET", "/v1/yo", "", ""},
        FilaRechazo{"YoTokenInventado", 401, "sesion", "GET", "/v1/yo", "", "Bearer inventado"},
        FilaRechazo{"YoBearerVacio", 401, "sesion", "GET", "/v1/yo", "", "Bearer "},
        FilaRechazo{"YoOtroEsquema", 401, "sesion", "GET", "/v1/yo", "",
                    "Basic ZGVtbzp2ZW1sby1kZW1v"},
        FilaRechazo{"SinSesionVerCarpeta", 401, "sesion", "GET", "/v1/carpetas/{raiz}", "", ""},
        FilaRechazo{"SinSesionCrearCarpeta", 401, "sesion", "POST", "/v1/carpetas",
                    R"({"padreId":"{raiz}","nombre":"x"})", ""},
        FilaRechazo{"SinSesionBuscar", 401, "sesion", "GET", "/v1/buscar?organizacionId={org}&q=a",
                    "", ""},
        FilaRechazo{"ClaveErronea", 401, "credenciales", "POST", "/v1/sesiones",
                    R"({"correo":"demo@vemlo.test","clave":"otra"})", ""},
        FilaRechazo{"CorreoDesconocido", 401, "credenciales", "POST", "/v1/sesiones",
                    R"({"correo":"nadie@vemlo.test","clave":"vemlo-demo"})", ""},
        FilaRechazo{"ClaveConOtrasMayusculas", 401, "credenciales", "POST", "/v1/sesiones",
                    R"({"correo":"DEMO@vemlo.test","clave":"Vemlo-demo"})", ""},
        FilaRechazo{"CodigoMfaErroneo", 401, "codigoMfa", "POST", "/v1/sesiones/mfa",
                    R"({"desafio":"{desafio}","codigo":"{codigo}"})", "",
                    [](Caso& c) {
                      const auto reto = c.e.anonimo().post(
                          "/v1/sesiones", {{"correo", correoMfa}, {"clave", claveDemo}});
                      c.ids["desafio"] = reto.json().value("desafio", "");
                      c.ids["codigo"] = codigoFalso(c.e.servicio);
                    }}),
    nombreDeFila);

// Puts {P} (with {Q} inside) and {t.txt}, both in the row's folder, in the trash.
void enLaPapelera(Caso& c) {
  c.carpeta("caso", "P");
  c.carpeta("P", "Q");
  c.archivo("caso", "t.txt");
  c.aPapelera("archivos", "t.txt");
  c.aPapelera("carpetas", "P");
}

INSTANTIATE_TEST_SUITE_P(
    Carpetas, Rechazos,
    testing::Values(
        FilaRechazo{"CrearConNombreDeCarpeta", 409, "repetido", "POST", "/v1/carpetas",
                    R"({"padreId":"{raiz}","nombre":"Fotos"})"},
        FilaRechazo{"CrearConNombreDeArchivo", 409, "repetido", "POST", "/v1/carpetas",
                    R"({"padreId":"{raiz}","nombre":"Léeme.txt"})"},
        FilaRechazo{"RenombrarCarpetaANombreTomado", 409, "repetido", "PATCH",
                    "/v1/carpetas/{fotos}", R"({"nombre":"Informes"})"},
        FilaRechazo{"RenombrarArchivoANombreDeCarpeta", 409, "repetido", "PATCH",
                    "/v1/archivos/{leeme}", R"({"nombre":"Fotos"})"},
        FilaRechazo{"MoverADondeElNombreEstaTomado", 409, "repetido", "POST",
                    "/v1/carpetas/{A}/mover", R"({"destinoId":"{B}"})", "demo",
                    [](Caso& c) {
                      c.carpeta("caso", "A");
                      crearCarpeta(c.e.demo, c.carpeta("caso", "B"), "A");
                    }},
        FilaRechazo{"MoverArchivoADondeElNombreEstaTomado", 409, "repetido", "POST",
                    "/v1/archivos/{x.txt}/mover", R"({"destinoId":"{B}"})", "demo",
                    [](Caso& c) {
                      subir(c.e.demo, c.carpeta("caso", "B"), "x.txt", "otro", "text/plain");
                      c.archivo("caso", "x.txt");
                    }},
        FilaRechazo{
            "SubirSobreUnaCarpeta", 409, "repetido", "POST", "/v1/subidas",
            R"({"carpetaId":"{raiz}","nombre":"Fotos","tamanoBytes":10,"tipo":"application/octet-stream"})"},
        FilaRechazo{
            "SubirVacioSobreUnaCarpeta", 409, "repetido", "POST", "/v1/subidas",
            R"({"carpetaId":"{raiz}","nombre":"Fotos","tamanoBytes":0,"tipo":"application/octet-stream"})"},
        FilaRechazo{"RestaurarSobreUnNombreTomado", 409, "repetido", "POST",
                    "/v1/papelera/restaurar",
                    R"({"organizacionId":"{org}","tipo":"archivo","id":"{t.txt}"})", "demo",
                    [](Caso& c) {
                      c.archivo("caso", "t.txt");
                      c.aPapelera("archivos", "t.txt");
                      crearCarpeta(c.e.demo, c.ids.at("caso"), "t.txt");
                    }},
        FilaRechazo{"MoverCarpetaDentroDeSiMisma", 409, "ciclo", "POST",
                    "/v1/carpetas/{informes}/mover", R"({"destinoId":"{informes}"})"},
        FilaRechazo{"MoverCarpetaASuSubarbol", 409, "ciclo", "POST",
                    "/v1/carpetas/{informes}/mover", R"({"destinoId":"{2026}"})"},
        FilaRechazo{"RenombrarLaRaiz", 403, "permiso", "PATCH", "/v1/carpetas/{raiz}",
                    R"({"nombre":"Otra"})", "mara"},
        FilaRechazo{"MoverLaRaiz", 403, "permiso", "POST", "/v1/carpetas/{raiz}/mover",
                    R"({"destinoId":"{fotos}"})", "mara"},
        FilaRechazo{"RaizALaPapelera", 403, "permiso", "POST", "/v1/carpetas/{raiz}/papelera", "{}",
                    "mara"},
        FilaRechazo{"LectorCreaCarpeta", 403, "permiso", "POST", "/v1/carpetas",
                    R"({"padreId":"{betaRaiz}","nombre":"Mía"})"},
        FilaRechazo{"LectorRenombraCarpeta", 403, "permiso", "PATCH", "/v1/carpetas/{manuales}",
                    R"({"nombre":"M"})"},
        FilaRechazo{"LectorRenombraArchivo", 403, "permiso", "PATCH", "/v1/archivos/{guia}",
                    R"({"nombre":"g.pdf"})"},
        FilaRechazo{"LectorMueveArchivo", 403, "permiso", "POST", "/v1/archivos/{guia}/mover",
                    R"({"destinoId":"{betaRaiz}"})"},
        FilaRechazo{"LectorMandaALaPapelera", 403, "permiso", "POST",
                    "/v1/archivos/{guia}/papelera"},
        FilaRechazo{
            "LectorSube", 403, "permiso", "POST", "/v1/subidas",
            R"({"carpetaId":"{manuales}","nombre":"a.txt","tamanoBytes":3,"tipo":"text/plain"})"},
        FilaRechazo{"VerCarpetaInventada", 404, "noExiste", "GET", "/v1/carpetas/no-existe-123"},
        FilaRechazo{"VerUnArchivoComoCarpeta", 404, "noExiste", "GET", "/v1/carpetas/{leeme}"},
        FilaRechazo{"CrearEnPadreInventado", 404, "noExiste", "POST", "/v1/carpetas",
                    R"({"padreId":"no-existe","nombre":"x"})"},
        FilaRechazo{"MoverADestinoInventado", 404, "noExiste", "POST", "/v1/archivos/{leeme}/mover",
                    R"({"destinoId":"no-existe"})"},
        FilaRechazo{"RenombrarArchivoInventado", 404, "noExiste", "PATCH", "/v1/archivos/no-existe",
                    R"({"nombre":"x"})"},
        FilaRechazo{
            "SubirEnCarpetaInventada", 404, "noExiste", "POST", "/v1/subidas",
            R"({"carpetaId":"no-existe","nombre":"a.txt","tamanoBytes":10,"tipo":"application/octet-stream"})"},
        FilaRechazo{"RestaurarLoQueNoEsta", 404, "noExiste", "POST", "/v1/papelera/restaurar",
                    R"({"organizacionId":"{org}","tipo":"archivo","id":"no-existe"})"},
        FilaRechazo{"RutaDesconocida", 404, "noExiste", "GET", "/v1/nada"},
        FilaRechazo{"RutaDesconocidaPost", 404, "noExiste", "POST", "/v1/carpetas/x/y/z"},
        FilaRechazo{"OtraEmpresaVerCarpeta", 404, "noExiste", "GET", "/v1/carpetas/{manuales}", "",
                    "mara"},
        FilaRechazo{"OtraEmpresaVerRaiz", 404, "noExiste", "GET", "/v1/carpetas/{betaRaiz}", "",
                    "mara"},
        FilaRechazo{"OtraEmpresaRenombrar", 404, "noExiste", "PATCH", "/v1/archivos/{guia}",
                    R"({"nombre":"x.pdf"})", "mara"},
        FilaRechazo{"OtraEmpresaComoDestino", 404, "noExiste", "POST", "/v1/carpetas/{fotos}/mover",
                    R"({"destinoId":"{manuales}"})", "mara"},
        FilaRechazo{"OtraEmpresaALaPapelera", 404, "noExiste", "POST",
                    "/v1/archivos/{guia}/papelera", "{}", "mara"},
        FilaRechazo{"OtraEmpresaCompartir", 404, "noExiste", "POST", "/v1/compartir",
                    R"({"tipo":"archivo","id":"{guia}","dias":7})", "mara"},
        FilaRechazo{"OtraEmpresaFavorito", 404, "noExiste", "PUT", "/v1/favoritos",
                    R"({"tipo":"archivo","id":"{guia}"})", "mara"},
        FilaRechazo{
            "OtraEmpresaSubir", 404, "noExiste", "POST", "/v1/subidas",
            R"({"carpetaId":"{betaRaiz}","nombre":"a.txt","tamanoBytes":1,"tipo":"text/plain"})",
            "mara"},
        FilaRechazo{"OtraEmpresaDescargar", 404, "noExiste", "POST", "/v1/descargas",
                    R"({"archivoId":"{guia}"})", "mara"},
        FilaRechazo{"OtraEmpresaMiniatura", 404, "", "GET", "/v1/archivos/{guia}/miniatura", "",
                    "mara"},
        FilaRechazo{"EnLaPapeleraVer", 404, "noExiste", "GET", "/v1/carpetas/{Q}", "", "demo",
                    enLaPapelera},
        FilaRechazo{"EnLaPapeleraRenombrar", 404, "noExiste", "PATCH", "/v1/archivos/{t.txt}",
                    R"({"nombre":"x.txt"})", "demo", enLaPapelera},
        FilaRechazo{"EnLaPapeleraCrearDentro", 404, "noExiste", "POST", "/v1/carpetas",
                    R"({"padreId":"{P}","nombre":"x"})", "demo", enLaPapelera},
        FilaRechazo{"EnLaPapeleraComoDestino", 404, "noExiste", "POST",
                    "/v1/archivos/{leeme}/mover", R"({"destinoId":"{P}"})", "demo", enLaPapelera},
        FilaRechazo{"EnLaPapeleraDescargar", 404, "noExiste", "POST", "/v1/descargas",
                    R"({"archivoId":"{t.txt}"})", "demo", enLaPapelera},
        FilaRechazo{"MiniaturaDeUnTexto", 404, "", "GET", "/v1/archivos/{leeme}/miniatura"},
        FilaRechazo{"MiniaturaDeUnTextoSubido", 404, "", "GET", "/v1/archivos/{x.txt}/miniatura",
                    "", "demo", [](Caso& c) { c.archivo("caso", "x.txt"); }},
        FilaRechazo{"EnlaceCompartidoDesconocido", 404, "", "GET",
                    "/s/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "", ""}),
    nombreDeFila);

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
  for (const auto& [caso, nombre] : invalidos) {
    const auto subida = [&](int tamano) {
      return nlohmann::json{{"carpetaId", "{raiz}"},
                            {"nombre", nombre},
                            {"tamanoBytes", tamano},
                            {"tipo", "text/plain"}}
          .dump();
    };
    const auto nuevo = nlohmann::json{{"nombre", nombre}}.dump();
    filas.push_back({caso + "AlCrearCarpeta", 400, "datos", "POST", "/v1/carpetas",
                     nlohmann::json{{"padreId", "{raiz}"}, {"nombre", nombre}}.dump()});
    filas.push_back(
        {caso + "AlRenombrarCarpeta", 400, "datos", "PATCH", "/v1/carpetas/{fotos}", nuevo});
    filas.push_back(
        {caso + "AlRenombrarArchivo", 400, "datos", "PATCH", "/v1/archivos/{leeme}", nuevo});
    filas.push_back({caso + "AlSubirVacio", 400, "datos", "POST", "/v1/subidas", subida(0)});
    filas.push_back({caso + "AlSubir", 400, "datos", "POST", "/v1/subidas", subida(10)});
  }
  return filas;
}

INSTANTIATE_TEST_SUITE_P(Nombres, Rechazos, testing::ValuesIn(nombresInvalidos()), nombreDeFila);

INSTANTIATE_TEST_SUITE_P(
    Datos, Rechazos,
    testing::Values(
        FilaRechazo{"CrearNoEsJson", 400, "datos", "POST", "/v1/carpetas",
                    R"({"padreId":"{raiz}","nombre":)"},
        FilaRechazo{"CrearEsUnaLista", 400, "datos", "POST", "/v1/carpetas", R"(["{raiz}","x"])"},
        FilaRechazo{"CrearEsNull", 400, "datos", "POST", "/v1/carpetas", "null"},
        FilaRechazo{"CrearVacio", 400, "datos", "POST", "/v1/carpetas", ""},
        FilaRechazo{"CrearNombreNumero", 400, "datos", "POST", "/v1/carpetas",
                    R"({"padreId":"{raiz}","nombre":5})"},
        FilaRechazo{"CrearNombreNulo", 400, "datos", "POST", "/v1/carpetas",
                    R"({"padreId":"{raiz}","nombre":null})"},
        FilaRechazo{"CrearPadreNumero", 400, "datos", "POST", "/v1/carpetas",
                    R"({"padreId":7,"nombre":"x"})"},
        FilaRechazo{"CrearSinNombre", 400, "datos", "POST", "/v1/carpetas",
                    R"({"padreId":"{raiz}"})"},
        FilaRechazo{"CrearUtf8Roto", 400, "datos", "POST", "/v1/carpetas",
                    "{\"padreId\":\"{raiz}\",\"nombre\":\"a\xff\xfe\"}"},
        FilaRechazo{"CrearDeMasDeUnMega", 413, "datos", "POST", "/v1/carpetas",
                    R"({"padreId":"{raiz}","nombre":"Grande","relleno":")" +
                        std::string(1536 * 1024, 'x') + "\"}"},
        FilaRechazo{"RenombrarNombreLogico", 400, "datos", "PATCH", "/v1/archivos/{leeme}",
                    R"({"nombre":true})"},
        FilaRechazo{"MoverDestinoLista", 400, "datos", "POST", "/v1/archivos/{leeme}/mover",
                    R"({"destinoId":[]})"},
        FilaRechazo{"MoverSinDestino", 400, "datos", "POST", "/v1/archivos/{leeme}/mover", "{}"},
        FilaRechazo{
            "SubirTamanoTexto", 400, "datos", "POST", "/v1/subidas",
            R"({"carpetaId":"{raiz}","nombre":"a","tamanoBytes":"10","tipo":"text/plain"})"},
        FilaRechazo{"SubirTamanoNegativo", 400, "datos", "POST", "/v1/subidas",
                    R"({"carpetaId":"{raiz}","nombre":"a","tamanoBytes":-1,"tipo":"text/plain"})"},
        FilaRechazo{"SubirTamanoFraccion", 400, "datos", "POST", "/v1/subidas",
                    R"({"carpetaId":"{raiz}","nombre":"a","tamanoBytes":1.5,"tipo":"text/plain"})"},
        FilaRechazo{"SubirSinTipo", 400, "datos", "POST", "/v1/subidas",
                    R"({"carpetaId":"{raiz}","nombre":"a","tamanoBytes":0})"},
        FilaRechazo{"FavoritoTipoNumero", 400, "datos", "PUT", "/v1/favoritos",
                    R"({"tipo":3,"id":"{leeme}"})"},
        FilaRechazo{"CompartirIdNumero", 400, "datos", "POST", "/v1/compartir",
                    R"({"tipo":"archivo","id":1,"dias":7})"},
        FilaRechazo{"DescargaIdLista", 400, "datos", "POST", "/v1/descargas",
                    R"({"archivoId":["{leeme}"]})"},
        FilaRechazo{"RestaurarSinId", 400, "datos", "POST", "/v1/papelera/restaurar",
                    R"({"organizacionId":"{org}","tipo":"archivo"})"},
        FilaRechazo{"EntrarCorreoNumero", 400, "datos", "POST", "/v1/sesiones",
                    R"({"correo":1,"clave":"x"})"},
        FilaRechazo{"EntrarNoEsJson", 400, "datos", "POST", "/v1/sesiones", "correo=demo"},
        FilaRechazo{"MfaCodigoNumero", 400, "datos", "POST", "/v1/sesiones/mfa",
                    R"({"desafio":"x","codigo":123456})"},
        FilaRechazo{"ReglasDeFallosNoEsJson", 400, "datos", "POST", "/_pruebas/fallos", "[{", ""},
        // Links last one to thirty days.
        FilaRechazo{"EnlaceDeCeroDias", 400, "datos", "POST", "/v1/compartir",
                    R"({"tipo":"archivo","id":"{leeme}","dias":0})"},
        FilaRechazo{"EnlaceDe31Dias", 400, "datos", "POST", "/v1/compartir",
                    R"({"tipo":"archivo","id":"{leeme}","dias":31})"},
        FilaRechazo{"EnlaceDeDiasNegativos", 400, "datos", "POST", "/v1/compartir",
                    R"({"tipo":"archivo","id":"{leeme}","dias":-1})"},
        FilaRechazo{"EnlaceDeDiasEnTexto", 400, "datos", "POST", "/v1/compartir",
                    R"({"tipo":"archivo","id":"{leeme}","dias":"7"})"},
        FilaRechazo{"EnlaceDeDiasFraccion", 400, "datos", "POST", "/v1/compartir",
                    R"({"tipo":"archivo","id":"{leeme}","dias":1.5})"},
        FilaRechazo{"EnlaceDeDiasNulos", 400, "datos", "POST", "/v1/compartir",
                    R"({"tipo":"archivo","id":"{leeme}","dias":null})"}),
    nombreDeFila);

// A single upload of 3 bytes in the row's folder; gives its signed path.
std::string subidaUnica(Caso& c) {
  const auto r = c.e.demo.post("/v1/subidas", {{"carpetaId", c.ids.at("caso")},
                                               {"nombre", "f.bin"},
                                               {"tamanoBytes", 3},
                                               {"tipo", "text/plain"}});
  return rutaDe(*desdeJson<PedidoSubida>(ClienteHttp::exigir(r, "subida").json()).url);
}

std::string descarga(Caso& c) {
  const auto r = c.e.demo.post("/v1/descargas", {{"archivoId", c.ids.at("leeme")}});
  return desdeJson<Enlace>(ClienteHttp::exigir(r, "descarga").json()).url;
}

std::string cambiarUltimo(std::string ruta) {
  ruta.back() = ruta.back() == 'a' ? 'b' : 'a';
  return ruta;
}

// A signed address the service never issued, or one bent out of shape: {firma}.
FilaRechazo firmaFalsa(std::string nombre, std::string metodo,
                       std::function<std::string(Caso&)> firma) {
  return {std::move(nombre),
          403,
          "permiso",
          metodo,
          "{firma}",
          metodo == "PUT" ? "abc" : "",
          "",
          [firma](Caso& c) { c.ids["firma"] = firma(c); }};
}

INSTANTIATE_TEST_SUITE_P(
    Firmas, Rechazos,
    testing::Values(
        firmaFalsa("SubidaInventada", "PUT",
                   [](Caso&) { return "/almacen/subir/" + std::string(64, '0'); }),
        firmaFalsa("ParteInventada", "PUT",
                   [](Caso&) { return "/almacen/partes/" + std::string(64, 'f'); }),
        firmaFalsa("DescargaInventada", "GET",
                   [](Caso&) { return "/almacen/" + std::string(43, 'A'); }),
        firmaFalsa("SubidaRetocada", "PUT", [](Caso& c) { return cambiarUltimo(subidaUnica(c)); }),
        firmaFalsa("SubidaRecortada", "PUT",
                   [](Caso& c) {
                     auto ruta = subidaUnica(c);
                     ruta.pop_back();
                     return ruta;
                   }),
        firmaFalsa("DescargaRetocada", "GET", [](Caso& c) { return cambiarUltimo(descarga(c)); }),
        firmaFalsa("DescargaUsadaParaSubir", "PUT",
                   [](Caso& c) {
                     return "/almacen/subir/" + descarga(c).substr(std::string("/almacen/").size());
                   }),
        firmaFalsa("SubidaUsadaParaBajar", "GET",
                   [](Caso& c) {
                     const auto ruta = subidaUnica(c);
                     return "/almacen/" + ruta.substr(ruta.rfind('/') + 1);
                   })),
    nombreDeFila);

}  // namespace
}  // namespace vemlo::pruebas
