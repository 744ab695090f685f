// The page's start-up work in the shell against plain copies of the same
// bytes: the bootstrap script for a 50 MB database (read and Base64) against
// reading the file and copying it once, and serving files through the
// scheme handler against reading them directly.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "RatioReporter.h"
#include "store/DurableFile.h"
#include "webhost/Bootstrap.h"
#include "webhost/BundleSchemeHandler.h"

namespace {

const std::filesystem::path& scratch() {
  static const auto folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "mlfk-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    std::filesystem::path root(pattern);
    std::filesystem::create_directories(root / "web" / "small");
    auto write = [](const std::filesystem::path& file, size_t size) {
      std::string bytes(size, 'x');
      for (size_t i = 0; i < size; i += 61) bytes[i] = static_cast<char>(i);
      std::ofstream(file, std::ios::binary) << bytes;
    };
    write(root / "farm-data.json", 50u << 20);
    write(root / "web" / "big.js", 5u << 20);
    for (int i = 0; i < 200; ++i)
      write(root / "web" / "small" / (std::to_string(i) + ".css"), 2048);
    return root;
  }();
  return folder;
}

void shellBootstrap(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(mlfk::bootstrapScriptForFile(scratch() / "farm-data.json"));
}
void floorBootstrap(benchmark::State& state) {
  for (auto _ : state) {
    auto bytes = mlfk::readWholeFile(scratch() / "farm-data.json");
    std::string copy(*bytes);
    benchmark::DoNotOptimize(copy);
  }
}
void shellServeBig(benchmark::State& state) {
  mlfk::BundleSchemeHandler handler(scratch() / "web");
  for (auto _ : state) benchmark::DoNotOptimize(handler.respond("meadowline-farm://app/big.js"));
}
void floorServeBig(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(mlfk::readWholeFile(scratch() / "web" / "big.js"));
}
void shellServeSmall(benchmark::State& state) {
  mlfk::BundleSchemeHandler handler(scratch() / "web");
  for (auto _ : state)
    for (int i = 0; i < 200; ++i)
      benchmark::DoNotOptimize(
          handler.respond("meadowline-farm://app/small/" + std::to_string(i) + ".css"));
}
void floorServeSmall(benchmark::State& state) {
  for (auto _ : state)
    for (int i = 0; i < 200; ++i)
      benchmark::DoNotOptimize(
          mlfk::readWholeFile(scratch() / "web" / "small" / (std::to_string(i) + ".css")));
}

BENCHMARK(shellBootstrap)
    ->Name("shell/bootstrap-50MB")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7);
BENCHMARK(floorBootstrap)
    ->Name("floor/bootstrap-50MB")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7);
BENCHMARK(shellServeBig)->Name("shell/serve-5MB")->Unit(benchmark::kMillisecond)->Repetitions(7);
BENCHMARK(floorServeBig)->Name("floor/serve-5MB")->Unit(benchmark::kMillisecond)->Repetitions(7);
BENCHMARK(shellServeSmall)
    ->Name("shell/serve-200-small")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7);
BENCHMARK(floorServeSmall)
    ->Name("floor/serve-200-small")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  scratch();
  mlfk::bench::RatioReporter reporter("shell", "floor");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(scratch());
}
