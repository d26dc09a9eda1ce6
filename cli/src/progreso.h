// The progress bar of uploads and downloads, drawn on stderr only when stderr is a terminal:
// what is moving, a bar, bytes done of the total, the rate and the time left. Reports may
// come from any thread; drawing is limited to a few times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace vemlo::cli {

class Progreso {
 public:
  // `total` bytes are expected. `visible` false draws nothing (tests, pipes).
  explicit Progreso(std::int64_t total, bool visible = esTerminal());
  // Clears the bar's line.
  ~Progreso();
  Progreso(const Progreso&) = delete;
  Progreso& operator=(const Progreso&) = delete;

  // What is moving now (a file name).
  void etiqueta(std::string texto);
  // Bytes done so far, of all there is.
  void hechos(std::int64_t bytes);
  // Clears the line so that a message can be printed; the next report draws again.
  void limpiar();

  static bool esTerminal();

 private:
  void dibujar(bool forzado);
  std::string linea(int ancho) const;

  std::mutex candado_;  // serialises reports from the transfer threads
  const std::int64_t total_;
  const bool visible_;
  const std::chrono::steady_clock::time_point inicio_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point ultimoDibujo_{};
  std::string etiqueta_;
  std::int64_t hechos_ = 0;
  bool dibujado_ = false;
};

}  // namespace vemlo::cli
