#include "discovery/property_reader.h"

#include "discovery/sized_read.h"
#include "platform/text_encoding.h"
#include "platform/win_constants.h"

namespace qir {

namespace {

// Identifiers pass through an 8-bit form on their way to the caller. At most this many
// bytes of it are kept, so a longer value is cut, never read or written past its end.
constexpr size_t kMaxConvertedBytes = 256;

// The 8-bit form is UTF-8, cut only between whole characters, so that whatever is kept
// comes back unchanged: ASCII identifiers byte for byte, other characters intact rather
// than replaced by the guesses of a locale.
std::u16string throughEightBit(const std::u16string& value, size_t intermediateWidth) {
    size_t limit = intermediateWidth < kMaxConvertedBytes ? intermediateWidth : kMaxConvertedBytes;
    std::string narrow;
    size_t i = 0;
    while (i < value.size()) {
        size_t units = 1;
        if (value[i] >= 0xD800 && value[i] < 0xDC00 && i + 1 < value.size() &&
            value[i + 1] >= 0xDC00 && value[i + 1] < 0xE000)
            units = 2;
        std::string encoded = text::toUtf8(value.substr(i, units));
        if (narrow.size() + encoded.size() > limit)
            break;
        narrow += encoded;
        i += units;
    }
    return text::fromUtf8(narrow);
}

bool readStringProperty(platform::DevInfoSet set, platform::DeviceInfoData* info,
                        const platform::DevPropKey& key, uint32_t* propertyType,
                        std::u16string& value, size_t intermediateWidth) {
    uint32_t ignoredType = 0;
    uint32_t* type = propertyType ? propertyType : &ignoredType;
    RequestBuffer buffer;
    SizedReadResult read = readDoubling(
        [&](uint8_t* data, uint32_t size, uint32_t* required) {
            return platform::os().getDeviceProperty(set, info, key, type, data, size, required);
        },
        buffer);
    if (read.answeredWithoutBuffer || !read.haveBuffer)
        return false;
    value = throughEightBit(utf16At(buffer.data(), buffer.size(), 0), intermediateWidth);
    return true;
}

} // namespace

bool readDeviceString(platform::DevInfoSet set, platform::DeviceInfoData* info,
                      const platform::DevPropKey& key, uint32_t* propertyType,
                      std::u16string& value) {
    return readStringProperty(set, info, key, propertyType, value, 256);
}

bool readParentId(platform::DevInfoSet set, platform::DeviceInfoData* info, uint32_t* propertyType,
                  std::u16string& value) {
    return readStringProperty(set, info, win::DEVPKEY_Device_Parent, propertyType, value, 356);
}

bool readInstanceId(platform::DevInfoSet set, platform::DeviceInfoData* info,
                    uint32_t* propertyType, std::u16string& value) {
    return readStringProperty(set, info, win::DEVPKEY_Device_InstanceId, propertyType, value, 256);
}

} // namespace qir
