// The item menu's "Keep on this device" and the settings' cache limit, with no host running:
// the entry is a check mark that follows the Vemlo folder's readiness and turns a failure into
// the notice; the limit box shows the stored limit and stores a new one for the host's start.
#include <QAction>
#include <QSpinBox>

#include "acciones.h"
#include "ajustes.h"
#include "comun.h"
#include "finder/limite_cache.h"

namespace vemlo::app {
namespace {

class Fijar : public ConDemo {
 protected:
  void SetUp() override {
    qputenv("LANGUAGE", "en");  // each test runs in a process of its own
    ConDemo::SetUp();
  }
};

TEST_F(Fijar, LaEntradaDelMenuSinAnfitrionLoAvisa) {
  Acciones acciones(*estado, Item{"f1", true, "Fotos"}, false, true);
  auto* fijar = acciones.accion("fijar");
  ASSERT_TRUE(fijar);
  EXPECT_EQ(fijar->text(), "Keep on this device");
  EXPECT_TRUE(fijar->isCheckable() && fijar->isEnabled());
  EXPECT_FALSE(fijar->isChecked());
  EXPECT_FALSE(estado->fijado("f1", true));
  fijar->trigger();
  ASSERT_TRUE(esperar([&] { return estado->hayAviso(); }));
  EXPECT_TRUE(estado->aviso().startsWith("The Vemlo folder couldn't keep this on this device"))
      << estado->aviso().toStdString();
}

TEST_F(Fijar, ElLimiteDeLaCacheSeGuardaDesdeLosAjustes) {
  Ajustes ajustes(*estado);
  ajustes.show();
  auto* limite = ajustes.findChild<QSpinBox*>("limiteCache");
  ASSERT_TRUE(limite);
  ASSERT_TRUE(esperar([&] { return limite->value() == 8; }));  // 8 GiB, in whole GB
  emit limite->editingFinished();                              // unchanged: nothing is written
  limite->setValue(20);
  emit limite->editingFinished();
  EXPECT_TRUE(esperar([&] { return finder::limiteCache() == 20'000'000'000u; }));
}

}  // namespace
}  // namespace vemlo::app
