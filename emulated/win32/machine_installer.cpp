// The machine installer: run under Wine before the tool, it puts a machine description's
// devices into Wine's SetupAPI, installs and starts the machine driver on it, and at the
// end has the driver write the machine's state (docs/emulated-windows.md).
//
//   qir-machine-install install DESCRIPTION DRIVER WINE_ORDER
//       DESCRIPTION  the machine description (a Windows path)
//       DRIVER       qir-machine.sys
//       WINE_ORDER   where the description is written as Wine lists its devices
//   qir-machine-install state RESULT_CODE STATE [TRACE]
//
// Exit codes: 0 done; 2 the description cannot be held (each reason on standard error,
// naming the entry); 3 Wine refused a step (the step and its Windows error).
#include "platform/win32/windows_headers.h"
#include <initguid.h>
// initguid.h first: the keys and classes below are then defined here.
#include <devpkey.h>
#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "emulated/machine_paths.h"
#include "emulated/win32/machine_control.h"
#include "emulated/wine_setupapi.h"
#include "platform/guid_text.h"
#include "platform/text_encoding.h"
#include "sim/machine_loader.h"

// mingw-w64's setupapi.h leaves it out; Wine's setupapi.dll has it.
extern "C" BOOL WINAPI SetupDiSetDevicePropertyW(HDEVINFO, PSP_DEVINFO_DATA, const DEVPROPKEY*,
                                                 DEVPROPTYPE, const BYTE*, DWORD, DWORD);

namespace {

using qir::emulated::ListedDevice;
namespace sim = qir::sim;

constexpr wchar_t kServiceName[] = L"QirMachine";
// Where the installer keeps the names of the devices it made, to take them away again
// when the next description comes (one prefix serves many machines).
constexpr wchar_t kParametersKey[] = L"System\\CurrentControlSet\\Services\\QirMachine\\Parameters";

const GUID* guidOf(const qir::platform::Guid* g) {
    static_assert(sizeof(GUID) == sizeof(qir::platform::Guid), "GUID layout");
    return reinterpret_cast<const GUID*>(g);
}

std::wstring wide(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}
std::u16string units(const std::wstring& s) {
    return std::u16string(s.begin(), s.end());
}
std::string utf8(const std::wstring& s) {
    return qir::text::toUtf8(units(s));
}

int failed(const char* step, DWORD error) {
    std::fprintf(stderr, "qir-machine-install: %s failed: Windows error %lu\n", step,
                 static_cast<unsigned long>(error));
    return 3;
}

bool readFile(const wchar_t* path, std::string& content) {
    std::FILE* f = _wfopen(path, L"rb");
    if (!f)
        return false;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        content.append(chunk, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool writeFile(const wchar_t* path, const std::string& content) {
    std::FILE* f = _wfopen(path, L"wb");
    if (!f)
        return false;
    bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    return std::fclose(f) == 0 && ok;
}

// ---- Devices ---------------------------------------------------------------------------

bool setString(HDEVINFO set, SP_DEVINFO_DATA* info, const DEVPROPKEY& key,
               const std::optional<std::u16string>& value) {
    if (!value)
        return true;
    std::wstring text = wide(*value);
    return SetupDiSetDevicePropertyW(set, info, &key, DEVPROP_TYPE_STRING,
                                     reinterpret_cast<const BYTE*>(text.c_str()),
                                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), 0);
}

// What a driver's IoSetDeviceInterfaceState would leave: the interface's volatile
// Control key with Linked = 1, without which Wine lists no interface as present.
bool linkInterface(const qir::platform::Guid& interfaceClass, const std::wstring& path) {
    std::wstring key = L"System\\CurrentControlSet\\Control\\DeviceClasses\\" +
                       wide(qir::text::fromUtf8(qir::platform::guidText(interfaceClass))) +
                       L"\\##?#" + path.substr(4) + L"\\#\\Control";
    HKEY control;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &control, nullptr) != ERROR_SUCCESS)
        return false;
    DWORD one = 1;
    bool ok = RegSetValueExW(control, L"Linked", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one),
                             sizeof one) == ERROR_SUCCESS;
    RegCloseKey(control);
    return ok;
}

