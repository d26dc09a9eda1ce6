// vemlo-cli as a whole: reads the command line, runs the one command it names and turns
// every way it can end into an exit status and, for failures, a message on stderr.
#pragma once

namespace vemlo::cli {

// The exit status (see fallos.h).
int ejecutar(int argc, char** argv);

}  // namespace vemlo::cli
