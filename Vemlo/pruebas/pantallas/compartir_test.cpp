// The app's end of sharing from the file manager: its single-instance socket takes a text for
// the clipboard (as vemlo-cli asks it) and passes "show this path" on from a second launch,
// and Files opens an item's folder with the item selected.
#include <QAbstractItemView>
#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>

#include <atomic>
#include <thread>

#include "comun.h"
#include "contenido.h"
#include "explorador.h"
#include "instancia.h"
#include "modelo_items.h"
#include "portapapeles.h"
#include "principal.h"
#include "ventana.h"

namespace vemlo::app {
namespace {

TEST(InstanciaUnicaCompartir, TomaElTextoParaElPortapapelesYContestaOk) {
  InstanciaUnica primera;
  ASSERT_TRUE(primera.empezar());
  QSignalSpy copiado(&primera, &InstanciaUnica::copiado);
  const std::string enlace = "http://127.0.0.1:8787/s/abc \"x\"\n";
  std::optional<std::string> quien;
  std::atomic<bool> listo = false;
  std::jthread cli([&] {
    quien = cli::copiarAlPortapapeles(enlace);
    listo = true;
  });
  ASSERT_TRUE(esperar([&] { return listo.load(); }));
  EXPECT_EQ(quien, "vemlo");
  ASSERT_EQ(copiado.count(), 1);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), enlace);
}

TEST(InstanciaUnicaCompartir, LaSegundaPasaLaRutaAMostrarYSeVa) {
  InstanciaUnica primera;
  ASSERT_TRUE(primera.empezar());
  QSignalSpy mostrar(&primera, &InstanciaUnica::mostrarPedido);
  QSignalSpy abrir(&primera, &InstanciaUnica::abrirPedido);
  InstanciaUnica segunda;
  EXPECT_FALSE(segunda.empezar("/home/ana/Vemlo-Acme/Mi informe \"final\".pdf"));
  ASSERT_TRUE(mostrar.wait());
  EXPECT_EQ(mostrar.at(0).at(0).toString(), "/home/ana/Vemlo-Acme/Mi informe \"final\".pdf");
  EXPECT_EQ(abrir.count(), 0);
}

class MostrarItem : public ConDemo {};

TEST_F(MostrarItem, AbreSuCarpetaConElItemElegido) {
  VentanaPrincipal ventana(*estado);
  auto* principal = ventana.findChild<Principal*>();
  ASSERT_TRUE(principal);
  principal->elegirSeccion(Seccion::recientes);
  const auto informes = idCarpeta(demo->carpeta(estado->empresa()->carpetaRaizId), "Informes");
  const auto ano = idCarpeta(demo->carpeta(informes), "2026");
  const auto q1 = demo->carpeta(ano).archivos.at(0).id;
  principal->mostrarItem(ano, q1);
  ASSERT_EQ(principal->seccion(), Seccion::archivos);
  auto* explorador = qobject_cast<Explorador*>(principal->detalle());
  ASSERT_TRUE(explorador);
  auto* vista = explorador->contenido()->vista();
  ASSERT_TRUE(esperar([&] { return vista->currentIndex().isValid(); }));
  EXPECT_EQ(explorador->carpeta().vista()->id, ano);
  EXPECT_EQ(explorador->carpeta().modelo().item(vista->currentIndex().row()).id, q1);
}

}  // namespace
}  // namespace vemlo::app
