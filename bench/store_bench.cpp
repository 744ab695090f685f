// persist() against the durable write it wraps, done inline on the caller's
// thread: what the store's queue, rotation check and hand-over cost.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "store/DurableFile.h"
#include "store/FarmStore.h"

namespace {

std::filesystem::path scratchFolder() {
  static const auto folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "mlfk-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    return std::filesystem::path(pattern);
  }();
  return folder;
}

std::string text(size_t size) {
  std::string t(size, 'x');
  for (size_t i = 0; i < size; i += 97) t[i] = static_cast<char>('a' + i % 26);
  return t;
}

void persist(benchmark::State& state) {
  static mlfk::FarmStore store(scratchFolder() / "store", std::make_shared<mlfk::SystemClock>());
  const std::string bytes = text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    if (store.persist(bytes)) state.SkipWithError("persist failed");
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void floor(benchmark::State& state) {
  const auto target = scratchFolder() / "floor.json";
  const std::string bytes = text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    if (mlfk::writeFileDurably(target, bytes)) state.SkipWithError("write failed");
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void sizes(benchmark::internal::Benchmark* b) {
  for (long size : {1L << 10, 1L << 20, 10L << 20, 100L << 20}) b->Arg(size);
  b->Unit(benchmark::kMillisecond)->Repetitions(9)->UseRealTime();
}

BENCHMARK(persist)->Apply(sizes);
BENCHMARK(floor)->Apply(sizes);

}  // namespace

int main(int argc, char** argv) {
  // fsync times drift with the page cache: interleave the two so both see the same disk.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  mlfk::bench::RatioReporter reporter("persist", "floor");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(scratchFolder());
}
