// Published Windows values the core and the simulated machine both speak in.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace qir::win {

// Error codes (winerror.h).
inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t ERROR_INVALID_DATA = 13;
inline constexpr uint32_t ERROR_GEN_FAILURE = 31;
inline constexpr uint32_t ERROR_SHARING_VIOLATION = 32;
inline constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr uint32_t ERROR_IO_DEVICE = 1117;
inline constexpr uint32_t ERROR_NOT_FOUND = 1168;
inline constexpr uint32_t ERROR_INVALID_USER_BUFFER = 1784;

// CreateFileW.
inline constexpr uint32_t GENERIC_READ = 0x80000000u;
inline constexpr uint32_t GENERIC_WRITE = 0x40000000u;
inline constexpr uint32_t FILE_SHARE_READ = 0x1;
inline constexpr uint32_t FILE_SHARE_WRITE = 0x2;
inline constexpr uint32_t OPEN_EXISTING = 3;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr uint32_t FILE_FLAG_OVERLAPPED = 0x40000000u;

// SetupDiGetClassDevsW flags.
inline constexpr uint32_t DIGCF_PRESENT = 0x2;
inline constexpr uint32_t DIGCF_ALLCLASSES = 0x4;
inline constexpr uint32_t DIGCF_DEVICEINTERFACE = 0x10;

// SetupDiGetDeviceRegistryPropertyW.
inline constexpr uint32_t SPDRP_HARDWAREID = 1;
inline constexpr uint32_t REG_MULTI_SZ = 7;

// DEVPROPTYPE.
inline constexpr uint32_t DEVPROP_TYPE_EMPTY = 0; // the property does not exist
inline constexpr uint32_t DEVPROP_TYPE_STRING = 0x12;

// MessageBoxW.
inline constexpr uint32_t MB_OK = 0;
inline constexpr int IDOK = 1;

// Fixed parts of the SetupAPI records on 64-bit Windows.
inline constexpr uint32_t kDeviceInfoDataSize = 32;
inline constexpr uint32_t kDeviceInterfaceDataSize = 32;
inline constexpr uint32_t kInterfaceDetailFixedSize = 8;
inline constexpr uint32_t kInterfaceDetailPathOffset = 4;

// Device interface classes.
inline constexpr platform::Guid GUID_DEVINTERFACE_DISK = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
inline constexpr platform::Guid GUID_DEVINTERFACE_STORAGEPORT = {
    0x2ACCFE60, 0xC130, 0x11D2, {0xB0, 0x82, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// Device setup classes (what SP_DEVINFO_DATA.ClassGuid holds).
inline constexpr platform::Guid GUID_DEVCLASS_DISKDRIVE = {
    0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline constexpr platform::Guid GUID_DEVCLASS_SCSIADAPTER = {
    0x4D36E97B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline constexpr platform::Guid GUID_DEVCLASS_SYSTEM = {
    0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Device property keys.
inline constexpr platform::DevPropKey DEVPKEY_Device_Parent = {
    {0x4340A6C5, 0x93FA, 0x4706, {0x97, 0x2C, 0x7B, 0x64, 0x80, 0x08, 0xA5, 0xA7}}, 8};
inline constexpr platform::DevPropKey DEVPKEY_Device_InstanceId = {
    {0x78C34FC8, 0x104A, 0x4ACA, {0x9E, 0xA4, 0x52, 0x4D, 0x52, 0x99, 0x6E, 0x57}}, 256};
inline constexpr platform::DevPropKey DEVPKEY_Device_DriverDesc = {
    {0xA8B865DD, 0x2E3D, 0x4094, {0xAD, 0x97, 0xE5, 0x93, 0xA7, 0x0C, 0x75, 0xD6}}, 4};
inline constexpr platform::DevPropKey DEVPKEY_Device_LocationInfo = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 15};

} // namespace qir::win
