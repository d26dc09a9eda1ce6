// Decoding a folder view of 10,000 files: the whole answer into records by the streaming
// reader, against the bare parse of the same bytes by the same parser with the same checks
// (RapidJSON's reader with a handler that keeps nothing: the floor), nlohmann's own bare parse,
// a plain nlohmann tree, and the tree then records (the old path).
#include <benchmark/benchmark.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include "vemlo/cliente.h"
#include "vemlo/registros.h"

namespace {

std::string vistaDe(int archivos) {
  vemlo::VistaCarpeta vista{"c-raiz", "org-1", "editor", {{"c-raiz", "Acme", true}}, {}, {}};
  for (int i = 0; i < archivos; ++i) {
    vista.archivos.push_back(
        {"a-" + std::to_string(i), "Informe trimestral " + std::to_string(i) + ".pdf", 100000 + i,
         "application/pdf", "2024-05-01T10:20:30.123Z", i % 3 == 0, std::nullopt});
  }
  return vemlo::aJson(vista).dump();
}

const std::string& cuerpo() {
  static const std::string texto = vistaDe(10000);
  return texto;
}

void anotar(benchmark::State& estado) {
  estado.SetBytesProcessed(static_cast<int64_t>(estado.iterations() * cuerpo().size()));
  estado.SetItemsProcessed(static_cast<int64_t>(estado.iterations() * 10000));
}

void SoloAnalizar(benchmark::State& estado) {
  constexpr unsigned reglas =
      rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag;
  for (auto _ : estado) {
    rapidjson::MemoryStream flujo(cuerpo().data(), cuerpo().size());
    rapidjson::BaseReaderHandler<> nada;
    benchmark::DoNotOptimize(rapidjson::Reader().Parse<reglas>(flujo, nada));
  }
  anotar(estado);
}

void SoloAnalizarNlohmann(benchmark::State& estado) {
  for (auto _ : estado) benchmark::DoNotOptimize(nlohmann::json::accept(cuerpo()));
  anotar(estado);
}

void ArbolYRegistros(benchmark::State& estado) {
  for (auto _ : estado)
    benchmark::DoNotOptimize(
        vemlo::desdeJson<vemlo::VistaCarpeta>(nlohmann::json::parse(cuerpo())));
  anotar(estado);
}

void SoloJson(benchmark::State& estado) {
  for (auto _ : estado) benchmark::DoNotOptimize(nlohmann::json::parse(cuerpo()));
  anotar(estado);
}

void VistaCarpeta(benchmark::State& estado) {
  const vemlo::Respuesta respuesta{200, {}, cuerpo()};
  for (auto _ : estado)
    benchmark::DoNotOptimize(vemlo::decodificar<vemlo::VistaCarpeta>(respuesta));
  anotar(estado);
}

}  // namespace

BENCHMARK(SoloAnalizar)->Unit(benchmark::kMillisecond);
BENCHMARK(SoloAnalizarNlohmann)->Unit(benchmark::kMillisecond);
BENCHMARK(SoloJson)->Unit(benchmark::kMillisecond);
BENCHMARK(ArbolYRegistros)->Unit(benchmark::kMillisecond);
BENCHMARK(VistaCarpeta)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
