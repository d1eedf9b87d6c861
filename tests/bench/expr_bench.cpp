// Expression records per second against the same loops in Lua 5.4 and in native C++.
// Each benchmark iteration runs the statement 1000 times; items are records run (for Lua
// and C++: statements, counted as the same number of records as ours need).
#include <benchmark/benchmark.h>

#include <string>

#include "script/paramcoll.h"
#include "script/parser.h"
#include "vfs/streams.h"

#ifdef KEST_BENCH_LUA
extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}
#endif

namespace {

constexpr int kReps = 1000;

struct KestLoop {
  kest::TParamCollection vars;
  kest::TSysFuncMan funcs{vars};
  kest::TKestParser parser;
  explicit KestLoop(const char* text) {
    for (const char* n : {"i", "x"}) vars.SetItemName(vars.AddItem(kest::PT_INT), n);
    kest::TParamCollectionItem* a = vars.AddItem(kest::PT_INT);
    vars.SetItemName(a, "a");
    a->Value()->SetDims({100});
    vars.FindItem("i")->Value()->SetInt(5);
    vars.FindItem("x")->Value()->SetInt(7);
    // A title has many variables: lookups run among 2,000 others.
    for (int k = 0; k < 2000; ++k) vars.SetItemName(vars.AddItem(kest::PT_INT), "v" + std::to_string(k));
    kest::TBuildKestParser b;
    b.Compile(text);
    kest::TMemoryStream m;
    b.WriteTo(m);
    m.SetPosition(0);
    parser.LoadFromStream(m);
  }
};

void RunKest(benchmark::State& st, const char* text) {
  KestLoop loop(text);
  for (auto _ : st)
    for (int k = 0; k < kReps; ++k) loop.parser.Execute(loop.funcs);
  st.SetItemsProcessed(int64_t(st.iterations()) * kReps * loop.parser.Count());
}

#ifdef KEST_BENCH_LUA
void RunLua(benchmark::State& st, const char* stmt, int records) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  luaL_dostring(L, "i = 5; x = 7; r = false; a = {}; for k = 0, 99 do a[k] = 0 end");
  const std::string chunk = std::string("for k = 1, ") + std::to_string(kReps) + " do " + stmt + " end";
  luaL_loadstring(L, chunk.c_str());
  const int fn = luaL_ref(L, LUA_REGISTRYINDEX);
  for (auto _ : st) {
    lua_rawgeti(L, LUA_REGISTRYINDEX, fn);
    lua_pcall(L, 0, 0, 0);
  }
  st.SetItemsProcessed(int64_t(st.iterations()) * kReps * records);
  lua_close(L);
}
#endif

// i = i + 1: two records (the sum into a temporary, the assignment).
void IncKest(benchmark::State& st) { RunKest(st, "i = i + 1"); }
void IncNative(benchmark::State& st) {
  volatile int i = 5;
  for (auto _ : st)
    for (int k = 0; k < kReps; ++k) i = i + 1;
  st.SetItemsProcessed(int64_t(st.iterations()) * kReps * 2);
}
BENCHMARK(IncNative)->Name("ExprIncNative/baseline_native");
BENCHMARK(IncKest)->Name("ExprIncNative/kest_i=i+1");
#ifdef KEST_BENCH_LUA
void IncLua(benchmark::State& st) { RunLua(st, "i = i + 1", 2); }
BENCHMARK(IncLua)->Name("ExprIncLua/baseline_lua");
BENCHMARK(IncKest)->Name("ExprIncLua/kest_i=i+1");
#endif

// x >= 3: the comparison and the result (plus the copy of the result).
void CmpKest(benchmark::State& st) { RunKest(st, "x >= 3"); }
void CmpNative(benchmark::State& st) {
  volatile int x = 7;
  volatile bool r = false;
  for (auto _ : st)
    for (int k = 0; k < kReps; ++k) r = x >= 3;
  (void)r;
  st.SetItemsProcessed(int64_t(st.iterations()) * kReps * 2);
}
BENCHMARK(CmpNative)->Name("ExprCmpNative/baseline_native");
BENCHMARK(CmpKest)->Name("ExprCmpNative/kest_x>=3");
#ifdef KEST_BENCH_LUA
void CmpLua(benchmark::State& st) { RunLua(st, "r = x >= 3", 2); }
BENCHMARK(CmpLua)->Name("ExprCmpLua/baseline_lua");
BENCHMARK(CmpKest)->Name("ExprCmpLua/kest_x>=3");
#endif

// a[i] = a[i] + 1: two element references, the sum, the store.
void ElemKest(benchmark::State& st) { RunKest(st, "a[i] = a[i] + 1"); }
void ElemNative(benchmark::State& st) {
  volatile int a[100] = {};
  volatile int i = 5;
  for (auto _ : st)
    for (int k = 0; k < kReps; ++k) a[i] = a[i] + 1;
  st.SetItemsProcessed(int64_t(st.iterations()) * kReps * 4);
}
BENCHMARK(ElemNative)->Name("ExprElemNative/baseline_native");
BENCHMARK(ElemKest)->Name("ExprElemNative/kest_a[i]=a[i]+1");
#ifdef KEST_BENCH_LUA
void ElemLua(benchmark::State& st) { RunLua(st, "a[i] = a[i] + 1", 4); }
BENCHMARK(ElemLua)->Name("ExprElemLua/baseline_lua");
BENCHMARK(ElemKest)->Name("ExprElemLua/kest_a[i]=a[i]+1");
#endif

}  // namespace
