#include "discovery/property_reader.h"

namespace qir {
// Placeholder until the property reader lands.
bool readDeviceString(platform::DevInfoSet, platform::DeviceInfoData*, const platform::DevPropKey&,
                      uint32_t*, std::u16string&) { return false; }
bool readParentId(platform::DevInfoSet, platform::DeviceInfoData*, uint32_t*, std::u16string&) { return false; }
bool readInstanceId(platform::DevInfoSet, platform::DeviceInfoData*, uint32_t*, std::u16string&) { return false; }
} // namespace qir
