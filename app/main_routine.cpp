#include "app/main_routine.h"

namespace qir {

// Placeholder until the run sequence lands.
int32_t mainRoutine(int, const char16_t* const*, const DiskUpdaterOps&) { return 1; }

} // namespace qir