int addDevice(HDEVINFO set, const sim::SimDevice& d, const std::u16string& name) {
    SP_DEVINFO_DATA info = {sizeof info, {}, 0, 0};
    const std::wstring id = wide(name);
    if (!SetupDiCreateDeviceInfoW(set, id.c_str(), guidOf(&sim::setupClassOf(d)), nullptr, nullptr,
                                  0, &info))
        return failed(("SetupDiCreateDeviceInfoW " + utf8(id)).c_str(), GetLastError());
    if (d.hardwareIds) {
        std::wstring list;
        for (const std::u16string& hw : *d.hardwareIds)
            list += wide(hw) + L'\0';
        list += L'\0';
        if (!SetupDiSetDeviceRegistryPropertyW(set, &info, SPDRP_HARDWAREID,
                                               reinterpret_cast<const BYTE*>(list.data()),
                                               static_cast<DWORD>(list.size() * sizeof(wchar_t))))
            return failed(("SPDRP_HARDWAREID of " + utf8(id)).c_str(), GetLastError());
    }
    // Wine answers only the properties it was given, the instance id too.
    if (!setString(set, &info, DEVPKEY_Device_InstanceId, d.instanceId) ||
        !setString(set, &info, DEVPKEY_Device_Parent, d.parentId) ||
        !setString(set, &info, DEVPKEY_Device_DriverDesc, d.driverDesc) ||
        !setString(set, &info, DEVPKEY_Device_LocationInfo, d.locationInfo))
        return failed(("SetupDiSetDevicePropertyW of " + utf8(id)).c_str(), GetLastError());
    if (!SetupDiRegisterDeviceInfo(set, &info, 0, nullptr, nullptr, nullptr))
        return failed(("SetupDiRegisterDeviceInfo " + utf8(id)).c_str(), GetLastError());
    const qir::platform::Guid* iface = qir::emulated::interfaceClassOf(d.deviceClass);
    if (!iface || !d.interfacePath)
        return 0;
    SP_DEVICE_INTERFACE_DATA data = {sizeof data, {}, 0, 0};
    if (!SetupDiCreateDeviceInterfaceW(set, &info, guidOf(iface), nullptr, 0, &data))
        return failed(("SetupDiCreateDeviceInterfaceW " + utf8(id)).c_str(), GetLastError());
    if (!linkInterface(*iface, wide(*d.interfacePath)))
        return failed(("the interface link of " + utf8(id)).c_str(), GetLastError());
    return 0;
}

// The devices an earlier install made go, with their interfaces.
void removeEarlierDevices() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD type = 0, size = 0;
    std::vector<wchar_t> names;
    if (RegQueryValueExW(key, L"Devices", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
        names.resize(size / sizeof(wchar_t) + 2, 0);
        RegQueryValueExW(key, L"Devices", nullptr, &type, reinterpret_cast<BYTE*>(names.data()),
                         &size);
    }
    RegCloseKey(key);
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    for (const wchar_t* n = names.data(); n && *n; n += wcslen(n) + 1) {
        SP_DEVINFO_DATA info = {sizeof info, {}, 0, 0};
        if (SetupDiOpenDeviceInfoW(set, n, nullptr, 0, &info))
            SetupDiRemoveDevice(set, &info);
    }
    SetupDiDestroyDeviceInfoList(set);
}

