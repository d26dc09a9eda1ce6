// The sign-in screen: a centred column with the header, the step's fields, the error, the main
// button and the two web links; the requests run on the screen's own pool and come back to it.
#include "entrar.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>
#include <variant>

#include "estado.h"
#include "iconos.h"
#include "textos.h"
#include "vemlo/error.h"
#include "vemlo/mensajes.h"
#include "web.h"

namespace vemlo::app {
namespace {

constexpr int kAncho = 340;  // the form's width
constexpr int kLogo = 96;

QColor mezcla(const QColor& a, const QColor& b, qreal cuanto) {
  return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * cuanto,
                          a.greenF() + (b.greenF() - a.greenF()) * cuanto,
                          a.blueF() + (b.blueF() - a.blueF()) * cuanto);
}

// The error's box: a rounded panel a shade apart from the window, painted from the current
// palette so that it follows a light or dark theme.
class Caja : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter pintor(this);
    pintor.setRenderHint(QPainter::Antialiasing);
    const auto fondo = palette().color(QPalette::Window);
    const auto tinta = palette().color(QPalette::WindowText);
    pintor.setPen(mezcla(fondo, tinta, 0.2));
    pintor.setBrush(mezcla(fondo, tinta, 0.06));
    pintor.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
  }
};

QFont letra(QFont base, qreal factor, QFont::Weight peso) {
  base.setPointSizeF(base.pointSizeF() * factor);
  base.setWeight(peso);
  return base;
}

QLabel* etiqueta(const QString& texto, const char* nombre, QWidget* padre) {
  auto* label = new QLabel(texto, padre);
  label->setObjectName(nombre);
  label->setWordWrap(true);
  return label;
}

// Secondary text: the theme's dimmed colour.
QLabel* atenuada(const QString& texto, const char* nombre, QWidget* padre) {
  auto* label = etiqueta(texto, nombre, padre);
  label->setForegroundRole(QPalette::PlaceholderText);
  return label;
}

QLineEdit* campo(const QString& indicacion, const char* nombre, QWidget* padre) {
  auto* linea = new QLineEdit(padre);
  linea->setObjectName(nombre);
  linea->setPlaceholderText(indicacion);
  linea->setAccessibleName(indicacion);
  linea->setMinimumHeight(34);
  return linea;
}

// A button that reads as a link: as wide as its text, flat until pointed at, in the theme's
// link colour, and reachable with Tab.
QToolButton* enlace(const QString& texto, const char* nombre, QWidget* padre) {
  auto* boton = new QToolButton(padre);
  boton->setObjectName(nombre);
  boton->setText(texto);
  boton->setAutoRaise(true);
  boton->setFocusPolicy(Qt::StrongFocus);
  boton->setCursor(Qt::PointingHandCursor);
  auto paleta = boton->palette();
  paleta.setColor(QPalette::ButtonText, paleta.color(QPalette::Link));
  boton->setPalette(paleta);
  return boton;
}

// The main button, filled with the theme's accent (the highlight) behind highlighted text,
// drawn here so that every widget style shows it as the prominent action.
class BotonPrincipal : public QPushButton {
 public:
  BotonPrincipal(const QString& texto, QWidget* padre) : QPushButton(texto, padre) {
    setAttribute(Qt::WA_Hover);
    setDefault(true);
    setMinimumHeight(36);
    setFont(letra(font(), 1.0, QFont::DemiBold));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter pintor(this);
    pintor.setRenderHint(QPainter::Antialiasing);
    const auto tinta = palette().color(QPalette::Active, QPalette::HighlightedText);
    pintor.setPen(Qt::NoPen);
    pintor.setBrush(fondo());
    pintor.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    if (hasFocus()) {
      pintor.setPen(QPen(tinta, 1.5));
      pintor.setBrush(Qt::NoBrush);
      pintor.drawRoundedRect(QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5), 4, 4);
    }
    const int anchoIcono = icon().isNull() ? 0 : iconSize().width() + 8;
    const int anchoTexto = fontMetrics().horizontalAdvance(text());
    const int x = (width() - anchoIcono - anchoTexto) / 2;
    const QRect zonaIcono(QPoint(x, (height() - iconSize().height()) / 2), iconSize());
    icon().paint(&pintor, zonaIcono, Qt::AlignCenter, QIcon::Normal);
    pintor.setPen(isEnabled() ? tinta : mezcla(tinta, fondo(), 0.3));
    pintor.drawText(QRect(x + anchoIcono, 0, anchoTexto, height()), Qt::AlignVCenter, text());
  }

 private:
  QColor fondo() const {
    const auto acento = palette().color(QPalette::Active, QPalette::Highlight);
    if (!isEnabled()) return mezcla(acento, palette().color(QPalette::Window), 0.35);
    if (isDown()) return acento.darker(115);
    return underMouse() ? acento.lighter(108) : acento;
  }
};

