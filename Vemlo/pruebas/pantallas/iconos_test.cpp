// Every symbol, the app's icon and the tray's have a drawing of our own, with no icon theme at
// all; and the desktop entry passes desktop-file-validate.
#include <gtest/gtest.h>

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QProcess>

#include "iconos.h"

namespace {

// Whether the icon's 32 px pixmap shows anything.
bool tieneDibujo(const QIcon& icono) {
  if (icono.isNull()) return false;
  const QImage imagen = icono.pixmap(32).toImage();
  for (int y = 0; y < imagen.height(); ++y)
    for (int x = 0; x < imagen.width(); ++x)
      if (qAlpha(imagen.pixel(x, y)) > 0) return true;
  return false;
}

class Iconos : public testing::Test {
 protected:
  void SetUp() override {
    tema_ = QIcon::themeName();
    respaldo_ = QIcon::fallbackThemeName();
    QIcon::setThemeName(QStringLiteral("vemlo-tema-inexistente"));
    QIcon::setFallbackThemeName(QStringLiteral("vemlo-tema-inexistente"));
  }
  void TearDown() override {
    QIcon::setThemeName(tema_);
    QIcon::setFallbackThemeName(respaldo_);
  }

 private:
  QString tema_, respaldo_;
};

TEST_F(Iconos, CadaSimboloTieneSuDibujo) {
  ASSERT_FALSE(vemlo::app::simbolos().isEmpty());
  for (const auto& simbolo : vemlo::app::simbolos()) {
    SCOPED_TRACE(simbolo.toStdString());
    const auto nombre = vemlo::app::nombreEnTema(simbolo);
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/iconos/%1.svg").arg(nombre)));
    EXPECT_TRUE(tieneDibujo(vemlo::app::icono(simbolo)));
  }
}

TEST_F(Iconos, LaAppYLaBandejaTienenSuDibujo) {
  EXPECT_TRUE(tieneDibujo(vemlo::app::iconoDeLaApp()));
  EXPECT_TRUE(tieneDibujo(vemlo::app::iconoDeBandeja(false)));
  EXPECT_TRUE(tieneDibujo(vemlo::app::iconoDeBandeja(true)));
}

TEST_F(Iconos, ElArchivoDeEscritorioEsValido) {
  QProcess validador;
  validador.setProcessChannelMode(QProcess::MergedChannels);
  validador.start(QStringLiteral("desktop-file-validate"),
                  {QStringLiteral(VEMLO_ARCHIVO_ESCRITORIO)});
  ASSERT_TRUE(validador.waitForFinished(30000)) << validador.errorString().toStdString();
  const auto salida = validador.readAll().toStdString();
  EXPECT_EQ(validador.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(validador.exitCode(), 0) << salida;
  EXPECT_EQ(salida, "");
}

}  // namespace
