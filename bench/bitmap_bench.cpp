// The card's dot image made from a loaded picture: the card window cut from the stretched picture,
// the dots decided, then every line of the whole image (320 x 460) turned into "PI" text lines or
// "IB" download blocks. Each iteration is one whole conversion, so the CPU column is the cost of
// one image; its steps are also measured alone. Arguments: source width, height, zoom (%).
#include <benchmark/benchmark.h>

#include <QImage>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "app/bitmap/dot_image.h"

namespace {

using tavo::CardGeometry;

// A photograph-like picture: smooth colour gradients with a bright disc and pixel noise, so the
// dot decision takes every branch rather than one.
QImage photoLike(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> noise(-24, 24);
  const auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  const std::int64_t cx = width / 2, cy = height / 3, radius = height / 4;
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const std::int64_t dx = x - cx, dy = y - cy;
      const int disc = dx * dx + dy * dy < radius * radius ? 90 : 0;
      row[x] = qRgb(clamp(x * 255 / width + disc + noise(rng)),
                    clamp(y * 255 / height + disc + noise(rng)),
                    clamp((x + y) * 255 / (width + height) + disc / 2 + noise(rng)));
    }
  }
  return image;
}

// The normalised picture of each size, made once for all benchmarks.
const QImage& picture(int width, int height) {
  static std::map<std::pair<int, int>, QImage> cache;
  auto [it, added] = cache.try_emplace({width, height});
  if (added) it->second = tavo::normalizedPicture(photoLike(width, height));
  return it->second;
}

// The card window as the preview shows it: the picture at the zoom, scrolled to the centre.
QImage centredWindow(const QImage& source, int zoom, const CardGeometry& card) {
  const QSize stretched = tavo::stretchSize(source.size(), zoom);
  return tavo::cardWindow(source, stretched,
                          tavo::scrollRange(stretched.width(), card.imgWidth).position,
                          tavo::scrollRange(stretched.height(), card.imgHeight).position, card);
}

void label(benchmark::State& state) {
  state.SetLabel(std::to_string(state.range(0)) + "x" + std::to_string(state.range(1)) + " @" +
                 std::to_string(state.range(2)) + "%");
}

void BM_WholeImageTextLines(benchmark::State& state) {
  const QImage& source =
      picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int zoom = static_cast<int>(state.range(2));
  const CardGeometry card = CardGeometry::wholeImage();
  for (auto _ : state) {
    const tavo::DotImage dots(centredWindow(source, zoom, card), tavo::dotLevels(0));
    std::size_t bytes = 0;
    for (int y = 0; y < card.imgHeight; ++y)
      bytes += static_cast<std::size_t>(tavo::textLine(dots, y, card.lineOffset).size());
    benchmark::DoNotOptimize(bytes);
  }
  label(state);
}

void BM_WholeImageBlocks(benchmark::State& state) {
  const QImage& source =
      picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int zoom = static_cast<int>(state.range(2));
  const CardGeometry card = CardGeometry::wholeImage();
  for (auto _ : state) {
    const tavo::DotImage dots(centredWindow(source, zoom, card), tavo::dotLevels(0));
    unsigned check = 0;
    for (int y = 0; y < card.imgHeight; y += 4)
      check += static_cast<unsigned char>(tavo::imageBlock(dots, y, card.lineOffset).back());
    benchmark::DoNotOptimize(check);
  }
  label(state);
}

void BM_CardWindowOnly(benchmark::State& state) {
  const QImage& source =
      picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int zoom = static_cast<int>(state.range(2));
  for (auto _ : state)
    benchmark::DoNotOptimize(centredWindow(source, zoom, CardGeometry::wholeImage()));
  label(state);
}

void BM_DotDecisionOnly(benchmark::State& state) {
  const QImage window =
      centredWindow(picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))),
                    static_cast<int>(state.range(2)), CardGeometry::wholeImage());
  for (auto _ : state) benchmark::DoNotOptimize(tavo::DotImage(window, tavo::dotLevels(0)));
  label(state);
}

// Done once when a picture is loaded, not per conversion; shown for scale.
void BM_NormalizeOnLoad(benchmark::State& state) {
  QImage loaded = photoLike(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)))
                      .convertToFormat(QImage::Format_ARGB32);
  for (auto _ : state) benchmark::DoNotOptimize(tavo::normalizedPicture(loaded));
  state.SetLabel(std::to_string(state.range(0)) + "x" + std::to_string(state.range(1)) + " ARGB32");
}

}  // namespace

BENCHMARK(BM_WholeImageTextLines)
    ->Args({1024, 768, 100})
    ->Args({4000, 3000, 50})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeImageBlocks)
    ->Args({1024, 768, 100})
    ->Args({4000, 3000, 50})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CardWindowOnly)
    ->Args({1024, 768, 100})
    ->Args({4000, 3000, 50})
    ->Args({4000, 3000, 400})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DotDecisionOnly)->Args({1024, 768, 100})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalizeOnLoad)->Args({1024, 768})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
