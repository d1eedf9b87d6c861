// The player's command line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kest {

struct TPlayerOptions {
  std::vector<std::string> titles;  // title folders or archives, as given
  bool headless = false;
  int frames = 0;  // stop after this many frame steps; 0: run until closed
  std::string screenshot;
  std::string input;
  bool seeded = false;  // --seed given
  uint32_t seed = 0;
  bool trace = false;   // print the start-up and shutdown steps
  std::string log;      // the interpreter's trace log
};

enum class TCommandLineResult { Run, Help, Error };

// Reads the arguments after the program name. Words starting with "--" are options, never
// titles (after a lone "--" every word is a title). Options take their value as the next
// word or after "=". On Error, *error says why.
TCommandLineResult ParseCommandLine(const std::vector<std::string>& args, TPlayerOptions& out, std::string* error);

// The usage text (only the options that work).
const char* PlayerUsage();

}  // namespace kest
