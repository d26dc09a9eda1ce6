// Start-up timing for the start benchmark: with VEMLO_MEDIR_ARRANQUE set, the app writes one
// line to stderr at each first of three paints: "pintada" (the window), "principal" (the
// signed-in screen) and "listado" (a list of the signed-in screen with its first rows).
#pragma once

class QApplication;

namespace vemlo::app {

// Watches the app's paints when VEMLO_MEDIR_ARRANQUE is set; else does nothing.
void medirArranqueSiSePide(QApplication& app);

}  // namespace vemlo::app
