// Conectividad: whether the device has a usable network path, watched through a netlink
// route socket. Its only reader is the classification of transport failures.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

namespace vemlo {

// Watches links and routes on its own thread and reports, at start and after every change,
// whether a default route exists on an interface that is up.
class MonitorRutas {
 public:
  explicit MonitorRutas(std::function<void(bool satisfecho)> alCambiar);
  ~MonitorRutas();  // stops and joins the thread; no report arrives afterwards
  MonitorRutas(const MonitorRutas&) = delete;
  MonitorRutas& operator=(const MonitorRutas&) = delete;

  // One reading of the current routing state, without watching.
  static bool hayRutaPorDefecto();

 private:
  struct Hilo;
  std::unique_ptr<Hilo> hilo_;
};

class Conectividad {
 public:
  // An instance fed only through `actualizar`; `conRed` starts true.
  Conectividad() = default;
  ~Conectividad();
  Conectividad(const Conectividad&) = delete;
  Conectividad& operator=(const Conectividad&) = delete;

  // The process-wide instance, watching the real routes; created on first use, never destroyed.
  static Conectividad& compartida();

  bool conRed() const;
  // The path-update handler: `satisfecho` is whether a usable path exists now.
  void actualizar(bool satisfecho);

 private:
  mutable std::mutex candado_;  // guards conRed_ only; no other lock is taken under it
  bool conRed_ = true;
  std::unique_ptr<MonitorRutas> monitor_;
};

}  // namespace vemlo
