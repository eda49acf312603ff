// Crc32 throughput of the table-driven implementation beside the bit-serial reference model.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "control/crc.h"

namespace {

std::vector<std::uint8_t> random_bytes(std::size_t n) {
  std::mt19937 rng(7);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(rng());
  return v;
}

void BM_Crc32Table(benchmark::State& state) {
  auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ravlin::crc32_jamcrc(data));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc32BitSerialModel(benchmark::State& state) {
  auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(ravlin::crc_model_bitwise(ravlin::crc32_params, data));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc16Table(benchmark::State& state) {
  auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ravlin::crc16_xmodem(data));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_Crc32Table)->Arg(164)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_Crc32BitSerialModel)->Arg(164)->Arg(64 << 10);
BENCHMARK(BM_Crc16Table)->Arg(164)->Arg(64 << 10);
BENCHMARK_MAIN();
