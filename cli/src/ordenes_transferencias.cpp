// Moving bytes: upload (files and folders into a company folder) and download (one file into
// a local file, which appears under its final name only once complete). Both show a progress
// bar when stderr is a terminal.
#include <filesystem>
#include <memory>

#include "fallos.h"
#include "ordenes.h"
#include "progreso.h"
#include "rutas.h"
#include "salida.h"
#include "subir.h"
#include "textos.h"

namespace vemlo::cli {
namespace fs = std::filesystem;
namespace {

struct DatosTransferencia {
  std::vector<std::string> rutas;  // upload: LOCAL... DEST; download: PATH [LOCAL]
};

int subir(const DatosTransferencia& datos, Contexto& contexto) {
  if (datos.rutas.size() < 2)
    throw ErrorUso(tr("Give what to upload and the folder to put it in: upload LOCAL... DEST",
                      "Indica qué subir y la carpeta donde ponerlo: upload LOCAL... DESTINO"));
  std::vector<fs::path> locales(datos.rutas.begin(), datos.rutas.end() - 1);
  for (const auto& local : locales) {
    std::error_code error;
    if (!fs::exists(local, error))
      throw ErrorUso(trf("There's no file or folder at {}.",
                         "No hay ningún archivo ni carpeta en {}.", {citar(local.string())}));
    nombreLocal(local);
  }
  const auto& destinoPedido = datos.rutas.back();
  const auto destino =
      Rutas(contexto.api(), contexto.empresa(), contexto.parar()).carpeta(destinoPedido);
  const auto resultado = subirTodo(contexto.api(), locales, destino, contexto.parar());
  const auto donde = citar(unirRuta(partirRuta(destinoPedido)));
  // Nothing claimed when nothing arrived and something failed: the failures say it all.
  if (resultado.subidos > 0 || resultado.fallidos == 0)
    imprimir(trf("Uploaded {} file(s) to {}.", "Se subieron {} archivo(s) a {}.",
                 {std::to_string(resultado.subidos), donde}));
  if (resultado.fallidos == 0) return hecho;
  avisar(trf("{} item(s) didn't arrive.", "{} elemento(s) no llegaron.",
             {std::to_string(resultado.fallidos)}));
  return fallo;
}

// Where the file goes: LOCAL, or the file's own name inside LOCAL when it is a folder (the
// current folder when missing).
fs::path destinoLocal(const std::string& pedido, const std::string& nombre) {
  const fs::path local = pedido.empty() ? fs::path(".") : fs::path(pedido);
  std::error_code error;
  if (!fs::is_directory(local, error)) {
    if (!fs::is_directory(fs::absolute(local).parent_path(), error))
      throw ErrorUso(trf("There's no folder {} to download into.",
                         "No existe la carpeta {} para bajar ahí.",
                         {citar(fs::absolute(local).parent_path().string())}));
    return local;
  }
  if (nombre.empty() || nombre == "." || nombre == ".." || nombre.find('/') != std::string::npos)
    throw ErrorUso(
        trf("{} can't be a local file name; give one: download PATH LOCAL",
            "{} no puede ser un nombre de archivo local; indica uno: download RUTA LOCAL",
            {citar(nombre)}));
  return local / nombre;
}

int bajar(const DatosTransferencia& datos, Contexto& contexto) {
  if (datos.rutas.empty() || datos.rutas.size() > 2)
    throw ErrorUso(tr("Give the file to download, and where to: download PATH [LOCAL]",
                      "Indica el archivo a bajar y adónde: download RUTA [LOCAL]"));
  const auto elemento =
      Rutas(contexto.api(), contexto.empresa(), contexto.parar()).buscar(datos.rutas.front());
  if (elemento.esCarpeta)
    throw ErrorUso(trf("{} is a folder; download takes a file.",
                       "{} es una carpeta; download baja un archivo.", {citar(elemento.ruta)}));
  const auto destino = destinoLocal(datos.rutas.size() == 2 ? datos.rutas[1] : "", elemento.nombre);
  {
    Progreso progreso(elemento.archivo->tamanoBytes);
    progreso.etiqueta(elemento.nombre);
    contexto.api().descargar(
        elemento.id, destino, [&](std::int64_t n) { progreso.hechos(n); }, contexto.parar());
  }
  imprimir(trf("Downloaded {} to {}.", "Se bajó {} a {}.",
               {citar(elemento.ruta), citar(destino.string())}));
  return hecho;
}

}  // namespace

void ordenesDeTransferencias(CLI::App& app, Ordenes& ordenes) {
  auto datosSubir = std::make_shared<DatosTransferencia>();
  auto* upload = app.add_subcommand(
      "upload", tr("Upload files and folders into a company folder (folders merge into one of "
                   "the same name; hidden files inside folders are skipped)",
                   "Subir archivos y carpetas a una carpeta de la empresa (las carpetas se unen a "
                   "una del mismo nombre; los archivos ocultos dentro de carpetas se saltan)"));
  conEmpresa(upload, ordenes.contexto);
  upload
      ->add_option(tr("LOCAL... DEST", "LOCAL... DESTINO"), datosSubir->rutas,
                   tr("Local files and folders, then the company folder",
                      "Archivos y carpetas locales y luego la carpeta de la empresa"))
      ->required()
      ->option_text(tr("LOCAL... DEST", "LOCAL... DESTINO"));
  upload->callback([&ordenes, datosSubir] {
    ordenes.accion = [&ordenes, datosSubir] { return subir(*datosSubir, ordenes.contexto); };
  });

  auto datosBajar = std::make_shared<DatosTransferencia>();
  auto* download =
      app.add_subcommand("download", tr("Download a file (to LOCAL, or into the current folder)",
                                        "Bajar un archivo (a LOCAL, o a la carpeta actual)"));
  conEmpresa(download, ordenes.contexto);
  download
      ->add_option(tr("PATH [LOCAL]", "RUTA [LOCAL]"), datosBajar->rutas,
                   tr("The company path of the file, then where to put it",
                      "La ruta del archivo en la empresa y luego dónde ponerlo"))
      ->required()
      ->expected(1, 2)
      ->option_text(tr("PATH [LOCAL]", "RUTA [LOCAL]"));
  download->callback([&ordenes, datosBajar] {
    ordenes.accion = [&ordenes, datosBajar] { return bajar(*datosBajar, ordenes.contexto); };
  });
}

}  // namespace vemlo::cli
