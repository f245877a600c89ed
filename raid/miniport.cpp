#include "raid/miniport.h"
namespace qir {
void buildSrbIoControl(uint8_t*, const char (&)[9], uint32_t, uint32_t, uint32_t, uint32_t) {}
bool sendMiniportRequest(platform::Handle, uint8_t*, uint32_t, uint32_t, uint32_t*) { return false; }
} // namespace qir
