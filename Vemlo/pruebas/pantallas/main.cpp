// The screens' tests run inside a QApplication on the offscreen platform, with the app's
// names (its settings) and the icon theme the app itself sets up; this main wins over
// GoogleTest's own.
#include <gtest/gtest.h>

#include <QApplication>

#include "iconos.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Vemlo");
  QApplication::setApplicationName("Vemlo");
  vemlo::app::prepararIconos();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