bool rememberDevices(const std::vector<std::u16string>& names) {
    std::wstring list;
    for (const std::u16string& n : names)
        list += wide(n) + L'\0';
    list += L'\0';
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok =
        RegSetValueExW(key, L"Devices", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list.data()),
                       static_cast<DWORD>(list.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// ---- Wine's sets -----------------------------------------------------------------------

// The devices of a set in Wine's order: the all-classes set, or an interface class's.
std::vector<ListedDevice> listSet(const qir::platform::Guid* interfaceClass) {
    std::vector<ListedDevice> listed;
    HDEVINFO set = SetupDiGetClassDevsW(
        guidOf(interfaceClass), nullptr, nullptr,
        DIGCF_PRESENT | (interfaceClass ? DIGCF_DEVICEINTERFACE : DIGCF_ALLCLASSES));
    if (set == INVALID_HANDLE_VALUE)
        return listed;
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA info = {sizeof info, {}, 0, 0};
        if (!SetupDiEnumDeviceInfo(set, i, &info))
            break;
        wchar_t id[1024];
        if (!SetupDiGetDeviceInstanceIdW(set, &info, id, 1024, nullptr))
            continue;
        ListedDevice d;
        d.name = units(id);
        d.devInst = info.DevInst;
        listed.push_back(d);
    }
    SetupDiDestroyDeviceInfoList(set);
    return listed;
}

std::vector<std::u16string> namesOf(const std::vector<ListedDevice>& listed) {
    std::vector<std::u16string> names;
    for (const ListedDevice& d : listed)
        names.push_back(d.name);
    return names;
}

// ---- The driver ------------------------------------------------------------------------

int startDriver(const wchar_t* driverPath) {
    wchar_t full[MAX_PATH];
    if (!GetFullPathNameW(driverPath, MAX_PATH, full, nullptr))
        return failed("GetFullPathNameW of the driver", GetLastError());
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return failed("OpenSCManagerW", GetLastError());
    SC_HANDLE service =
        CreateServiceW(manager, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                       SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, full,
                       nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!service && GetLastError() == ERROR_SERVICE_EXISTS)
        service = OpenServiceW(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (!service) {
        DWORD error = GetLastError();
        CloseServiceHandle(manager);
        return failed("CreateServiceW", error);
    }
    // The first start in a new prefix may time out while Wine's own services come up.
    DWORD error = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (StartServiceW(service, 0, nullptr) ||
            (error = GetLastError()) == ERROR_SERVICE_ALREADY_RUNNING) {
            error = 0;
            break;
        }
        Sleep(500);
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return error ? failed("StartServiceW", error) : 0;
}

HANDLE openControl() {
    return CreateFileW(QIR_MACHINE_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

int sendControl(DWORD code, const std::string& input, const char* step) {
    HANDLE control = openControl();
    if (control == INVALID_HANDLE_VALUE)
        return failed("opening the machine driver", GetLastError());
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(control, code, const_cast<char*>(input.data()),
                              static_cast<DWORD>(input.size()), nullptr, 0, &returned, nullptr);
    DWORD error = GetLastError();
    CloseHandle(control);
    return ok ? 0 : failed(step, error);
}

// ---- Commands --------------------------------------------------------------------------

int install(const wchar_t* descriptionPath, const wchar_t* driverPath, const wchar_t* orderPath) {
    std::string description;
    if (!readFile(descriptionPath, description)) {
        std::fprintf(stderr, "qir-machine-install: cannot read %s\n",
                     utf8(descriptionPath).c_str());
        return 2;
    }
    std::string error;
    std::unique_ptr<sim::SimMachine> machine = sim::loadMachine(description, &error);
    if (!machine) {
        std::fprintf(stderr, "qir-machine-install: %s\n", error.c_str());
        return 2;
    }
    const std::vector<std::u16string> names = qir::emulated::deviceNames(description);
    std::vector<std::string> refused = qir::emulated::refusals(*machine, names);
    for (const std::string& r : refused)
        std::fprintf(stderr, "qir-machine-install: cannot be held: %s\n", r.c_str());
    if (!refused.empty())
        return 2;

    removeEarlierDevices();
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return failed("SetupDiCreateDeviceInfoList", GetLastError());
    int result = 0;
    for (size_t i = 0; i < machine->devices.size() && !result; ++i)
        result = addDevice(set, machine->devices[i], names[i]);
    SetupDiDestroyDeviceInfoList(set);
    if (!rememberDevices(names) && !result)
        result = failed("keeping the names of the devices", GetLastError());
    if (result)
        return result;

    if (int started = startDriver(driverPath))
        return started;
    if (int loaded = sendControl(QIR_MACHINE_LOAD, description, "loading the machine"))
        return loaded;

    std::vector<ListedDevice> listed = listSet(nullptr);
    qir::emulated::matchListed(names, listed);
    refused = qir::emulated::orderRefusals(
        *machine, names, listed,
        namesOf(listSet(qir::emulated::interfaceClassOf(sim::DeviceClass::Disk))),
        namesOf(listSet(qir::emulated::interfaceClassOf(sim::DeviceClass::StoragePort))));
    for (const std::string& r : refused)
        std::fprintf(stderr, "qir-machine-install: cannot be held: %s\n", r.c_str());
    if (!refused.empty())
        return 2;
    // Wine answers GetSystemPowerStatus from the host, whatever the description says.
    SYSTEM_POWER_STATUS power;
    qir::platform::PowerStatus hostPower; // unknown, as the tool reads a failed call
    if (GetSystemPowerStatus(&power))
        hostPower = {power.ACLineStatus, power.BatteryFlag, power.BatteryLifePercent};
    if (!writeFile(orderPath, qir::emulated::inWineOrder(description, listed, &hostPower))) {
        std::fprintf(stderr, "qir-machine-install: cannot write %s\n", utf8(orderPath).c_str());
        return 3;
    }
    return 0;
}

void putU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void putPath(std::string& out, const std::wstring& path) {
    for (wchar_t c : path) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
}

std::wstring fullPath(const wchar_t* path) {
    wchar_t full[MAX_PATH];
    return GetFullPathNameW(path, MAX_PATH, full, nullptr) ? full : path;
}

int writeState(const wchar_t* resultCode, const wchar_t* statePath, const wchar_t* tracePath) {
    const std::wstring state = fullPath(statePath);
    const std::wstring trace = tracePath ? fullPath(tracePath) : L"";
    std::string input;
    putU32(input, static_cast<uint32_t>(wcstol(resultCode, nullptr, 10)));
    putU32(input, static_cast<uint32_t>(state.size()));
    putU32(input, static_cast<uint32_t>(trace.size()));
    putPath(input, state);
    putPath(input, trace);
    return sendControl(QIR_MACHINE_WRITE_STATE, input, "writing the state");
}

int usage() {
    std::fprintf(stderr, "usage: qir-machine-install install DESCRIPTION DRIVER WINE_ORDER\n"
                         "       qir-machine-install state RESULT_CODE STATE [TRACE]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"install")
        return install(argv[2], argv[3], argv[4]);
    if ((argc == 4 || argc == 5) && std::wstring(argv[1]) == L"state")
        return writeState(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    return usage();
}
