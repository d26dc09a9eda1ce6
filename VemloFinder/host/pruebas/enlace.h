// A slow link for the mount tests: a loopback TCP relay in front of the service that passes
// its answers at a limited rate, so that a download is still running while a test reads, and
// that the test can cut (every connection closes at once, new ones too) and mend.
#pragma once

#include <atomic>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace vemlo::finder::host::pruebas {

class EnlaceLento {
 public:
  EnlaceLento(int puertoServicio, std::size_t bytesPorSegundo);
  ~EnlaceLento();  // cuts, and waits for every connection's thread
  EnlaceLento(const EnlaceLento&) = delete;
  EnlaceLento& operator=(const EnlaceLento&) = delete;

  // "http://127.0.0.1:PORT", the relay's own address.
  std::string base() const;
  void cortar() { cortado_ = true; }
  void reparar() { cortado_ = false; }

 private:
  void aceptar(std::stop_token parar);
  void pasar(int cliente, std::stop_token parar);

  const int puertoServicio_;
  const std::size_t bytesPorSegundo_;
  int escucha_ = -1;
  int puerto_ = 0;
  std::atomic<bool> cortado_ = false;
  std::mutex candado_;  // guards conexiones_
  std::list<std::jthread> conexiones_;
  std::jthread aceptador_;  // last: it starts the connections' threads
};

}  // namespace vemlo::finder::host::pruebas
