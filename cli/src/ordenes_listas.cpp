// The company-wide lists and marks: trash-list, search, recent, favorites, favorite add and
// remove, and share links. Lists print a table, or with --json the service's records.
#include <memory>

#include "enlace_local.h"
#include "fallos.h"
#include "ordenes.h"
#include "rutas.h"
#include "salida.h"
#include "textos.h"
#include "vemlo/mensajes.h"

namespace vemlo::cli {
namespace {

struct DatosLista {
  std::string texto;  // what to search for, or the path
  bool medios = false;
  int dias = 7;
  bool copiar = false;  // share --copy: the path is one inside a Vemlo folder
};

template <class T>
nlohmann::json listaJson(const std::vector<T>& registros) {
  auto lista = nlohmann::json::array();
  for (const auto& registro : registros) lista.push_back(aJson(registro));
  return lista;
}

std::string tamanoOpcional(const std::optional<std::int64_t>& bytes) {
  return bytes ? tamanoLegible(*bytes) : "-";
}

// A list as a table, a sentence when it is empty, or JSON.
template <class T, class Fila>
int mostrar(const Contexto& contexto, const std::vector<T>& registros,
            std::vector<std::string> encabezado, const std::string& siVacia, const Fila& fila) {
  if (contexto.json) {
    imprimirJson(listaJson(registros));
    return hecho;
  }
  if (registros.empty()) {
    imprimir(siVacia);
    return hecho;
  }
  Tabla tabla(std::move(encabezado));
  for (const auto& registro : registros) tabla.fila(fila(registro));
  tabla.imprimir();
  return hecho;
}

std::string encabezado(std::string_view ingles, std::string_view espanol) {
  return tr(ingles, espanol);
}

int papelera(const DatosLista&, Contexto& contexto) {
  const auto elementos = contexto.api().listarPapelera(contexto.empresa().id, contexto.parar());
  return mostrar(contexto, elementos,
                 {encabezado("TYPE", "TIPO"), encabezado("NAME", "NOMBRE"),
                  encabezado("DELETED", "BORRADO"), "ID"},
                 tr("The trash is empty.", "La papelera está vacía."), [](const EnPapelera& e) {
                   return std::vector<std::string>{claseLegible(e.tipo), e.nombre,
                                                   fechaLegible(e.borradoEn), e.id};
                 });
}

// "/Reports/2026/q1.pdf" from the result's folder names (the root's first) and its name.
std::string rutaDeResultado(const ResultadoBusqueda& resultado) {
  std::vector<std::string> nombres;
  if (resultado.ruta.size() > 1) nombres.assign(resultado.ruta.begin() + 1, resultado.ruta.end());
  nombres.push_back(resultado.nombre);
  return unirRuta(nombres) + (resultado.tipo == "carpeta" ? "/" : "");
}

int buscar(const DatosLista& datos, Contexto& contexto) {
  const auto resultados =
      contexto.api().buscar(contexto.empresa().id, datos.texto, contexto.parar());
  return mostrar(contexto, resultados,
                 {encabezado("TYPE", "TIPO"), encabezado("SIZE", "TAMAÑO"),
                  encabezado("MODIFIED", "MODIFICADO"), encabezado("PATH", "RUTA")},
                 trf("Nothing matches {}.", "Nada coincide con {}.", {citar(datos.texto)}),
                 [](const ResultadoBusqueda& r) {
                   return std::vector<std::string>{claseLegible(r.tipo),
                                                   tamanoOpcional(r.tamanoBytes),
                                                   fechaLegible(r.fecha), rutaDeResultado(r)};
                 });
}

int recientes(const DatosLista& datos, Contexto& contexto) {
  const auto archivos =
      contexto.api().recientes(contexto.empresa().id, datos.medios, contexto.parar());
  return mostrar(contexto, archivos,
                 {encabezado("SIZE", "TAMAÑO"), encabezado("MODIFIED", "MODIFICADO"),
                  encabezado("NAME", "NOMBRE")},
                 tr("No recent files.", "No hay archivos recientes."), [](const ArchivoRemoto& a) {
                   return std::vector<std::string>{tamanoLegible(a.tamanoBytes),
                                                   fechaLegible(a.actualizadoEn), a.nombre};
                 });
}

int favoritos(const DatosLista&, Contexto& contexto) {
  const auto lista = contexto.api().listarFavoritos(contexto.empresa().id, contexto.parar());
  return mostrar(contexto, lista,
                 {encabezado("TYPE", "TIPO"), encabezado("SIZE", "TAMAÑO"),
                  encabezado("DATE", "FECHA"), encabezado("NAME", "NOMBRE")},
                 tr("No favorites yet.", "Todavía no hay favoritos."), [](const Favorito& f) {
                   return std::vector<std::string>{claseLegible(f.tipo),
                                                   tamanoOpcional(f.tamanoBytes),
                                                   fechaLegible(f.fecha), f.nombre};
                 });
}

int marcar(const DatosLista& datos, Contexto& contexto) {
  const auto elemento =
      Rutas(contexto.api(), contexto.empresa(), contexto.parar()).buscar(datos.texto);
  contexto.api().marcarFavorito(elemento.tipo(), elemento.id, contexto.parar());
  imprimir(trf("Added {} to favorites.", "Se agregó {} a favoritos.", {citar(elemento.ruta)}));
  return hecho;
}

int desmarcar(const DatosLista& datos, Contexto& contexto) {
  const auto elemento =
      Rutas(contexto.api(), contexto.empresa(), contexto.parar()).buscar(datos.texto);
  const auto favoritos = contexto.api().listarFavoritos(contexto.empresa().id, contexto.parar());
  if (std::ranges::none_of(favoritos, [&](const Favorito& f) { return f.id == elemento.id; })) {
    imprimir(
        trf("{} isn't in your favorites.", "{} no está en tus favoritos.", {citar(elemento.ruta)}));
    return hecho;
  }
  contexto.api().quitarFavorito(elemento.tipo(), elemento.id, contexto.parar());
  imprimir(trf("Removed {} from favorites.", "Se quitó {} de favoritos.", {citar(elemento.ruta)}));
  return hecho;
}

// Prints only the link, so that scripts can take it as it is.
int compartir(const DatosLista& datos, Contexto& contexto) {
  if (datos.copiar) return copiarEnlace(datos.texto, datos.dias, contexto);
  const auto elemento =
      Rutas(contexto.api(), contexto.empresa(), contexto.parar()).buscar(datos.texto);
  if (elemento.ruta == "/")
    throw ErrorUso(tr("The company's root folder can't be shared.",
                      "La carpeta raíz de la empresa no se puede compartir."));
  imprimir(contexto.api().compartir(elemento.tipo(), elemento.id, datos.dias, contexto.parar()));
  return hecho;
}

using Accion = int (*)(const DatosLista&, Contexto&);

std::shared_ptr<DatosLista> orden(CLI::App& padre, Ordenes& ordenes, const std::string& nombre,
                                  const std::string& ayuda, Accion accion, CLI::App*& sub) {
  auto datos = std::make_shared<DatosLista>();
  sub = padre.add_subcommand(nombre, ayuda);
  conEmpresa(sub, ordenes.contexto);
  sub->callback([&ordenes, accion, datos] {
    ordenes.accion = [&ordenes, accion, datos] { return accion(*datos, ordenes.contexto); };
  });
  return datos;
}

}  // namespace

void ordenesDeListas(CLI::App& app, Ordenes& ordenes) {
  const auto ruta = tr("PATH", "RUTA");
  const auto deRuta = tr("A company path, such as /Reports/2026/q1.pdf",
                         "Una ruta de la empresa, como /Informes/2026/q1.pdf");
  CLI::App* sub = nullptr;

  orden(app, ordenes, "trash-list",
        tr("List the company's trash", "Listar la papelera de la empresa"), papelera, sub);
  conJson(sub, ordenes.contexto);

  auto datos =
      orden(app, ordenes, "search",
            tr("Search the company by name", "Buscar en la empresa por nombre"), buscar, sub);
  sub->add_option(tr("TEXT", "TEXTO"), datos->texto, tr("Part of a name", "Parte de un nombre"))
      ->required();
  conJson(sub, ordenes.contexto);

  datos = orden(app, ordenes, "recent",
                tr("List recently changed files", "Listar los archivos cambiados hace poco"),
                recientes, sub);
  sub->add_flag("--media", datos->medios, tr("Only photos and videos", "Solo fotos y videos"));
  conJson(sub, ordenes.contexto);

  orden(app, ordenes, "favorites", tr("List your favorites", "Listar tus favoritos"), favoritos,
        sub);
  conJson(sub, ordenes.contexto);

  auto* favorito = app.add_subcommand(
      "favorite", tr("Add or remove a favorite", "Agregar o quitar un favorito"));
  favorito->require_subcommand(1);
  datos = orden(*favorito, ordenes, "add", tr("Mark as a favorite", "Marcar como favorito"), marcar,
                sub);
  sub->add_option(ruta, datos->texto, deRuta)->required();
  datos = orden(*favorito, ordenes, "remove", tr("Unmark as a favorite", "Quitar de favoritos"),
                desmarcar, sub);
  sub->add_option(ruta, datos->texto, deRuta)->required();

  datos = orden(app, ordenes, "share", tr("Print a share link", "Mostrar un enlace para compartir"),
                compartir, sub);
  sub->add_option(ruta, datos->texto, deRuta)->required();
  sub->add_option("--days", datos->dias,
                  tr("Days the link works (1 to 30, default 7)",
                     "Días que funciona el enlace (de 1 a 30; 7 si falta)"))
      ->check(CLI::Range(1, 30))
      ->option_text(tr("DAYS", "DÍAS"));
  sub->add_flag("--copy", datos->copiar,
                tr("PATH is a file in a Vemlo folder; also copy the link to the clipboard",
                   "RUTA es un archivo de una carpeta Vemlo; copiar también el enlace al "
                   "portapapeles"));
}

}  // namespace vemlo::cli
