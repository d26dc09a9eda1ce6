// The screens' tests run inside a QApplication on the offscreen platform, with the app's
// names (its settings) and the icon theme the app itself sets up; this main wins over
// GoogleTest's own.
#include <gtest/gtest.h>

#include <QApplication>

#include "iconos.h"

// Allocations that live as long as the process, in the libraries under the player and the
// PDF view: glib's and PulseAudio's (GStreamer's device monitor), the scroller's gesture
// recognizer that Qt never frees when no gesture was made, and the PDF renderer's thread
// object, never deleted. None is ours; the rest of the program is still checked.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libglib-2.0\nleak:libpulse\nleak:QScroller::grabGesture\n"
         "leak:QPdfPageRenderer::setRenderMode\n";
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Vemlo");
  QApplication::setApplicationName("Vemlo");
  vemlo::app::prepararIconos();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