// One frame of the busy indicator: three quarters of a ring, turned by `vuelta` twelfths.
QIcon rueda(int vuelta, const QColor& color, qreal escala) {
  QPixmap lienzo(QSize(16, 16) * escala);
  lienzo.setDevicePixelRatio(escala);
  lienzo.fill(Qt::transparent);
  QPainter pintor(&lienzo);
  pintor.setRenderHint(QPainter::Antialiasing);
  pintor.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap));
  pintor.drawArc(QRectF(2, 2, 12, 12), -vuelta * 30 * 16, 270 * 16);
  pintor.end();
  return QIcon(lienzo);
}

}  // namespace

Entrar::Entrar(Estado& estado, QWidget* padre)
    : QWidget(padre), estado_(estado), rueda_(new QTimer(this)) {
  pool_.setMaxThreadCount(2);
  auto* forma = new QWidget(this);
  forma->setFixedWidth(kAncho);
  auto* columna = new QVBoxLayout(forma);
  columna->setContentsMargins(0, 0, 0, 0);
  columna->setSpacing(12);
  columna->addWidget(crearCabecera());
  columna->addSpacing(20);
  columna->addWidget(crearCredenciales());
  columna->addWidget(crearCodigo());
  columna->addWidget(crearError());
  entrar_ = new BotonPrincipal(texto("Sign in", "Entrar"), forma);
  entrar_->setObjectName("entrar");
  columna->addWidget(entrar_);
  columna->addWidget(crearEnlaces());
  auto* capas = new QVBoxLayout(this);
  capas->addStretch();
  auto* fila = new QHBoxLayout;
  fila->addStretch();
  fila->addWidget(forma);
  fila->addStretch();
  capas->addLayout(fila);
  capas->addStretch();
  conectar();
  ordenarTabulacion();
  actualizarAviso();
  (correo_->text().isEmpty() ? correo_ : clave_)->setFocus();
}

Entrar::~Entrar() {
  parar_.request_stop();
  pool_.waitForDone();
}

QWidget* Entrar::crearCabecera() {
  auto* cabecera = new QWidget(this);
  auto* capas = new QVBoxLayout(cabecera);
  capas->setContentsMargins(0, 0, 0, 0);
  capas->setSpacing(6);
  auto* logo = new QLabel(cabecera);
  logo->setObjectName("logo");
  logo->setPixmap(iconoDeLaApp().pixmap(kLogo, kLogo));
  auto* nombre = etiqueta(QStringLiteral("Vemlo"), "nombre", cabecera);
  nombre->setFont(letra(font(), 2.4, QFont::Bold));
  auto* lema = atenuada(texto("Your company's files, on every device.",
                              "Los archivos de tu empresa, en todos tus equipos."),
                        "lema", cabecera);
  for (auto* label : {logo, nombre, lema}) {
    label->setAlignment(Qt::AlignHCenter);
    capas->addWidget(label);
  }
  return cabecera;
}

QWidget* Entrar::crearCredenciales() {
  credenciales_ = new QWidget(this);
  auto* capas = new QVBoxLayout(credenciales_);
  capas->setContentsMargins(0, 0, 0, 0);
  auto* titulo = etiqueta(texto("Sign in", "Entrar"), "titulo", credenciales_);
  titulo->setFont(letra(font(), 1.3, QFont::DemiBold));
  capas->addWidget(titulo);
  correo_ = campo(texto("Email", "Correo electrónico"), "correo", credenciales_);
  correo_->setText(borrador_.leer());
  correo_->setInputMethodHints(Qt::ImhEmailCharactersOnly | Qt::ImhNoAutoUppercase);
  capas->addWidget(correo_);
  aviso_ = atenuada(Borrador::aviso(), "aviso", credenciales_);
  capas->addWidget(aviso_);
  clave_ = campo(texto("Password", "Contraseña"), "clave", credenciales_);
  verClave_ = new QToolButton(credenciales_);
  verClave_->setObjectName("verClave");
  verClave_->setCheckable(true);
  verClave_->setFocusPolicy(Qt::StrongFocus);
  verClave_->setFixedSize(34, 34);
  auto* fila = new QHBoxLayout;
  fila->setSpacing(6);
  fila->addWidget(clave_);
  fila->addWidget(verClave_);
  capas->addLayout(fila);
  actualizarVerClave();
  return credenciales_;
}

