// Variable lookup and temporaries of the variable collection.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/hash.h"
#include "common/sjis.h"
#include "script/paramcoll.h"

namespace {

// 10,000 variables: "flag0001".."flag9999" (same length, same first byte and only ten
// second-to-last bytes, so they crowd ten of the 256 buckets) and "other".
std::vector<std::string> CrowdedNames() {
  std::vector<std::string> names;
  char buf[16];
  for (int i = 1; i <= 9999; ++i) {
    std::snprintf(buf, sizeof buf, "flag%04d", i);
    names.push_back(buf);
  }
  names.push_back("other");
  return names;
}

// Lookups in the order the names were made, upper-cased so the fold takes part.
std::vector<std::string> Queries(const std::vector<std::string>& names) {
  std::vector<std::string> q;
  for (size_t i = 0; i < names.size(); i += 7) q.push_back(kest::UpperCase(names[i]));
  return q;
}

void VarsBaselineUnorderedMap(benchmark::State& st) {
  const auto names = CrowdedNames();
  std::unordered_map<std::string, int> map;
  for (size_t i = 0; i < names.size(); ++i) map.emplace(kest::FoldCase(names[i]), int(i));
  const auto q = Queries(names);
  size_t k = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(map.find(kest::FoldCase(q[k])));
    if (++k == q.size()) k = 0;
  }
}
BENCHMARK(VarsBaselineUnorderedMap)->Name("Vars/baseline_unordered_map_folded");

void VarsFindItem(benchmark::State& st) {
  const auto names = CrowdedNames();
  kest::TParamCollection c;
  for (const auto& n : names) c.SetItemName(c.AddItem(kest::PT_INT), n);
  const auto q = Queries(names);
  size_t k = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(c.FindItem(q[k]));
    if (++k == q.size()) k = 0;
  }
}
BENCHMARK(VarsFindItem)->Name("Vars/FindItem_10000_crowded");

// The 256-bucket walk the name index replaces: every lookup compares every name of the
// bucket (about a thousand here), for comparison.
void VarsBucketWalk(benchmark::State& st) {
  const auto names = CrowdedNames();
  struct Item : kest::THashCollectionItem {
    using THashCollectionItem::THashCollectionItem;
  };
  kest::THashCollection c;
  for (const auto& n : names) c.Add(std::make_unique<Item>(n));
  const auto q = Queries(names);
  size_t k = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(c.IndexOf(q[k]));
    if (++k == q.size()) k = 0;
  }
}
BENCHMARK(VarsBucketWalk)->Name("Vars/bucket_walk_10000_crowded");

void VarsTemporary(benchmark::State& st) {
  const auto names = CrowdedNames();
  kest::TParamCollection c;
  for (const auto& n : names) c.SetItemName(c.AddItem(kest::PT_INT), n);
  for (auto _ : st) {
    kest::TParamCollectionItem* t = c.AddItem(kest::PT_INT);
    c.SetItemName(t, "____1");
    t->Value()->SetInt(3);
    c.FreeItem(t);
  }
}
BENCHMARK(VarsTemporary)->Name("Vars/temporary_create_free");

}  // namespace
