// Process-wide values, set afresh by each start of the main routine.
#pragma once

#include <string>

namespace qir {

extern bool silentMode;
extern std::u16string toolVersionName;

} // namespace qir
