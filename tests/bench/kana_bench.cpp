// Width conversion throughput against memcpy of the same text.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "script/kana.h"

namespace {

std::string MixedText() {
  // ASCII, half-width kana with marks, kanji and full-width kana, about 8 KiB.
  const std::string piece = "Save 01: \xB6\xDE\xDD\xCA\xDF\xDA \x8A\xBF\x8E\x9A\x83\x4B (2026/12/11) ";
  std::string s;
  while (s.size() < 8192) s += piece;
  return s;
}

void KanaBaseline(benchmark::State& st) {
  const std::string s = MixedText();
  std::string d(s.size() * 2, 0);
  for (auto _ : st) {
    std::memcpy(d.data(), s.data(), s.size());
    benchmark::DoNotOptimize(d.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations() * s.size()));
}
BENCHMARK(KanaBaseline)->Name("Kana/baseline_memcpy");

void HanToZenBench(benchmark::State& st) {
  const std::string s = MixedText();
  for (auto _ : st) benchmark::DoNotOptimize(kest::HanToZen(s));
  st.SetBytesProcessed(int64_t(st.iterations() * s.size()));
}
BENCHMARK(HanToZenBench)->Name("Kana/HanToZen");

void ZenToHanBench(benchmark::State& st) {
  const std::string s = kest::HanToZen(MixedText());
  for (auto _ : st) benchmark::DoNotOptimize(kest::ZenToHan(s));
  st.SetBytesProcessed(int64_t(st.iterations() * s.size()));
}
BENCHMARK(ZenToHanBench)->Name("Kana/ZenToHan");

}  // namespace
