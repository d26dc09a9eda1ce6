// A second process of the same user: writes the stored token to stdout (for the test that
// started it to compare, never to print), or exits 3 when nothing is stored.
#include <cstdio>

#include "vemlo/sesion.h"

int main() {
  const auto token = vemlo::SesionGuardada::leer();
  if (!token) return 3;
  std::fwrite(token->data(), 1, token->size(), stdout);
  return 0;
}
