// The baseline of bench-arranque: the least a Qt Widgets program does to show one window of
// the app's size; writes "pintada" to stderr at its first paint.
#include <QApplication>
#include <QWidget>

#include <cstdio>

namespace {

class Ventana : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    if (pintada_) return;
    pintada_ = true;
    std::fprintf(stderr, "pintada\n");
  }

 private:
  bool pintada_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Ventana ventana;
  ventana.resize(1100, 700);
  ventana.show();
  return QApplication::exec();
}
