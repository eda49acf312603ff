// Throughput of the ANSI code page conversions the engine runs on every string read and write.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/text/codepage.h"
#include "platform/text/convert.h"

namespace {

// A mix of ASCII, half-width katakana and double-byte text, repeated and cut to `size` bytes
// (a cut may split a double-byte character, as a read from the line can).
std::string SampleBytes(std::size_t size) {
  const std::string piece = "VS:1.23 \xB6\xB0\xC4\xDE \x83\x4A\x81\x5B\x83\x68 \x87\x40 OK\r\n";
  std::string out;
  while (out.size() < size) out += piece;
  out.resize(size);
  return out;
}

void BM_AnsiToWide(benchmark::State& state) {
  win::SetActiveCodePageForTesting(932);
  const std::string bytes = SampleBytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(win::AnsiToWide(bytes));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_AnsiToWide)->Arg(16)->Arg(164)->Arg(4096);

void BM_WideToAnsi(benchmark::State& state) {
  win::SetActiveCodePageForTesting(932);
  const std::u16string text =
      win::AnsiToWide(SampleBytes(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(win::WideToAnsi(text));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_WideToAnsi)->Arg(16)->Arg(164)->Arg(4096);

// The platform-style call pair: size query, then the conversion into a buffer.
void BM_MultiByteToWideCharPair(benchmark::State& state) {
  const std::string bytes = SampleBytes(164);
  std::u16string out(bytes.size(), u'\0');
  for (auto _ : state) {
    int n =
        win::MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    benchmark::DoNotOptimize(win::MultiByteToWideChar(
        932, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_MultiByteToWideCharPair);

void BM_AnsiToWideThreads(benchmark::State& state) {
  const std::string bytes = SampleBytes(164);
  for (auto _ : state) benchmark::DoNotOptimize(win::AnsiToWide(bytes));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_AnsiToWideThreads)->Threads(1)->Threads(4);

}  // namespace

BENCHMARK_MAIN();
