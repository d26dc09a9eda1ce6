// Test servers on 127.0.0.1: an HTTP server that records what arrived and
// answers as each test says, and a raw TCP server that misbehaves on purpose
// (cuts, stalls, garbage).
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "comun.h"
#include "vemlo/cliente.h"
#include "vemlo/transporte_curl.h"

namespace vemlo::pruebas {

struct PedidoVisto {
  std::string metodo;
  std::string ruta;                              // the request target as sent, query included
  std::map<std::string, std::string> cabeceras;  // names in lower case
  std::string cuerpo;
};

class ServidorHttp {
 public:
  using Responder = std::function<void(const httplib::Request&, httplib::Response&)>;
  explicit ServidorHttp(Responder responder);
  ~ServidorHttp();

  std::string base() const { return "http://127.0.0.1:" + std::to_string(puerto_); }
  std::vector<PedidoVisto> vistos() const;

 private:
  httplib::Server servidor_;
  Responder responder_;
  mutable std::mutex candado_;
  std::vector<PedidoVisto> vistos_;
  int puerto_ = 0;
  std::thread hilo_;
};

// Accepts connections, reads each request's head, writes `respuesta` and then
// closes the connection, or keeps it open silently until destroyed when
// `cerrar` is false.
class ServidorCrudo {
 public:
  ServidorCrudo(std::string respuesta, bool cerrar);
  ~ServidorCrudo();

  std::string base() const { return "http://127.0.0.1:" + std::to_string(puerto_); }

 private:
  void atender();
  std::string respuesta_;
  bool cerrar_;
  int escucha_ = -1;
  int puerto_ = 0;
  int despertar_[2] = {-1, -1};
  std::thread hilo_;
};

// A port on 127.0.0.1 where nothing listens.
int puertoCerrado();

inline Vemlo clienteDe(std::string base, std::optional<std::string> token = "tok") {
  return Vemlo(std::move(base), std::move(token), std::make_shared<TransporteCurl>());
}

// One client operation against a server that answers a body every operation can
// read: the one request it must send. The test is in carpetas_test.cpp, rows
// there and in cuenta_test.cpp.
struct FilaOperacion {
  std::string nombre;
  std::function<void(const Vemlo&)> llamar;
  std::string metodo, ruta;
  std::string cuerpo = {};  // JSON; empty: no body
};

class Operaciones : public testing::TestWithParam<FilaOperacion> {};

}  // namespace vemlo::pruebas
