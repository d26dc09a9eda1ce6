// The upload bar, the preview window and the player against the reference service: a real
// upload's header and rows, and "Clear"; the preview of a picture turned by its metadata, of
// texts, of PDFs, and of anything else; the player streaming an mp4 from a download link,
// pausing when its window closes. Media are made with the ffmpeg program.
#include <sys/stat.h>

#include <QBuffer>
#include <QDesktopServices>
#include <QLabel>
#include <QListView>
#include <QMediaPlayer>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTextDocument>
#include <QToolButton>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>

#include <fstream>

#include "barra_subidas.h"
#include "comun.h"
#include "reproductor.h"
#include "vista_previa.h"

namespace vemlo::app {
namespace {

namespace fs = std::filesystem;

fs::path enCasa(const std::string& nombre) {
  return fs::path(std::getenv("HOME")) / nombre;
}

fs::path escribir(const std::string& nombre, const QByteArray& bytes) {
  const auto ruta = enCasa(nombre);
  std::ofstream(ruta, std::ios::binary).write(bytes.constData(), bytes.size());
  return ruta;
}

QUrl urlDe(const fs::path& ruta) {
  return QUrl::fromLocalFile(QString::fromStdString(ruta.string()));
}

// Whether a picture has dark marks, as a rendered page's text.
bool conTinta(const QImage& imagen) {
  for (int y = 0; y < imagen.height(); y += 2)
    for (int x = 0; x < imagen.width(); x += 2)
      if (qGray(imagen.pixel(x, y)) < 80) return true;
  return false;
}

void retratar(QWidget& w, const char* nombre) {
  QCoreApplication::processEvents();  // the views lay out their items first
  EXPECT_TRUE(w.grab().save(QStringLiteral("/tmp/vista-%1.png").arg(nombre)));
}

// A JPEG whose pixels are stored red left of blue, with an Exif orientation of 6: a viewer
// turns it a quarter clockwise, red on top.
QByteArray jpegGirado() {
  QImage imagen(40, 20, QImage::Format_RGB32);
  imagen.fill(Qt::blue);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) imagen.setPixel(x, y, qRgb(255, 0, 0));
  QByteArray jpeg;
  QBuffer salida(&jpeg);
  salida.open(QIODevice::WriteOnly);
  imagen.save(&salida, "JPEG", 95);
  // APP1 "Exif": a little-endian TIFF header and one entry, Orientation (0x0112) SHORT 6.
  const QByteArray tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
  const auto cuerpo = QByteArray("Exif\0\0", 6) + tiff;
  QByteArray app1("\xFF\xE1", 2);
  app1.append(static_cast<char>((cuerpo.size() + 2) >> 8))
      .append(static_cast<char>(cuerpo.size() + 2));
  return jpeg.insert(2, app1 + cuerpo);
}

// Without a GPU (offscreen) Qt 6.4's video window paints through a backing store that it never
// frees; the pictures are checked through the player's own output or a sink instead.
void sinVentanaDeVideo(VistaReproductor& vista) {
  vista.video()->hide();
}

// A file made by the ffmpeg program from its lavfi sources and options.
QByteArray conFfmpeg(const std::string& nombre, QStringList opciones) {
  const auto ruta = QString::fromStdString(enCasa(nombre).string());
  QProcess ffmpeg;
  ffmpeg.start("ffmpeg", QStringList{"-v", "error", "-y"} + opciones + QStringList{ruta});
  EXPECT_TRUE(ffmpeg.waitForFinished(60'000));
  EXPECT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
  QFile archivo(ruta);
  EXPECT_TRUE(archivo.open(QIODevice::ReadOnly));
  return archivo.readAll();
}

// A three-second 320×240 video with a tone, that can start playing before it is all there.
QByteArray mp4() {
  return conFfmpeg("clip.mp4",
                   {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=3", "-f", "lavfi",
                    "-i", "sine=frequency=440:duration=3", "-c:v", "libx264", "-pix_fmt", "yuv420p",
                    "-c:a", "aac", "-movflags", "+faststart", "-shortest"});
}

class SubidasEnLaBarra : public ConDemo {
 protected:
  bool terminadas() {
    return esperar([&] {
      return std::ranges::none_of(estado->subidas().filas(),
                                  [](const auto& f) { return f.estado == EstadoSubida::subiendo; });
    });
  }
  FilaSubida::Apariencia fila(int n) { return FilaSubida::apariencia(estado->subidas().index(n)); }
};

TEST_F(SubidasEnLaBarra, CabeceraFilasYLimpiarDeUnaSubidaReal) {
  BarraSubidas barra(*estado);
  barra.resize(520, 10);
  EXPECT_TRUE(barra.isHidden());
  const auto tubo = enCasa("tubo");
  ASSERT_EQ(mkfifo(tubo.c_str(), 0600), 0);  // cannot be read as a file
  estado->subir({escribir("a.txt", "a"), escribir("b.txt", "be"), tubo},
                estado->empresa()->carpetaRaizId);
  EXPECT_FALSE(barra.isHidden());
  EXPECT_EQ(barra.encabezado(), "Uploading 3 of 3");
  EXPECT_TRUE(barra.limpiar()->isHidden());
  EXPECT_EQ(fila(0).avance, 0.0);
  ASSERT_TRUE(terminadas());
  EXPECT_EQ(barra.encabezado(), "Uploads finished");
  EXPECT_FALSE(barra.limpiar()->isHidden());
  EXPECT_TRUE(barra.limpiar()->isFlat());
  EXPECT_EQ(fila(1).nombre, "b.txt");
  EXPECT_FALSE(fila(1).avance);
  EXPECT_EQ(fila(1).simbolo, "checkmark.circle.fill");
  EXPECT_EQ(fila(1).texto, "Uploaded");
  EXPECT_EQ(fila(2).simbolo, "exclamationmark.triangle.fill");
  EXPECT_TRUE(fila(2).texto.contains("tubo")) << fila(2).texto.toStdString();

  // A slow one joins: the header counts it, and the finished rows stay until "Clear".
  ponerFallos(servicio.base(),
              {{{"metodo", "POST"}, {"ruta", "^/v1/subidas$"}, {"demoraMs", 1500}}});
  estado->subir({escribir("lenta.txt", "l")}, estado->empresa()->carpetaRaizId);
  EXPECT_EQ(barra.encabezado(), "Uploading 1 of 4");
  barra.show();
  EXPECT_EQ(barra.lista()->height(), 4 * barra.lista()->sizeHintForRow(0));
  retratar(barra, "subidas");
  ASSERT_TRUE(terminadas());
  QTest::mouseClick(barra.limpiar(), Qt::LeftButton);
  EXPECT_TRUE(estado->subidas().filas().empty());
  EXPECT_TRUE(barra.isHidden());
}

TEST_F(SubidasEnLaBarra, MuchasFilasSinWidgetsYConAlturaTope) {
  BarraSubidas barra(*estado);
  const auto widgets = barra.findChildren<QWidget*>().size();
  std::vector<fs::path> ausentes;
  for (int i = 0; i < 40; ++i) ausentes.push_back(enCasa("no-esta-" + std::to_string(i)));
  estado->subir(ausentes, estado->empresa()->carpetaRaizId);
  ASSERT_TRUE(terminadas());
  EXPECT_EQ(barra.encabezado(), "Uploads finished");
  EXPECT_EQ(barra.findChildren<QWidget*>().size(), widgets);
  EXPECT_EQ(barra.lista()->height(), 5 * barra.lista()->sizeHintForRow(0));
}

class VistaPrevia_ : public ConDemo {
 protected:
  // Fetched by the state as the item actions do: the local copy to preview.
  QUrl delServicio(const std::vector<std::string>& carpetas, const std::string& nombre) {
    auto vista = demo->carpeta(estado->empresa()->carpetaRaizId);
    for (const auto& c : carpetas) vista = demo->carpeta(idCarpeta(vista, c));
    QSignalSpy lista(estado.get(), &Estado::vistaPreviaCambio);
    estado->previsualizar(archivo(vista, nombre));
    EXPECT_TRUE(lista.wait(10'000));
    return estado->vistaPrevia().value_or(QUrl());
  }
};

TEST_F(VistaPrevia_, ImagenGiradaPorSuOrientacionYGrandeReducida) {
  VistaPrevia girada(*estado, urlDe(escribir("girada.jpg", jpegGirado())));
  EXPECT_EQ(girada.clase(), VistaPrevia::Clase::imagen);
  EXPECT_EQ(girada.windowTitle(), "girada.jpg");
  QSignalSpy cargada(&girada, &VistaPrevia::cargada);
  ASSERT_TRUE(cargada.wait());
  ASSERT_EQ(girada.imagen().size(), QSize(20, 40));
  EXPECT_GT(qRed(girada.imagen().pixel(10, 5)), 200);
  EXPECT_GT(qBlue(girada.imagen().pixel(10, 35)), 200);
  girada.show();
  retratar(girada, "imagen");

  QImage enorme(5120, 1000, QImage::Format_RGB32);
  enorme.fill(Qt::darkGreen);
  ASSERT_TRUE(enorme.save(QString::fromStdString(enCasa("enorme.png").string())));
  VistaPrevia grande(*estado, urlDe(enCasa("enorme.png")));
  QSignalSpy otra(&grande, &VistaPrevia::cargada);
  ASSERT_TRUE(otra.wait());
  EXPECT_EQ(grande.imagen().size(), QSize(2560, 500));
}

TEST_F(VistaPrevia_, TextosDelServicioYDeUnMiBComoMucho) {
  VistaPrevia leeme(*estado, delServicio({}, "Léeme.txt"));
  EXPECT_EQ(leeme.clase(), VistaPrevia::Clase::texto);
  QSignalSpy cargada(&leeme, &VistaPrevia::cargada);
  ASSERT_TRUE(cargada.wait());
  auto* editor = qobject_cast<QPlainTextEdit*>(leeme.contenido());
  ASSERT_TRUE(editor);
  EXPECT_TRUE(editor->isReadOnly());
  EXPECT_TRUE(editor->toPlainText().startsWith("Bienvenida a Vemlo."))
      << editor->toPlainText().toStdString();
  leeme.show();
  retratar(leeme, "texto");

  VistaPrevia json(*estado, urlDe(escribir("datos.json", "{\"a\": 1}")));
  EXPECT_EQ(json.clase(), VistaPrevia::Clase::texto);
  const QByteArray linea(1023, 'x');
  VistaPrevia largo(*estado, urlDe(escribir("largo.txt", (linea + '\n').repeated(1536))));
  QSignalSpy otra(&largo, &VistaPrevia::cargada);
  ASSERT_TRUE(otra.wait());
  const auto* texto = qobject_cast<QPlainTextEdit*>(largo.contenido());
  EXPECT_EQ(texto->document()->blockCount(), 1025);  // 1024 whole lines, nothing of the rest
  EXPECT_EQ(texto->toPlainText().size(), 1 << 20);
}

TEST_F(VistaPrevia_, PdfDelServicioYDeVariasPaginas) {
  VistaPrevia q1(*estado, delServicio({"Informes", "2026"}, "q1.pdf"));
  EXPECT_EQ(q1.clase(), VistaPrevia::Clase::pdf);
  EXPECT_EQ(q1.findChild<QObject*>("documento")->property("pageCount"), 1);

  const auto ruta = QString::fromStdString(enCasa("tres.pdf").string());
  {
    QPdfWriter pdf(ruta);
    QPainter pintor(&pdf);
    for (int pagina = 1; pagina <= 3; ++pagina) {
      if (pagina > 1) pdf.newPage();
      pintor.setFont(QFont("DejaVu Sans", 40));
      pintor.drawText(QPointF(500, 1500), QStringLiteral("Página %1").arg(pagina));
    }
  }
  VistaPrevia tres(*estado, QUrl::fromLocalFile(ruta));
  EXPECT_EQ(tres.clase(), VistaPrevia::Clase::pdf);
  EXPECT_EQ(tres.findChild<QObject*>("documento")->property("pageCount"), 3);
  EXPECT_EQ(tres.contenido()->property("pageMode").toInt(), 1);  // MultiPage
  tres.show();
  EXPECT_TRUE(esperar([&] { return conTinta(tres.grab().toImage()); }));  // pages rendered
  retratar(tres, "pdf");
}

// Opens a file: URL as the desktop would, and remembers it.
class Abridor : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> abiertas;

 public slots:
  void abrir(const QUrl& url) { abiertas << url; }
};

TEST_F(VistaPrevia_, OtroTipoOfreceSuPrograma) {
  const auto url =
      urlDe(escribir("datos.bin", QByteArray("\x00\x01\x02\xff\xfe", 5).repeated(100)));
  {
    VistaPrevia sinPrograma(*estado, url);
    EXPECT_EQ(sinPrograma.clase(), VistaPrevia::Clase::otro);
    auto* boton = sinPrograma.findChild<QPushButton*>("abrirConSuPrograma");
    ASSERT_TRUE(boton);
    EXPECT_EQ(boton->text(), "Open with its app");
    sinPrograma.show();
    QTest::mouseClick(boton, Qt::LeftButton);  // offscreen, nothing opens files
    EXPECT_TRUE(sinPrograma.isVisible());
    retratar(sinPrograma, "otro");
    QSignalSpy cerrada(&sinPrograma, &QDialog::finished);
    QTest::keyClick(&sinPrograma, Qt::Key_Escape);
    EXPECT_EQ(cerrada.size(), 1);
  }
  Abridor abridor;
  QDesktopServices::setUrlHandler("file", &abridor, "abrir");
  VistaPrevia conPrograma(*estado, url);
  conPrograma.show();
  QSignalSpy cerrada(&conPrograma, &QDialog::finished);
  QTest::mouseClick(conPrograma.findChild<QPushButton*>("abrirConSuPrograma"), Qt::LeftButton);
  QDesktopServices::unsetUrlHandler("file");
  EXPECT_EQ(abridor.abiertas, QList<QUrl>{url});
  EXPECT_EQ(cerrada.size(), 1);
}

TEST_F(VistaPrevia_, VideoYSonidoEnElReproductor) {
  mp4();
  const auto url = urlDe(enCasa("clip.mp4"));
  VistaPrevia video(*estado, url);
  EXPECT_EQ(video.clase(), VistaPrevia::Clase::medio);
  auto* vista = qobject_cast<VistaReproductor*>(video.contenido());
  ASSERT_TRUE(vista);
  EXPECT_EQ(vista->reproductor()->source(), url);
  sinVentanaDeVideo(*vista);
  video.show();
  EXPECT_TRUE(esperar([&] { return vista->reproductor()->position() > 300; }));
  video.close();
  EXPECT_EQ(vista->reproductor()->playbackState(), QMediaPlayer::PausedState);

  conFfmpeg("tono.mp3", {"-f", "lavfi", "-i", "sine=frequency=440:duration=2"});
  VistaPrevia sonido(*estado, urlDe(enCasa("tono.mp3")));
  EXPECT_EQ(sonido.clase(), VistaPrevia::Clase::medio);
  sinVentanaDeVideo(*qobject_cast<VistaReproductor*>(sonido.contenido()));
  sonido.show();
  // Without a sound device nothing plays it; once read, it is known to have no picture.
  EXPECT_TRUE(esperar([&] { return sonido.findChild<QLabel*>("sonido")->isVisible(); }));
  EXPECT_FALSE(sonido.findChild<QToolButton*>("pantallaCompleta")->isEnabled());
  retratar(sonido, "sonido");
}

class Reproductor_ : public ConDemo {};

TEST_F(Reproductor_, ReproduceUnMp4DelServicioYPausaAlCerrar) {
  const auto raiz = estado->empresa()->carpetaRaizId;
  const auto bytes = mp4();
  subir(*demo, raiz, "clip.mp4", bytes.toStdString(), "video/mp4");
  QSignalSpy lista(estado.get(), &Estado::reproduccionCambio);
  estado->reproducir(archivo(demo->carpeta(raiz), "clip.mp4"));
  ASSERT_TRUE(lista.wait(10'000));
  ASSERT_TRUE(estado->reproduccion());
  EXPECT_EQ(estado->reproduccion()->url.scheme(), "http");

  QList<QSize> cuadros;
  QVideoSink sumidero;
  Reproductor dialogo(*estado->reproduccion());
  EXPECT_EQ(dialogo.windowTitle(), "clip.mp4");
  EXPECT_GE(dialogo.minimumWidth(), 720);
  EXPECT_GE(dialogo.minimumHeight(), 420);
  QObject::connect(&sumidero, &QVideoSink::videoFrameChanged, &sumidero,
                   [&](const QVideoFrame& f) { cuadros << f.size(); });
  dialogo.reproductor()->setVideoSink(&sumidero);
  sinVentanaDeVideo(*dialogo.vista());
  dialogo.show();
  auto* reproductor = dialogo.reproductor();
  ASSERT_TRUE(esperar([&] { return cuadros.size() >= 10 && reproductor->position() > 500; }))
      << reproductor->errorString().toStdString();
  EXPECT_EQ(cuadros.last(), QSize(320, 240));
  EXPECT_NEAR(reproductor->duration(), 3000, 100);
  EXPECT_EQ(dialogo.findChild<QSlider*>("posicion")->maximum(), reproductor->duration());
  EXPECT_EQ(reproductor->playbackState(), QMediaPlayer::PlayingState);
  EXPECT_EQ(dialogo.findChild<QToolButton*>("reproducirPausar")->accessibleName(), "Pause");
  EXPECT_EQ(dialogo.findChild<QToolButton*>("pantallaCompleta")->accessibleName(), "Full screen");
  retratar(dialogo, "reproductor");

  QTest::mouseClick(dialogo.findChild<QPushButton*>(), Qt::LeftButton);  // "Close"
  EXPECT_FALSE(dialogo.isVisible());
  EXPECT_EQ(reproductor->playbackState(), QMediaPlayer::PausedState);
  const auto detenido = reproductor->position();
  EXPECT_FALSE(QTest::qWaitFor([&] { return reproductor->position() > detenido; }, 600));
}

}  // namespace
}  // namespace vemlo::app

#include "vista_test.moc"
