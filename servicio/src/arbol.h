// The company folder tree as the routes see it: rows of folders and files, who may see and
// change them, whether they are alive (outside the trash), their paths and name clashes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vemlo/registros.h"

namespace vemlo::servicio {

struct Carpeta {
  std::string id;
  std::string organizacionId;
  std::optional<std::string> padreId;  // none for a company root
  std::string nombre;
  std::int64_t creadaMs = 0;
  std::optional<std::int64_t> borradaMs;
};

struct Archivo {
  std::string id;
  std::string organizacionId;
  std::string carpetaId;
  std::string nombre;
  std::int64_t tamano = 0;
  std::string tipo;
  std::int64_t actualizadoMs = 0;
  std::optional<std::string> blobId;
  std::optional<std::string> miniaturaId;
  bool visible = false;  // false until the first upload of the file is confirmed
  std::optional<std::int64_t> borradoMs;
};

struct Empresa {
  std::string id;
  std::string nombre;
  std::string raizId;
  std::int64_t cuota = 0;
  bool tope = false, sinTarjeta = false, pagoFallido = false, anualVigente = false;
};

// The columns that `archivoDeFila` reads, in order.
inline constexpr const char* columnasArchivo =
    "id, organizacionId, carpetaId, nombre, tamano, tipo, actualizadoMs, blobId, miniaturaId, "
    "visible, borradoMs";
class Sentencia;
Archivo archivoDeFila(const Sentencia& fila, int desde = 0);

std::optional<Carpeta> leerCarpeta(const std::string& id);
std::optional<Archivo> leerArchivo(const std::string& id);
std::optional<Empresa> leerEmpresa(const std::string& id);
std::optional<std::string> rolEn(const std::string& usuarioId, const std::string& organizacionId);

// The bytes of a company's visible files, kept as a running total: every change of a visible
// file's size adds its difference, so that no upload sums the whole company.
std::int64_t usoDe(const std::string& organizacionId);
void sumarUso(const std::string& organizacionId, std::int64_t bytes);

// The folder and its ancestors, from the company root down to it.
std::vector<Carpeta> cadena(const std::string& carpetaId);
// A folder none of whose ancestors (nor itself) is in the trash.
bool carpetaViva(const std::string& carpetaId);
bool archivoVivo(const Archivo& archivo);

// Lookups for a user: the item when it is alive in one of the user's companies, else
// "noExiste"; `rol` receives the user's role there.
Carpeta carpetaVisible(const std::string& usuarioId, const std::string& id, std::string& rol);
Archivo archivoVisible(const std::string& usuarioId, const std::string& id, std::string& rol);
// The role of the user in the company, or "noExiste" when not a member.
std::string rolExigido(const std::string& usuarioId, const std::string& organizacionId);
// "permiso" for a read-only role.
void exigirEscritura(const std::string& rol);

// Whether a live folder or file in `carpetaId` is called `nombre` (ignoring item `salvoId`).
bool nombreOcupado(const std::string& carpetaId, const std::string& nombre,
                   const std::string& salvoId = {});

ArchivoRemoto aRemoto(const Archivo& archivo, bool conCarpeta);

}  // namespace vemlo::servicio
