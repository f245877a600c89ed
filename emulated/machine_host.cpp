#include "emulated/machine_host.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "emulated/machine_paths.h"
#include "platform/host_file.h"
#include "sim/machine_loader.h"

namespace {

struct Host {
    std::unique_ptr<qir::sim::SimMachine> machine;
    std::vector<qir::emulated::AnsweredPath> paths;
    std::string error;
};

Host& host() {
    static Host h;
    return h;
}

std::u16string unitsOf(const uint16_t* text, size_t length) {
    return std::u16string(text, text + length);
}

} // namespace

extern "C" int qir_machine_load(const char* json, size_t size) {
    Host& h = host();
    h.paths.clear();
    h.machine = qir::sim::loadMachine(std::string(json, size), &h.error);
    if (!h.machine)
        return 1;
    h.paths = qir::emulated::answeredPaths(*h.machine);
    return 0;
}

extern "C" const char* qir_machine_error(void) {
    return host().error.c_str();
}

extern "C" size_t qir_machine_path_count(void) {
    return host().paths.size();
}

extern "C" size_t qir_machine_path(size_t index, uint16_t* buffer, size_t capacity) {
    const std::vector<qir::emulated::AnsweredPath>& paths = host().paths;
    if (index >= paths.size())
        return 0;
    const std::u16string& path = paths[index].path;
    size_t n = path.size() < capacity ? path.size() : capacity;
    for (size_t i = 0; i < n; ++i)
        buffer[i] = static_cast<uint16_t>(path[i]);
    return n;
}

extern "C" uint32_t qir_machine_path_open_error(size_t index) {
    const std::vector<qir::emulated::AnsweredPath>& paths = host().paths;
    return index < paths.size() ? paths[index].openError : 0;
}

extern "C" uint32_t qir_machine_open(size_t index, uint32_t access, uint32_t shareMode,
                                     uint32_t disposition, uint32_t flags, intptr_t* handle) {
    Host& h = host();
    *handle = qir::platform::kInvalidHandle;
    if (!h.machine || index >= h.paths.size())
        return 2; // ERROR_FILE_NOT_FOUND
    *handle = h.machine->createFile(h.paths[index].path, access, shareMode, disposition, flags);
    return *handle == qir::platform::kInvalidHandle ? h.machine->getLastError() : 0;
}

extern "C" uint32_t qir_machine_control(intptr_t handle, uint32_t controlCode, void* buffer,
                                        uint32_t inSize, uint32_t outSize, uint32_t* returned) {
    Host& h = host();
    *returned = 0;
    if (!h.machine)
        return 6; // ERROR_INVALID_HANDLE
    if (h.machine->deviceIoControl(handle, controlCode, buffer, inSize, buffer, outSize, returned))
        return 0;
    *returned = 0;
    return h.machine->getLastError();
}

extern "C" void qir_machine_close(intptr_t handle) {
    Host& h = host();
    if (h.machine)
        h.machine->closeHandle(handle);
}

extern "C" int qir_machine_write(int32_t resultCode, const uint16_t* statePath, size_t stateLength,
                                 const uint16_t* tracePath, size_t traceLength) {
    Host& h = host();
    if (!h.machine)
        return 1;
    h.machine->resultCode = resultCode;
    int failed =
        qir::host::writeWholeFile(unitsOf(statePath, stateLength), h.machine->stateJson()) ? 0 : 1;
    if (traceLength) {
        std::string trace;
        for (const std::string& line : h.machine->trace())
            trace += line + "\n";
        failed += qir::host::writeWholeFile(unitsOf(tracePath, traceLength), trace) ? 0 : 1;
    }
    return failed;
}
