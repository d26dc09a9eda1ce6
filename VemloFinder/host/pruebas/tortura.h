// A seeded randomized file-operation tester in the spirit of fsx: it writes, reads, truncates,
// syncs, closes, reopens, renames and unlinks a few files in a folder with plain POSIX calls,
// keeps a model of what each file must hold, and fails on the first disagreement, naming the
// seed so the same sequence can be replayed.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace vemlo::finder::host::pruebas {

// What the operations left: each file's name and bytes, as the model says they must be.
using Contenidos = std::map<std::string, std::string>;

struct Tortura {
  std::uint64_t semilla = 0;
  int operaciones = 300;
  int archivos = 3;                         // names "t0.bin", "t1.bin", ... in `carpeta`
  std::size_t mayorTamano = 256 * 1024;     // file sizes stay at or below this
  std::chrono::milliseconds mayorPausa{0};  // a random pause 0..mayorPausa after each close
};

// Runs the sequence in `carpeta`, which must not hold any of the names yet. Throws
// std::runtime_error whose what() starts with "seed <n>, operation <i>: " (operations count
// from 1; the closing check of every file by path is operation `operaciones` + 1) plus what
// differed, and ends with the last 15 steps done, one a line, when a read, an fstat size or a
// system call disagrees with the model. The pauses come from a second generator, so a seed
// does the same operations whatever `mayorPausa` is.
Contenidos torturar(const std::filesystem::path& carpeta, const Tortura& t);

}  // namespace vemlo::finder::host::pruebas
