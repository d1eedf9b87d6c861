// kesttool command families register themselves here.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kest::tool {

struct ToolFamily {
  const char* name;   // first word: "vf", "zar", "page", "title"
  const char* usage;  // lines of usage, each starting with "kesttool <name> ..."
  // Runs with the words after the family name; answers the exit status. Errors are
  // printed to stderr in UTF-8.
  int (*run)(const std::vector<std::string>& args);
};

// A whole integer argument (decimal, or hexadecimal after "0x") that fits 32 bits.
bool ParseIntArg(const std::string& s, int32_t& out);

// Registers a family at static initialisation time.
struct RegisterFamily {
  explicit RegisterFamily(const ToolFamily& family);
};

}  // namespace kest::tool
