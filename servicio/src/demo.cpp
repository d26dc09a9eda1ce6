// Demo seeding, in one transaction. The images are drawn with libvips and get their
// thumbnails like uploaded ones; the PDFs are small valid documents written here.
#include "demo.h"

#include <cstdio>
#include <vector>

#include "almacen.h"
#include "arbol.h"
#include "base.h"
#include "cripto.h"
#include "cuentas.h"
#include "miniaturas.h"
#include "textos.h"
#include "totp.h"

namespace vemlo::servicio {
namespace {

constexpr std::int64_t cuotaDemo = 10LL << 30;

std::string crearEmpresa(const std::string& nombre) {
  const std::string id = nuevoId();
  const std::string raiz = nuevoId();
  Sentencia("INSERT INTO organizaciones(id, nombre, raizId, cuota) VALUES(?,?,?,?)", id, nombre,
            raiz, cuotaDemo)
      .ejecutar();
  Sentencia(
      "INSERT INTO carpetas(id, organizacionId, padreId, nombre, pliegue, creadaMs) "
      "VALUES(?,?,NULL,?,?,?)",
      raiz, id, nombre, plegar(nombre), ahoraMs())
      .ejecutar();
  return id;
}

std::string raizDe(const std::string& empresa) {
  Sentencia fila("SELECT raizId FROM organizaciones WHERE id=?", empresa);
  fila.fila();
  return fila.texto(0);
}

void unir(const std::string& usuario, const std::string& empresa, const std::string& rol,
          int orden) {
  Sentencia("INSERT INTO miembros(usuarioId, organizacionId, rol, orden) VALUES(?,?,?,?)", usuario,
            empresa, rol, orden)
      .ejecutar();
}

std::string carpeta(const std::string& empresa, const std::string& padre,
                    const std::string& nombre) {
  const std::string id = nuevoId();
  Sentencia(
      "INSERT INTO carpetas(id, organizacionId, padreId, nombre, pliegue, creadaMs) "
      "VALUES(?,?,?,?,?,?)",
      id, empresa, padre, nombre, plegar(nombre), ahoraMs())
      .ejecutar();
  return id;
}

void archivo(const std::string& empresa, const std::string& padre, const std::string& nombre,
             const std::string& tipo, const std::string& bytes) {
  const std::string blob = guardarBlob(bytes);
  Sentencia(
      "INSERT INTO archivos(id, organizacionId, carpetaId, nombre, pliegue, tamano, tipo, "
      "actualizadoMs, blobId, miniaturaId, visible) VALUES(?,?,?,?,?,?,?,?,?,?,1)",
      nuevoId(), empresa, padre, nombre, plegar(nombre), static_cast<std::int64_t>(bytes.size()),
      tipo, ahoraMs(), blob, hacerMiniatura(blob, tipo))
      .ejecutar();
  sumarUso(empresa, static_cast<std::int64_t>(bytes.size()));
}

// A one-page PDF showing `titulo`, with a correct cross-reference table.
std::string pdf(const std::string& titulo) {
  const std::string contenido = "BT /F1 24 Tf 72 720 Td (" + titulo + ") Tj ET";
  const std::vector<std::string> objetos = {
      "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R >> >> >>",
      "<< /Length " + std::to_string(contenido.size()) + " >>\nstream\n" + contenido +
          "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
  std::string texto = "%PDF-1.4\n";
  std::vector<std::size_t> posiciones;
  for (std::size_t i = 0; i < objetos.size(); ++i) {
    posiciones.push_back(texto.size());
    texto += std::to_string(i + 1) + " 0 obj\n" + objetos[i] + "\nendobj\n";
  }
  const std::size_t xref = texto.size();
  texto += "xref\n0 " + std::to_string(objetos.size() + 1) + "\n0000000000 65535 f \n";
  for (const auto posicion : posiciones) {
    char linea[32];
    std::snprintf(linea, sizeof linea, "%010zu 00000 n \n", posicion);
    texto += linea;
  }
  texto += "trailer\n<< /Size " + std::to_string(objetos.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return texto;
}

void sembrar() {
  std::vector<std::string> respaldos;
  for (int i = 0; i < 8; ++i) respaldos.push_back(codigoRespaldo());
  const std::string demo = crearCuenta({"demo@vemlo.test", "Demo Vemlo", "vemlo-demo", {}, {}});
  const std::string mfa = crearCuenta(
      {"mfa@vemlo.test", "Mara Fernández", "vemlo-demo", base32(bytesAlAzar(20)), respaldos});
  const std::string acme = crearEmpresa("Acme");
  const std::string beta = crearEmpresa("Beta");
  unir(demo, acme, "editor", 0);
  unir(demo, beta, "lector", 1);
  unir(mfa, acme, "administrador", 0);

  const std::string raizAcme = raizDe(acme);
  const std::string fotos = carpeta(acme, raizAcme, "Fotos");
  const std::string informes = carpeta(acme, raizAcme, "Informes");
  carpeta(acme, raizAcme, "Proyectos");
  archivo(acme, raizAcme, "Léeme.txt", "text/plain",
          "Bienvenida a Vemlo.\nEsta es la carpeta de Acme: sube, mueve y comparte archivos.\n");
  archivo(acme, carpeta(acme, informes, "2026"), "q1.pdf", "application/pdf",
          pdf("Informe del primer trimestre 2026"));
  archivo(acme, fotos, "playa.jpg", "image/jpeg", imagenDeMuestra(1200, 800, ".jpg[Q=85]"));
  archivo(acme, fotos, "montaña.png", "image/png", imagenDeMuestra(900, 1200, ".png"));

  const std::string manuales = carpeta(beta, raizDe(beta), "Manuales");
  archivo(beta, manuales, "guia.pdf", "application/pdf", pdf("Guia de uso de Beta"));
  archivo(beta, manuales, "notas.txt", "text/plain", "Notas del equipo de Beta.\n");
}

}  // namespace

std::vector<std::string> prepararDemo() {
  Transaccion transaccion;
  Sentencia hay("SELECT 1 FROM usuarios WHERE correo='demo@vemlo.test'");
  if (!hay.fila()) sembrar();
  std::vector<std::string> lineas = {"cuenta demo@vemlo.test vemlo-demo"};
  Sentencia mfa("SELECT id, totp FROM usuarios WHERE correo='mfa@vemlo.test'");
  if (mfa.fila()) {
    std::string linea = "cuenta mfa@vemlo.test vemlo-demo totp=" + mfa.texto(1) + " respaldo=";
    Sentencia codigos("SELECT codigo FROM respaldos WHERE usuarioId=? AND usado=0 ORDER BY orden",
                      mfa.texto(0));
    for (bool primero = true; codigos.fila(); primero = false)
      linea += (primero ? "" : ",") + codigos.texto(0);
    lineas.push_back(linea);
  }
  transaccion.confirmar();
  return lineas;
}

}  // namespace vemlo::servicio
