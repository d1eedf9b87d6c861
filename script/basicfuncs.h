// The system functions that need nothing but the variables: strings, width conversion,
// arrays, arithmetic, dates, and variables and evaluation.
#pragma once
#include <cstdint>

namespace kest {

class TSysFuncMan;

// Registers the bodies of those functions. Random draws from the process-wide generator
// (common/random.h), seeded at start-up.
void RegisterBasicFunctions(TSysFuncMan& funcs);

}  // namespace kest
