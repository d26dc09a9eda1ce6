// Entrar: the sign-in screen. It asks for the e-mail address and the password, then for the
// two-step code when the account has one, keeps the typed address as a draft, and hands the
// signed-in account to Estado. The window makes it anew each time it shows it, so all of its
// state is its own and its request ends with it.
#pragma once

#include <QThreadPool>
#include <QWidget>

#include <exception>
#include <optional>
#include <stop_token>
#include <string>

#include "borrador.h"
#include "tarea.h"
#include "vemlo/registros.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;

namespace vemlo::app {

class Estado;

class Entrar : public QWidget {
  Q_OBJECT

 public:
  explicit Entrar(Estado& estado, QWidget* padre = nullptr);
  ~Entrar() override;  // stops the running request and waits for it

 private:
  // The parts of the screen, top to bottom.
  QWidget* crearCabecera();
  QWidget* crearCredenciales();
  QWidget* crearCodigo();
  QWidget* crearError();
  QWidget* crearEnlaces();
  void conectar();
  void ordenarTabulacion();

  // The main button: the step's request, then its answer.
  void enviar();
  void recibirRespuesta(Resultado<RespuestaEntrar> resultado);
  void recibirCuenta(Resultado<Cuenta> resultado);
  void terminar(Cuenta cuenta);
  void fallar(std::exception_ptr fallo);
  void abrir(const QString& ruta);

  // Setters that also show the change.
  void ponerDesafio(std::optional<std::string> desafio);
  void ponerError(std::optional<QString> error);
  void ponerOcupado(bool valor);
  void actualizarAviso();
  void actualizarVerClave();
  void girar();

  Estado& estado_;
  Borrador borrador_;
  std::optional<std::string> desafio_;  // set: the code step
  bool ocupado_ = false;
  int vuelta_ = 0;  // the busy indicator's frame

  QLineEdit* correo_ = nullptr;
  QLabel* aviso_ = nullptr;
  QLineEdit* clave_ = nullptr;
  QToolButton* verClave_ = nullptr;
  QLineEdit* codigo_ = nullptr;
  QToolButton* volver_ = nullptr;
  QWidget* credenciales_ = nullptr;
  QWidget* pasoCodigo_ = nullptr;
  QWidget* cajaError_ = nullptr;
  QLabel* error_ = nullptr;
  QPushButton* entrar_ = nullptr;
  QToolButton* crearCuenta_ = nullptr;
  QToolButton* olvido_ = nullptr;
  QTimer* rueda_ = nullptr;

  std::stop_source parar_;
  QThreadPool pool_;  // last: destroyed first, so it waits for the request before the rest goes
};

}  // namespace vemlo::app
