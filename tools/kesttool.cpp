// kesttool: the title toolkit.
#include "tools/kesttool.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "common/sjis.h"
#include "common/types.h"

namespace kest::tool {

static std::vector<ToolFamily>& Families() {
  static std::vector<ToolFamily> families;
  return families;
}

RegisterFamily::RegisterFamily(const ToolFamily& family) { Families().push_back(family); }

bool ParseIntArg(const std::string& s, int32_t& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 0);
  if (*end || v < INT32_MIN || v > INT32_MAX) return false;
  out = int32_t(v);
  return true;
}

static void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: kesttool FAMILY COMMAND [ARGS...]\n\n");
  if (Families().empty()) std::fprintf(out, "  (no command families are built yet)\n");
  for (const ToolFamily& f : Families()) std::fprintf(out, "%s\n", f.usage);
  std::fprintf(out, "\n  --help   print this text\n");
}

}  // namespace kest::tool

int main(int argc, char** argv) {
  using namespace kest::tool;
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const ToolFamily& f : Families()) {
    if (!std::strcmp(argv[1], f.name)) {
      std::vector<std::string> args(argv + 2, argv + argc);
      try {
        return f.run(args);
      } catch (const kest::EKest& e) {
        std::fprintf(stderr, "kesttool: %s\n", kest::Cp932ToUtf8(e.what()).c_str());
        return 1;
      } catch (const std::exception& e) {
        std::fprintf(stderr, "kesttool: %s\n", e.what());
        return 1;
      }
    }
  }
  std::fprintf(stderr, "kesttool: unknown command family \"%s\"\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
