// Object lookups by name and the drawing order under changing offsets, each against the
// plain version (a linear scan of the registered objects, a full re-sort per change).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "objects/litems.h"

namespace {

using namespace kest;

void FillCabinets(TKestBaseList& list, int n) {
  for (int i = 0; i < n; ++i) list.CreateByKind(LT_CABINET);
}

std::vector<std::string> Probes(int n) {
  std::mt19937 rng(7);
  std::vector<std::string> names;
  for (int i = 0; i < 64; ++i) names.push_back("object" + std::to_string(rng() % n));
  return names;
}

void FindBaselineLinear(benchmark::State& st) {
  TKestBaseList list;
  FillCabinets(list, 3000);
  std::vector<std::string> names = Probes(3000);
  size_t k = 0;
  for (auto _ : st) {
    const std::string& name = names[k++ & 63];
    TKestObject* found = nullptr;
    for (int32_t i = 0; i < list.GetObjectCount(); ++i) {
      TKestObject* o = list.GetObject(i);
      if (!o->IsScrapped() && o->Name() == name) {
        found = o;
        break;
      }
    }
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(FindBaselineLinear)->Name("FindObject/baseline_linear_3000");

void FindIndexed(benchmark::State& st) {
  TKestBaseList list;
  FillCabinets(list, 3000);
  std::vector<std::string> names = Probes(3000);
  size_t k = 0;
  for (auto _ : st) benchmark::DoNotOptimize(list.FindObject(names[k++ & 63]));
}
BENCHMARK(FindIndexed)->Name("FindObject/indexed_3000");

void UniqueNameAt3000(benchmark::State& st) {
  TKestBaseList list;
  FillCabinets(list, 3000);
  for (auto _ : st) benchmark::DoNotOptimize(list.UniqueName("object"));
}
BENCHMARK(UniqueNameAt3000)->Name("FindObject/UniqueName_3000");

struct Siblings {
  TKestBaseList list;
  std::vector<TKestControl*> kids;
  std::mt19937 rng{11};
  Siblings() {
    for (int i = 0; i < 500; ++i) {
      auto* c = static_cast<TKestControl*>(list.CreateByKind(LT_CABINET));
      c->SetParent(list.ActiveScreen());
      c->SetPriority(int32_t(rng() % 8));
      kids.push_back(c);
    }
  }
};

void SortBaselineFull(benchmark::State& st) {
  Siblings s;
  TKestControl* screen = s.list.ActiveScreen();
  for (auto _ : st) {
    // Every change re-sorts all siblings, as a plain writer would.
    for (int i = 0; i < 100; ++i) {
      TKestControl* k = s.kids[s.rng() % s.kids.size()];
      screen->ChildOrderChanged();
      k->SetPriorityOffset(int32_t(s.rng() % 9) - 4);
    }
  }
  st.SetItemsProcessed(int64_t(st.iterations()) * 100);
}
BENCHMARK(SortBaselineFull)->Name("ChildOrder/baseline_full_sort_500x100");

void SortReposition(benchmark::State& st) {
  Siblings s;
  for (auto _ : st) {
    for (int i = 0; i < 100; ++i) s.kids[s.rng() % s.kids.size()]->SetPriorityOffset(int32_t(s.rng() % 9) - 4);
  }
  st.SetItemsProcessed(int64_t(st.iterations()) * 100);
}
BENCHMARK(SortReposition)->Name("ChildOrder/reposition_500x100");

}  // namespace
