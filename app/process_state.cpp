#include "app/process_state.h"

namespace qir {

bool silentMode = false;
std::u16string toolVersionName;

} // namespace qir
