// Looking at and changing the folder tree: ls, mkdir, mv, rename, trash and restore. Every
// path is a company path resolved from the chosen company's root folder.
#include <memory>

#include "fallos.h"
#include "ordenes.h"
#include "rutas.h"
#include "salida.h"
#include "textos.h"
#include "vemlo/mensajes.h"

namespace vemlo::cli {
namespace {

struct DatosOrden {
  std::string ruta;
  std::string otra;  // the destination folder, the new name, the trash item
  bool largo = false;
  bool padres = false;
};

Rutas rutasDe(Contexto& contexto) {
  return Rutas(contexto.api(), contexto.empresa(), contexto.parar());
}

std::vector<std::string> filaDeArchivo(const ArchivoRemoto& archivo) {
  return {tamanoLegible(archivo.tamanoBytes), fechaLegible(archivo.actualizadoEn), archivo.nombre};
}

void listarVista(const VistaCarpeta& vista, bool largo) {
  Tabla tabla;
  for (const auto& carpeta : vista.carpetas) {
    if (largo)
      tabla.fila(
          {"-", carpeta.creadaEn ? fechaLegible(*carpeta.creadaEn) : "", carpeta.nombre + "/"});
    else
      tabla.fila({carpeta.nombre + "/"});
  }
  for (const auto& archivo : vista.archivos)
    tabla.fila(largo ? filaDeArchivo(archivo) : std::vector<std::string>{archivo.nombre});
  tabla.imprimir();
}

int listar(const DatosOrden& datos, Contexto& contexto) {
  const auto elemento = rutasDe(contexto).buscar(datos.ruta);
  if (!elemento.esCarpeta) {
    if (contexto.json) {
      imprimirJson(aJson(*elemento.archivo));
      return hecho;
    }
    Tabla tabla;
    tabla.fila(datos.largo ? filaDeArchivo(*elemento.archivo)
                           : std::vector<std::string>{elemento.archivo->nombre});
    tabla.imprimir();
    return hecho;
  }
  const auto vista = contexto.api().verCarpeta(elemento.id, contexto.parar());
  if (contexto.json)
    imprimirJson(aJson(vista));
  else
    listarVista(vista, datos.largo);
  return hecho;
}

// The folder to make `ruta` in; when it is missing, the failure says how to make it too.
auto padreParaCrear(Contexto& contexto, const std::string& ruta) {
  try {
    return rutasDe(contexto).padreYNombre(ruta);
  } catch (const ErrorOrden& e) {
    throw ErrorOrden(std::string(e.what()) +
                     tr(" To make the missing folders too: vemlo-cli mkdir -p ",
                        " Para crear también las carpetas que faltan: vemlo-cli mkdir -p ") +
                     ruta);
  }
}

// Makes the folder at `ruta`; with `padres`, also every missing folder above it, and an
// existing folder at `ruta` is no failure.
int crear(const DatosOrden& datos, Contexto& contexto) {
  auto& api = contexto.api();
  const auto nombres = partirRuta(datos.ruta);
  if (nombres.empty())
    throw ErrorUso(
        tr("Give the path of the folder to make.", "Indica la ruta de la carpeta a crear."));
  if (!datos.padres) {
    const auto [padre, nombre] = padreParaCrear(contexto, datos.ruta);
    api.crearCarpeta(padre.id, nombre, contexto.parar());
  } else {
    auto id = contexto.empresa().carpetaRaizId;
    for (const auto& nombre : nombres) {
      const auto vista = api.verCarpeta(id, contexto.parar());
      const auto hija = std::ranges::find(vista.carpetas, nombre, &CarpetaHija::nombre);
      id = hija != vista.carpetas.end() ? hija->id : api.crearCarpeta(id, nombre, contexto.parar());
    }
  }
  imprimir(trf("Made the folder {}.", "Se creó la carpeta {}.", {citar(unirRuta(nombres))}));
  return hecho;
}

// The folder an item's resolved path is in ("/" for the root's children).
std::string carpetaDe(const std::string& ruta) {
  auto nombres = partirRuta(ruta);
  if (!nombres.empty()) nombres.pop_back();
  return unirRuta(nombres);
}

int mover(const DatosOrden& datos, Contexto& contexto) {
  const auto rutas = rutasDe(contexto);
  const auto elemento = rutas.buscar(datos.ruta);
  const auto destino = rutas.carpeta(datos.otra);
  const auto donde = citar(unirRuta(partirRuta(datos.otra)));
  if (elemento.ruta != "/" && rutas.carpeta(carpetaDe(elemento.ruta)).id == destino.id) {
    imprimir(trf("{} is already in {}.", "{} ya está en {}.", {citar(elemento.ruta), donde}));
    return hecho;
  }
  contexto.api().mover(elemento.clase(), elemento.id, destino.id, contexto.parar());
  imprimir(trf("Moved {} into {}.", "Se movió {} a {}.", {citar(elemento.ruta), donde}));
  return hecho;
}

int renombrar(const DatosOrden& datos, Contexto& contexto) {
  if (datos.otra.find('/') != std::string::npos)
    throw ErrorUso(tr("A name can't contain \"/\"; to move something use: vemlo-cli mv",
                      "Un nombre no puede llevar \"/\"; para mover algo usa: vemlo-cli mv"));
  const auto elemento = rutasDe(contexto).buscar(datos.ruta);
  if (elemento.ruta == "/")
    throw ErrorUso(tr("The company's root folder can't be renamed.",
                      "La carpeta raíz de la empresa no se puede renombrar."));
  if (elemento.nombre == datos.otra) {
    imprimir(trf("{} is already called {}.", "{} ya se llama {}.",
                 {citar(elemento.ruta), citar(datos.otra)}));
    return hecho;
  }
  contexto.api().renombrar(elemento.clase(), elemento.id, datos.otra, contexto.parar());
  imprimir(
      trf("Renamed {} to {}.", "Se renombró {} a {}.", {citar(elemento.ruta), citar(datos.otra)}));
  return hecho;
}

int aPapelera(const DatosOrden& datos, Contexto& contexto) {
  const auto elemento = rutasDe(contexto).buscar(datos.ruta);
  if (elemento.ruta == "/")
    throw ErrorUso(tr("The company's root folder can't go to the trash.",
                      "La carpeta raíz de la empresa no puede ir a la papelera."));
  contexto.api().aPapelera(elemento.clase(), elemento.id, contexto.parar());
  imprimir(trf("Moved {} to the trash.", "Se movió {} a la papelera.", {citar(elemento.ruta)}));
  return hecho;
}

// The trash item called `pedido`: the one with that id, else the only one with that name.
EnPapelera elegirDePapelera(const std::vector<EnPapelera>& papelera, const std::string& pedido) {
  std::vector<EnPapelera> porNombre;
  for (const auto& elemento : papelera) {
    if (elemento.id == pedido) return elemento;
    if (elemento.nombre == pedido) porNombre.push_back(elemento);
  }
  if (porNombre.size() == 1) return porNombre.front();
  if (porNombre.empty())
    throw ErrorOrden(trf("There's nothing called {} in the trash.",
                         "No hay nada llamado {} en la papelera.", {citar(pedido)}));
  std::string lista;
  for (const auto& elemento : porNombre)
    lista += "\n  " + elemento.id + "  " + claseLegible(elemento.tipo) + "  " +
             fechaLegible(elemento.borradoEn);
  throw ErrorUso(trf("Several items in the trash are called {}; restore one by its id:",
                     "Varios elementos de la papelera se llaman {}; restaura uno por su id:",
                     {citar(pedido)}) +
                 lista);
}

int restaurar(const DatosOrden& datos, Contexto& contexto) {
  const auto& empresa = contexto.empresa();
  auto& api = contexto.api();
  const auto elemento =
      elegirDePapelera(api.listarPapelera(empresa.id, contexto.parar()), datos.ruta);
  api.restaurar(empresa.id, elemento.tipo, elemento.id, contexto.parar());
  imprimir(trf("Restored {}.", "Se restauró {}.", {citar(elemento.nombre)}));
  return hecho;
}

using Accion = int (*)(const DatosOrden&, Contexto&);

CLI::App* orden(CLI::App& app, Ordenes& ordenes, const std::string& nombre,
                const std::string& ayuda, Accion accion, const std::shared_ptr<DatosOrden>& datos) {
  auto* sub = app.add_subcommand(nombre, ayuda);
  conEmpresa(sub, ordenes.contexto);
  sub->callback([&ordenes, accion, datos] {
    ordenes.accion = [&ordenes, accion, datos] { return accion(*datos, ordenes.contexto); };
  });
  return sub;
}

}  // namespace

void ordenesDeCarpetas(CLI::App& app, Ordenes& ordenes) {
  const auto ruta = tr("PATH", "RUTA");
  const auto deRuta =
      tr("A company path, such as /Reports/2026", "Una ruta de la empresa, como /Informes/2026");

  auto datosLs = std::make_shared<DatosOrden>();
  auto* ls = orden(app, ordenes, "ls", tr("List a folder", "Listar una carpeta"), listar, datosLs);
  ls->add_flag("-l,--long", datosLs->largo, tr("Sizes and dates too", "También tamaños y fechas"));
  ls->add_option(ruta, datosLs->ruta,
                 deRuta + tr(" (the root when missing)", " (la raíz si falta)"));
  conJson(ls, ordenes.contexto);

  auto datosMkdir = std::make_shared<DatosOrden>();
  auto* mkdir =
      orden(app, ordenes, "mkdir", tr("Make a folder", "Crear una carpeta"), crear, datosMkdir);
  mkdir->add_flag("-p,--parents", datosMkdir->padres,
                  tr("Also make missing folders above it; no failure if it exists",
                     "Crear también las carpetas que falten encima; sin fallo si ya existe"));
  mkdir->add_option(ruta, datosMkdir->ruta, deRuta)->required();

  auto datosMv = std::make_shared<DatosOrden>();
  auto* mv = orden(
      app, ordenes, "mv",
      tr("Move a folder or file into another folder", "Mover una carpeta o archivo a otra carpeta"),
      mover, datosMv);
  mv->add_option(ruta, datosMv->ruta, deRuta)->required();
  mv->add_option(tr("DEST", "DESTINO"), datosMv->otra,
                 tr("The folder to move it into", "La carpeta adonde moverlo"))
      ->required();

  auto datosRename = std::make_shared<DatosOrden>();
  auto* rename = orden(app, ordenes, "rename",
                       tr("Rename a folder or file", "Renombrar una carpeta o archivo"), renombrar,
                       datosRename);
  rename->add_option(ruta, datosRename->ruta, deRuta)->required();
  rename->add_option(tr("NAME", "NOMBRE"), datosRename->otra, tr("The new name", "El nombre nuevo"))
      ->required();

  auto datosTrash = std::make_shared<DatosOrden>();
  auto* trash =
      orden(app, ordenes, "trash",
            tr("Move a folder or file to the trash", "Mover una carpeta o archivo a la papelera"),
            aPapelera, datosTrash);
  trash->add_option(ruta, datosTrash->ruta, deRuta)->required();

  auto datosRestore = std::make_shared<DatosOrden>();
  auto* restore =
      orden(app, ordenes, "restore",
            tr("Restore an item from the trash", "Restaurar un elemento de la papelera"), restaurar,
            datosRestore);
  restore
      ->add_option(tr("NAME|ID", "NOMBRE|ID"), datosRestore->ruta,
                   tr("The item's name or id, as trash-list shows them",
                      "El nombre o id del elemento, como los muestra trash-list"))
      ->required();
}

}  // namespace vemlo::cli
