// Benchmarks are named "Group/what"; the one named "Group/baseline..." is the yardstick
// that the others of its group are reported against.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/hash.h"
#include "common/real10.h"
#include "common/sjis.h"

namespace {

std::string SampleText(size_t n) {
  std::mt19937 rng(7);
  std::string s;
  while (s.size() < n) {
    if (rng() % 3 == 0) {
      s += char(0x82);
      s += char(0x9F + rng() % 80);
    } else {
      s += char('A' + rng() % 26);
    }
  }
  return s;
}

void FoldBaselineMemcpy(benchmark::State& st) {
  const std::string s = SampleText(4096);
  std::string d(s.size(), 0);
  for (auto _ : st) {
    std::memcpy(d.data(), s.data(), s.size());
    benchmark::DoNotOptimize(d.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations() * s.size()));
}
BENCHMARK(FoldBaselineMemcpy)->Name("Fold/baseline_memcpy");

void FoldCaseBench(benchmark::State& st) {
  const std::string s = SampleText(4096);
  for (auto _ : st) benchmark::DoNotOptimize(kest::FoldCase(s));
  st.SetBytesProcessed(int64_t(st.iterations() * s.size()));
}
BENCHMARK(FoldCaseBench)->Name("Fold/FoldCase");

void SameTextBench(benchmark::State& st) {
  const std::string a = SampleText(4096);
  const std::string b = kest::FoldCase(a);
  for (auto _ : st) benchmark::DoNotOptimize(kest::SameText(a, b));
  st.SetBytesProcessed(int64_t(st.iterations() * a.size()));
}
BENCHMARK(SameTextBench)->Name("Fold/SameText");

struct Item : kest::THashCollectionItem {
  using THashCollectionItem::THashCollectionItem;
};

void LookupBaselineVector(benchmark::State& st) {
  std::vector<std::string> names;
  for (int i = 0; i < 2000; ++i) names.push_back("var" + std::to_string(i));
  size_t k = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(names[k % names.size()].size());
    ++k;
  }
}
BENCHMARK(LookupBaselineVector)->Name("Lookup/baseline_index");

void HashCollectionLookup(benchmark::State& st) {
  kest::THashCollection c;
  std::vector<std::string> names;
  for (int i = 0; i < 2000; ++i) {
    names.push_back("Var" + std::to_string(i));
    c.Add(std::make_unique<Item>(names.back()));
  }
  size_t k = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(c.IndexOf(names[k % names.size()]));
    ++k;
  }
}
BENCHMARK(HashCollectionLookup)->Name("Lookup/THashCollection_2000");

void Real10BaselineMemcpy(benchmark::State& st) {
  long double v = 1.25L;
  uint8_t b[16];
  for (auto _ : st) {
    std::memcpy(b, &v, 10);
    benchmark::DoNotOptimize(b);
  }
}
BENCHMARK(Real10BaselineMemcpy)->Name("Real10/baseline_memcpy");

void Real10Portable(benchmark::State& st) {
  long double v = 1.25L;
  for (auto _ : st) {
    auto b = kest::EncodeReal10Portable(v);
    benchmark::DoNotOptimize(kest::DecodeReal10Portable(b.data()));
  }
}
BENCHMARK(Real10Portable)->Name("Real10/portable_roundtrip");

void Real10Fast(benchmark::State& st) {
  long double v = 1.25L;
  for (auto _ : st) {
    auto b = kest::EncodeReal10(v);
    benchmark::DoNotOptimize(kest::DecodeReal10(b.data()));
  }
}
BENCHMARK(Real10Fast)->Name("Real10/fast_roundtrip");

}  // namespace