QWidget* Entrar::crearCodigo() {
  pasoCodigo_ = new QWidget(this);
  auto* capas = new QVBoxLayout(pasoCodigo_);
  capas->setContentsMargins(0, 0, 0, 0);
  auto* titulo = etiqueta(texto("Two-step verification", "Verificación en dos pasos"),
                          "tituloCodigo", pasoCodigo_);
  titulo->setFont(letra(font(), 1.3, QFont::DemiBold));
  capas->addWidget(titulo);
  capas->addWidget(
      atenuada(texto("Type the 6-digit code from your authenticator app, or a backup code.",
                     "Escribe el código de 6 números de tu app autenticadora, o uno de respaldo."),
               "explicacion", pasoCodigo_));
  codigo_ = campo(texto("Code", "Código"), "codigo", pasoCodigo_);
  codigo_->setInputMethodHints(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
  capas->addWidget(codigo_);
  volver_ = enlace(texto("Back", "Volver"), "volver", pasoCodigo_);
  capas->addWidget(volver_, 0, Qt::AlignLeft);
  pasoCodigo_->hide();
  return pasoCodigo_;
}

QWidget* Entrar::crearError() {
  cajaError_ = new Caja(this);
  cajaError_->setObjectName("cajaError");
  auto* capas = new QHBoxLayout(cajaError_);
  capas->setContentsMargins(12, 10, 12, 10);
  capas->setSpacing(10);
  auto* simbolo = new QLabel(cajaError_);
  simbolo->setPixmap(icono("exclamationmark.triangle.fill").pixmap(20, 20));
  capas->addWidget(simbolo, 0, Qt::AlignTop);
  error_ = etiqueta(QString(), "error", cajaError_);
  error_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  capas->addWidget(error_, 1);
  cajaError_->hide();
  return cajaError_;
}

QWidget* Entrar::crearEnlaces() {
  auto* enlaces = new QWidget(this);
  auto* capas = new QHBoxLayout(enlaces);
  capas->setContentsMargins(0, 0, 0, 0);
  crearCuenta_ = enlace(texto("Create an account", "Crear una cuenta"), "crearCuenta", enlaces);
  olvido_ = enlace(texto("Forgot your password?", "¿Olvidaste tu contraseña?"), "olvido", enlaces);
  capas->addWidget(crearCuenta_);
  capas->addStretch();
  capas->addWidget(olvido_);
  return enlaces;
}

void Entrar::conectar() {
  connect(correo_, &QLineEdit::textChanged, this, [this](const QString& texto) {
    borrador_.guardar(texto);
    actualizarAviso();
  });
  connect(clave_, &QLineEdit::textChanged, this, &Entrar::actualizarAviso);
  connect(verClave_, &QToolButton::toggled, this, &Entrar::actualizarVerClave);
  for (auto* linea : {correo_, clave_, codigo_})
    connect(linea, &QLineEdit::returnPressed, this, &Entrar::enviar);
  connect(entrar_, &QPushButton::clicked, this, &Entrar::enviar);
  connect(volver_, &QToolButton::clicked, this, [this] { ponerDesafio(std::nullopt); });
  connect(crearCuenta_, &QToolButton::clicked, this, [this] { abrir(QStringLiteral("signup")); });
  connect(olvido_, &QToolButton::clicked, this,
          [this] { abrir(QStringLiteral("forgot-password")); });
  connect(rueda_, &QTimer::timeout, this, &Entrar::girar);
  rueda_->setInterval(80);
}

// Hidden widgets are skipped, so one chain serves both steps.
void Entrar::ordenarTabulacion() {
  QWidget* const orden[] = {correo_, clave_,  verClave_,    codigo_,
                            volver_, entrar_, crearCuenta_, olvido_};
  for (std::size_t i = 1; i < std::size(orden); ++i) setTabOrder(orden[i - 1], orden[i]);
}

void Entrar::enviar() {
  if (ocupado_) return;
  ponerOcupado(true);
  ponerError(std::nullopt);
  const auto parar = parar_.get_token();
  if (desafio_)
    return lanzar(
        pool_, this,
        [api = estado_.anonimo(), desafio = *desafio_,
         codigo = codigo_->text().trimmed().toStdString(),
         parar] { return api.confirmarCodigo(desafio, codigo, parar); },
        [this](Resultado<Cuenta> resultado) { recibirCuenta(std::move(resultado)); });
  lanzar(
      pool_, this,
      [api = estado_.anonimo(), correo = correo_->text().trimmed().toStdString(),
       clave = clave_->text().toStdString(), parar] { return api.entrar(correo, clave, parar); },
      [this](Resultado<RespuestaEntrar> resultado) { recibirRespuesta(std::move(resultado)); });
}

void Entrar::recibirRespuesta(Resultado<RespuestaEntrar> resultado) {
  ponerOcupado(false);
  if (resultado.fallo) return fallar(resultado.fallo);
  auto& respuesta = resultado.valor->valor;
  if (auto* lista = std::get_if<RespuestaEntrar::Lista>(&respuesta))
    return terminar(std::move(lista->cuenta));
  ponerDesafio(std::get<RespuestaEntrar::Codigo>(respuesta).desafio);
  codigo_->setFocus();
}

void Entrar::recibirCuenta(Resultado<Cuenta> resultado) {
  ponerOcupado(false);
  if (resultado.fallo) return fallar(resultado.fallo);
  terminar(std::move(*resultado.valor));
}

// Only an account that carries its token signs in; the draft goes once it did.
void Entrar::terminar(Cuenta cuenta) {
  if (!cuenta.token) return ponerError(QString::fromStdString(mensaje("formato", enEspanol())));
  borrador_.borrar();
  clave_->clear();
  auto token = *cuenta.token;
  estado_.iniciar(std::move(token), std::move(cuenta));
}

// A cancellation says nothing; anything else is shown, with the field to fix selected.
void Entrar::fallar(std::exception_ptr fallo) {
  if (esCancelacion(fallo)) return;
  ponerError(descripcionDe(fallo));
  auto* arreglar = desafio_ ? codigo_ : clave_;
  arreglar->setFocus();
  arreglar->selectAll();
}

void Entrar::abrir(const QString& ruta) {
  const auto url = paginaWeb(estado_.base(), ruta);
  if (QDesktopServices::openUrl(url)) return;
  ponerError(texto("No application could open %1.", "Ninguna aplicación pudo abrir %1.")
                 .arg(url.toString()));
}

void Entrar::ponerDesafio(std::optional<std::string> desafio) {
  desafio_ = std::move(desafio);
  credenciales_->setVisible(!desafio_);
  pasoCodigo_->setVisible(desafio_.has_value());
  if (!desafio_) correo_->setFocus();
}

void Entrar::ponerError(std::optional<QString> error) {
  error_->setText(error.value_or(QString()));
  cajaError_->setVisible(error.has_value());
}

// While a request runs the main button turns a ring before its label and takes no clicks.
void Entrar::ponerOcupado(bool valor) {
  ocupado_ = valor;
  entrar_->setEnabled(!valor);
  volver_->setEnabled(!valor);
  if (!valor) {
    rueda_->stop();
    entrar_->setIcon(QIcon());
    return;
  }
  vuelta_ = 0;
  girar();
  rueda_->start();
}

void Entrar::girar() {
  const auto color = entrar_->palette().color(QPalette::HighlightedText);
  entrar_->setIcon(rueda(vuelta_++, color, devicePixelRatioF()));
}

void Entrar::actualizarAviso() {
  aviso_->setVisible(borrador_.avisar(correo_->text(), clave_->text()));
}

void Entrar::actualizarVerClave() {
  const bool ver = verClave_->isChecked();
  clave_->setEchoMode(ver ? QLineEdit::Normal : QLineEdit::Password);
  verClave_->setIcon(icono(ver ? "eye.slash" : "eye"));
  const auto ayuda = ver ? texto("Hide password", "Ocultar la contraseña")
                         : texto("Show password", "Ver la contraseña");
  verClave_->setToolTip(ayuda);
  verClave_->setAccessibleName(ayuda);
}

}  // namespace vemlo::app
