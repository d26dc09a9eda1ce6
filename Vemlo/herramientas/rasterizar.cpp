// Renders an SVG to square PNGs in a hicolor-style tree, at build time:
// rasterizar <entrada.svg> <carpeta> <tamaño>... writes <carpeta>/<n>x<n>/apps/<nombre>.png.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "uso: rasterizar <entrada.svg> <carpeta> <tamaño>...\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString entrada = QString::fromLocal8Bit(argv[1]);
  const QString nombre = QFileInfo(entrada).completeBaseName();
  for (int i = 3; i < argc; ++i) {
    const int n = QByteArray(argv[i]).toInt();
    QImageReader lector(entrada, "svg");
    lector.setScaledSize(QSize(n, n));
    const QImage imagen = lector.read();
    const QString carpeta =
        QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(n);
    if (n <= 0 || imagen.isNull() || !QDir().mkpath(carpeta) ||
        !imagen.save(QStringLiteral("%1/%2.png").arg(carpeta, nombre))) {
      std::fprintf(stderr, "rasterizar: %s a %d px: %s\n", argv[1], n,
                   qPrintable(lector.errorString()));
      return 1;
    }
  }
  return 0;
}
