// The company shown, the Vemlo folder's domains and the login item: Estado's part that faces
// the desktop.
#include <QCoreApplication>
#include <QDesktopServices>
#include <QSettings>
#include <QTimer>

#include "arranque.h"
#include "dominios.h"
#include "estado.h"
#include "tarea.h"
#include "textos.h"

namespace vemlo::app {

// The company remembered under "empresa" when the account still has it, else its first one.
std::optional<Organizacion> Estado::empresaAlInicio() const {
  const auto& lista = cuenta_->organizaciones;
  const auto recordada = QSettings("Vemlo", "Vemlo").value("empresa").toString().toStdString();
  const auto pos = std::ranges::find(lista, recordada, &Organizacion::id);
  if (pos != lista.end()) return *pos;
  if (lista.empty()) return std::nullopt;
  return lista.front();
}

void Estado::elegir(const Organizacion& empresa) {
  ponerEmpresa(empresa);
  QSettings("Vemlo", "Vemlo").setValue("empresa", QString::fromStdString(empresa.id));
  ++cambios_;
  emit cambiosCambio();
  leerFijados();  // the new company's
}

void Estado::sincronizarDominios() {
  if (!cuenta_) return;
  enSesion([empresas = cuenta_->organizaciones,
            anfitrion = opciones_.anfitrion] { registrarDominios(empresas, anfitrion); },
           [this](Resultado<Hecho> r) {
             if (r.fallo) {
               ponerFinderListo(false);
               ponerAviso(texto("The Vemlo folder couldn't be added to the file manager: ",
                                "No se pudo agregar la carpeta Vemlo al gestor de archivos: ") +
                          descripcionDelSistema(r.fallo));
               return;
             }
             ponerFinderListo(true);
             refrescarFinder();
             comprobarFinder();
           });
}

void Estado::comprobarFinder() {
  enSesion([] { return algunoApagado(); },
           [this](Resultado<bool> r) { ponerFinderApagado(r.valor.value_or(false)); });
}

void Estado::refrescarFinder() {
  enSesion([] { senalarDominios(); }, [this](Resultado<Hecho>) { leerFijados(); });
}

void Estado::abrirAjustesFinder() {
  emit ajustesFinderPedidos();
  sondear(opciones_.sondeos);
}

// One check of the switch after the settings were opened; the next one unless it is on.
void Estado::sondear(int quedan) {
  if (quedan <= 0) return;
  QTimer::singleShot(opciones_.sondeo, this, [this, quedan, generacion = generacion_] {
    if (generacion != generacion_) return;
    enSesion([] { return algunoApagado(); },
             [this, quedan](Resultado<bool> r) {
               const bool apagado = r.valor.value_or(false);
               ponerFinderApagado(apagado);
               if (!apagado) return refrescarFinder();
               sondear(quedan - 1);
             });
  });
}

void Estado::abrirEnFinder() {
  if (!empresa_) return sincronizarDominios();
  enSesion([id = empresa_->id] { return montajeDe(id); },
           [this](Resultado<std::optional<std::filesystem::path>> r) {
             if (!r.valor || !*r.valor) return sincronizarDominios();
             abrir(QUrl::fromLocalFile(QString::fromStdString((*r.valor)->string())));
           });
}

bool Estado::abrir(const QUrl& url) {
  return opciones_.abrirUrl ? opciones_.abrirUrl(url) : QDesktopServices::openUrl(url);
}

void Estado::ponerArranque(bool encendido) {
  // Announced once written, and also when the write failed: the toggles show what is real.
  struct Avisar {
    Estado* estado;
    ~Avisar() { emit estado->arranqueCambio(); }
  } avisar{this};
  if (encendido)
    escribirArranque(QCoreApplication::applicationFilePath().toStdString());
  else
    quitarArranque();
}

bool Estado::arranqueEncendido() const {
  return app::arranqueEncendido();
}

}  // namespace vemlo::app
