// The Vemlo folder when the service cannot be reached: the host starts with the service down
// and mounts from what an earlier run left (the index and the content cache), queues what is
// written, and catches up by itself once the service is back.
#include "carpeta.h"

namespace vemlo::finder::host::pruebas {
namespace {

constexpr auto plazoDeVuelta = 90s;  // the host probes with growing pauses, up to 30 s apart

nlohmann::json dominioDe(const nlohmann::json& estado) {
  if (!estado.is_object() || estado.at("dominios").empty()) return nlohmann::json::object();
  return estado.at("dominios").at(0);
}

class SinRed : public ConCarpeta {
 protected:
  bool sinRed() const { return dominioDe(estado()).value("sinRed", false); }
  bool alDia() const {
    const auto d = dominioDe(estado());
    return d.value("montado", false) && !d.value("sinRed", true);
  }
};

TEST_F(SinRed, MontaLoConocidoYSePoneAlDiaAlVolverElServicio) {
  registrar("Acme");
  arrancarHost();
  const auto arbol = enMontaje("find . | sort").texto;
  ASSERT_EQ(arbol,
            ".\n./Fotos\n./Fotos/montaña.png\n./Fotos/playa.jpg\n./Informes\n./Informes/2026\n"
            "./Informes/2026/q1.pdf\n./Léeme.txt\n./Proyectos\n");
  const auto leeme = *enServicio("Léeme.txt");
  ASSERT_EQ(enMontaje("cat Léeme.txt").texto, leeme);  // now in the content cache
  detenerHost();
  // Changed on the service while no host runs, then the service goes away.
  const auto raiz = empresa("Acme").carpetaRaizId;
  subir(*demo, raiz, "nuevo.txt", "del servicio");
  const auto id = idArchivo(demo->carpeta(raiz), "Léeme.txt");
  ClienteHttp::exigir(demo->patch("/v1/archivos/" + id, {{"nombre", "Leeme.md"}}), "renombrar");
  ASSERT_EQ(servicio->detener(), 0);

  arrancarHost();
  EXPECT_TRUE(esperar([&] { return sinRed(); })) << pedir("--estado");
  EXPECT_EQ(enMontaje("find . | sort").texto, arbol);
  EXPECT_EQ(enMontaje("cat Léeme.txt").texto, leeme);
  EXPECT_EQ(enMontaje("stat -c %A .").texto, "drwxr-xr-x\n");
  const auto escrito = enMontaje("printf 'escrito sin red' > Informes/sinred.txt");
  EXPECT_EQ(escrito.estado, 0) << escrito.texto;
  EXPECT_EQ(enMontaje("cat Informes/sinred.txt").texto, "escrito sin red");
  EXPECT_EQ(dominioDe(estado()).at("pendientes").size(), 1u);
  // What needs the service fails, and changes nothing.
  EXPECT_NE(enMontaje("mkdir Nueva").estado, 0);
  EXPECT_NE(enMontaje("rm Fotos/playa.jpg").estado, 0);
  EXPECT_EQ(enMontaje("ls Fotos").texto, "montaña.png\nplaya.jpg\n");

  // No signal from here: the host finds the service by itself.
  servicio->reanudar();
  EXPECT_TRUE(esperar([&] { return enServicio("Informes/sinred.txt") == "escrito sin red"; },
                      plazoDeVuelta));
  // What changed meanwhile reaches the kernel too (it had "Léeme.txt" from the offline look).
  EXPECT_TRUE(
      esperar([&] { return enMontaje("cat nuevo.txt").texto == "del servicio"; }, plazoDeVuelta));
  EXPECT_EQ(enMontaje("ls").texto, "Fotos\nInformes\nLeeme.md\nProyectos\nnuevo.txt\n");
  EXPECT_NE(enMontaje("cat Léeme.txt").estado, 0);
  EXPECT_EQ(enMontaje("cat Leeme.md").texto, leeme);
  EXPECT_TRUE(esperar([&] { return alDia(); }));
  EXPECT_TRUE(sinPendientes());
  EXPECT_TRUE(enServicio("Fotos/playa.jpg"));
  EXPECT_FALSE(enServicio("Nueva/x"));
}

// Never online and nothing on disk: an empty folder and a status that says why, not a
// failure; the company's items arrive once the service answers.
TEST_F(SinRed, SinIndiceMontaVacia) {
  registrar("Acme");
  ASSERT_EQ(servicio->detener(), 0);
  arrancarHost();
  const auto ls = enMontaje("ls -A");
  EXPECT_EQ(ls.estado, 0) << ls.texto;
  EXPECT_EQ(ls.texto, "");
  EXPECT_TRUE(esperar([&] { return sinRed(); })) << pedir("--estado");
  const auto d = dominioDe(estado());
  EXPECT_TRUE(d.at("montado"));
  EXPECT_TRUE(d.at("motivo").is_null());
  EXPECT_NE(pedir("--estado").find("Acme: mounted, offline"), std::string::npos)
      << pedir("--estado");

  servicio->reanudar();
  EXPECT_TRUE(
      esperar([&] { return enMontaje("ls").texto == "Fotos\nInformes\nLéeme.txt\nProyectos\n"; },
              plazoDeVuelta));
  EXPECT_TRUE(esperar([&] { return alDia(); }));
}

// Offline, a company where the person may only read keeps a read-only root: nothing can be
// written there that the service would refuse later.
TEST_F(SinRed, LaRaizDeSoloLecturaSigueSiendoloSinRed) {
  registrar("Beta");
  arrancarHost();
  ASSERT_EQ(sh("ls", punto("Beta")).texto, "Manuales\n");
  detenerHost();
  ASSERT_EQ(servicio->detener(), 0);

  arrancarHost();
  EXPECT_TRUE(esperar([&] { return sinRed(); })) << pedir("--estado");
  EXPECT_EQ(sh("stat -c %A .", punto("Beta")).texto, "dr-xr-xr-x\n");
  const auto r = sh("touch x", punto("Beta"));
  EXPECT_NE(r.texto.find("Permission denied"), std::string::npos) << r.texto;
  EXPECT_EQ(sh("ls", punto("Beta")).texto, "Manuales\n");
}

}  // namespace
}  // namespace vemlo::finder::host::pruebas
