// Reads one string property of a device with the platform's sizing rule: ask without a
// buffer, then with zero-filled buffers of twice the reported size while the platform
// answers ERROR_INSUFFICIENT_BUFFER.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace qir {

bool readDeviceString(platform::DevInfoSet set, platform::DeviceInfoData* info,
                      const platform::DevPropKey& key, uint32_t* propertyType,
                      std::u16string& value);
bool readParentId(platform::DevInfoSet set, platform::DeviceInfoData* info,
                  uint32_t* propertyType, std::u16string& value);
bool readInstanceId(platform::DevInfoSet set, platform::DeviceInfoData* info,
                    uint32_t* propertyType, std::u16string& value);

} // namespace qir
