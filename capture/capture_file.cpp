#include "capture/capture_file.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>

#include "capture/hex_text.h"
#include "capture/json_fields.h"
#include "platform/guid_text.h"
#include "platform/text_encoding.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace qir::capture {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

struct OpEntry {
    Op op;
    const char* name;
};

const OpEntry kOps[] = {
    {Op::GetClassDevs, "get_class_devs"},
    {Op::EnumDeviceInfo, "enum_device_info"},
    {Op::EnumDeviceInterfaces, "enum_device_interfaces"},
    {Op::GetInterfaceDetail, "get_interface_detail"},
    {Op::GetRegistryProperty, "get_registry_property"},
    {Op::GetDeviceProperty, "get_device_property"},
    {Op::DestroyDeviceInfoList, "destroy_device_info_list"},
    {Op::CreateFile, "create_file"},
    {Op::DeviceIoControl, "device_io_control"},
    {Op::CloseHandle, "close_handle"},
    {Op::GetLastError, "get_last_error"},
    {Op::MessageBox, "message_box"},
    {Op::GetModuleHandle, "get_module_handle"},
    {Op::GetCommandLine, "get_command_line"},
    {Op::FrameworkStartup, "framework_startup"},
    {Op::LocalTime, "local_time"},
    {Op::TakeLock, "take_lock"},
    {Op::ReleaseLock, "release_lock"},
    {Op::GetPowerStatus, "get_power_status"},
};

struct LockEntry {
    platform::LockResult result;
    const char* name;
};

const LockEntry kLockResults[] = {
    {platform::LockResult::Taken, "taken"},
    {platform::LockResult::TakenOverAbandoned, "taken_over_abandoned"},
    {platform::LockResult::HeldElsewhere, "held_elsewhere"},
    {platform::LockResult::NotPermitted, "not_permitted"},
    {platform::LockResult::Failed, "failed"},
};

// Only a lock that could not be tried has a Windows error to tell: one held elsewhere was
// tried and found so, whatever error the calls before left behind.
bool lockFailed(platform::LockResult result) {
    return result == platform::LockResult::NotPermitted || result == platform::LockResult::Failed;
}

const char* lockResultName(platform::LockResult result) {
    for (const LockEntry& e : kLockResults)
        if (e.result == result)
            return e.name;
    return "failed";
}

using platform::guidText;

ordered_json guidOrNull(const std::optional<platform::Guid>& g) {
    return g ? ordered_json(guidText(*g)) : ordered_json(nullptr);
}

std::string utf8(const std::u16string& text) {
    return text::toUtf8(text);
}

std::string timeText(const platform::LocalTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

ordered_json questionOf(const CapturedCall& c) {
    ordered_json j;
    j["op"] = opName(c.op);
    switch (c.op) {
    case Op::GetClassDevs:
        j["class"] = guidOrNull(c.guid);
        j["flags"] = hexText(c.number);
        break;
    case Op::EnumDeviceInfo:
        j["set"] = c.target;
        j["index"] = c.number;
        break;
    case Op::EnumDeviceInterfaces:
        j["set"] = c.target;
        j["dev_inst"] = c.devInst ? ordered_json(*c.devInst) : ordered_json(nullptr);
        j["class"] = guidOrNull(c.guid);
        j["index"] = c.number;
        break;
    case Op::GetInterfaceDetail:
        j["set"] = c.target;
        j["class"] = guidOrNull(c.guid);
        j["size"] = c.size;
        j["buffer"] = c.buffer;
        j["info"] = c.info;
        break;
    case Op::GetRegistryProperty:
    case Op::GetDeviceProperty:
        j["set"] = c.target;
        j["dev_inst"] = c.devInst ? ordered_json(*c.devInst) : ordered_json(nullptr);
        if (c.op == Op::GetRegistryProperty)
            j["property"] = c.number;
        else
            j["key"] =
                (c.guid ? guidText(*c.guid) : std::string("{}")) + " " + std::to_string(c.number);
        j["size"] = c.size;
        j["buffer"] = c.buffer;
        break;
    case Op::DestroyDeviceInfoList:
        j["set"] = c.target;
        break;
    case Op::CreateFile:
        j["path"] = utf8(c.text);
        j["access"] = hexText(c.number);
        j["share"] = c.share;
        j["disposition"] = c.disposition;
        j["flags"] = hexText(c.flags);
        break;
    case Op::DeviceIoControl:
        j["handle"] = c.target;
        j["code"] = hexText(c.number);
        j["in_size"] = c.inSize;
        j["in"] = c.buffer ? ordered_json(compactHexOf(c.in)) : ordered_json(nullptr);
        j["out_size"] = c.size;
        break;
    case Op::CloseHandle:
        j["handle"] = c.target;
        break;
    case Op::MessageBox:
        j["text"] = utf8(c.text);
        j["caption"] = utf8(c.caption);
        j["type"] = c.number;
        break;
    case Op::FrameworkStartup:
        j["module"] = c.target;
        j["command_line"] = utf8(c.text);
        j["show"] = c.number;
        break;
    case Op::TakeLock:
        j["name"] = utf8(c.text);
        break;
    case Op::ReleaseLock:
        j["lock"] = c.target;
        break;
    case Op::GetPowerStatus:
    case Op::GetLastError:
    case Op::GetModuleHandle:
    case Op::GetCommandLine:
    case Op::LocalTime:
        break;
    }
    return j;
}

void putOptional(ordered_json& j, const char* key, const std::optional<uint32_t>& value) {
    if (value)
        j[key] = *value;
}

ordered_json callOf(const CapturedCall& c) {
    ordered_json j = questionOf(c);
    auto failure = [&] {
        if (!c.ok)
            j["error"] = c.error;
    };
    switch (c.op) {
    case Op::GetClassDevs:
        j["set"] = c.result;
        failure();
        break;
    case Op::EnumDeviceInfo:
        j["ok"] = c.ok;
        if (c.ok) {
            putOptional(j, "out_dev_inst", c.outDevInst);
            j["out_class"] = guidOrNull(c.outGuid);
        }
        failure();
        break;
    case Op::EnumDeviceInterfaces:
        j["ok"] = c.ok;
        if (c.ok) {
            j["out_class"] = guidOrNull(c.outGuid);
            j["out_flags"] = c.outFlags;
        }
        failure();
        break;
    case Op::GetInterfaceDetail:
    case Op::GetRegistryProperty:
    case Op::GetDeviceProperty:
        j["ok"] = c.ok;
        putOptional(j, "type", c.type);
        putOptional(j, "required", c.required);
        if (c.ok && c.buffer)
            j["bytes"] = compactHexOf(c.out);
        putOptional(j, "out_dev_inst", c.outDevInst);
        failure();
        break;
    case Op::DestroyDeviceInfoList:
    case Op::CloseHandle:
    case Op::FrameworkStartup:
        j["ok"] = c.ok;
        failure();
        break;
    case Op::CreateFile:
        j["handle"] = c.result;
        failure();
        break;
    case Op::DeviceIoControl:
        j["ok"] = c.ok;
        j["returned"] = c.returned;
        j["out"] = compactHexOf(c.out);
        failure();
        break;
    case Op::GetLastError:
        j["error"] = c.error;
        break;
    case Op::MessageBox:
    case Op::GetModuleHandle:
        j["result"] = c.result;
        break;
    case Op::GetCommandLine:
        j["text"] = utf8(c.text);
        break;
    case Op::LocalTime:
        j["time"] = timeText(c.time);
        break;
    case Op::TakeLock:
        j["result"] = lockResultName(c.lock);
        j["lock"] = c.result;
        if (lockFailed(c.lock))
            j["error"] = c.error;
        break;
    case Op::ReleaseLock:
        j["ok"] = c.ok;
        failure();
        break;
    case Op::GetPowerStatus:
        j["ok"] = c.ok;
        if (c.ok) {
            j["ac_line_status"] = c.power.acLineStatus;
            j["battery_flag"] = c.power.batteryFlag;
            j["battery_life_percent"] = c.power.batteryLifePercent;
        }
        failure();
        break;
    }
    return j;
}

std::string line(const ordered_json& j) {
    // A text the device handed out may hold a lone surrogate, which has no UTF-8 form.
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

// ---- Reading ---------------------------------------------------------------------------

// One call's object, read key by key; the capture's own values on top of the strict
// reader.
class Fields : public JsonFields {
  public:
    // `budget`: the bytes the blocks of the rest of the capture may still hold, so that a
    // few short runs cannot ask for more memory than any machine's answers take.
    Fields(const json& object, std::string where, size_t* budget)
        : JsonFields(object, std::move(where)), budget_(budget) {}

    uint32_t u32(const char* key) { return static_cast<uint32_t>(integer(key, 0, UINT32_MAX)); }
    int64_t pointerSized(const char* key) { return integer(key, INT64_MIN, INT64_MAX); }
    std::optional<uint32_t> optionalU32(const char* key) {
        if (!has(key))
            return std::nullopt;
        return u32(key);
    }
    std::optional<uint32_t> u32OrNull(const char* key) {
        if (at(key).is_null())
            return std::nullopt;
        return u32(key);
    }
    std::vector<uint8_t> hex(const char* key) {
        std::string text = string(key);
        std::vector<uint8_t> bytes;
        std::string why;
        if (!readHexText(text, *budget_, &bytes, &why))
            refuseJson(where(key), why);
        *budget_ -= bytes.size();
        return bytes;
    }
    std::optional<platform::Guid> guidOrNull(const char* key) {
        if (at(key).is_null())
            return std::nullopt;
        platform::Guid g{};
        if (!parseGuid(string(key), &g))
            refuseJson(where(key), "expected a GUID as {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
        return g;
    }
    void propertyKey(CapturedCall& c) {
        std::string text = string("key");
        platform::Guid g{};
        size_t blank = text.find(' ');
        char* end = nullptr;
        unsigned long pid =
            blank == std::string::npos ? 0 : std::strtoul(text.c_str() + blank + 1, &end, 10);
        if (blank == std::string::npos || !parseGuid(text.substr(0, blank), &g) ||
            blank + 1 >= text.size() || *end != '\0' || pid > UINT32_MAX)
            refuseJson(where("key"), "expected \"{GUID} pid\"");
        c.guid = g;
        c.number = static_cast<uint32_t>(pid);
    }
    platform::LocalTime time(const char* key) {
        std::string text = string(key);
        platform::LocalTime t{};
        char tail = 0;
        if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.year, &t.month, &t.day,
                        &t.hour, &t.minute, &t.second, &tail) != 6)
            refuseJson(where(key), "expected \"YYYY-MM-DD hh:mm:ss\"");
        return t;
    }

  private:
    static bool parseGuid(const std::string& text, platform::Guid* g) {
        unsigned d1 = 0, d2 = 0, d3 = 0, b[8] = {};
        char tail = 0;
        if (text.size() != 38 ||
            std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%c", &d1, &d2, &d3,
                        &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &tail) != 11)
            return false;
        g->data1 = d1;
        g->data2 = static_cast<uint16_t>(d2);
        g->data3 = static_cast<uint16_t>(d3);
        for (int i = 0; i < 8; ++i)
            g->data4[i] = static_cast<uint8_t>(b[i]);
        return true;
    }

    size_t* budget_;
};

CapturedCall readCall(const json& j, const std::string& where, size_t* budget) {
    Fields f(j, where, budget);
    CapturedCall c;
    std::optional<Op> op = opNamed(f.string("op"));
    if (!op)
        refuseJson(where + ".op", "unknown call \"" + j["op"].get<std::string>() + "\"");
    c.op = *op;
    auto failure = [&] {
        if (!c.ok)
            c.error = f.u32("error");
    };
    switch (c.op) {
    case Op::GetClassDevs:
        c.guid = f.guidOrNull("class");
        c.number = f.u32("flags");
        c.result = f.pointerSized("set");
        c.ok = c.result != platform::kInvalidDevInfoSet;
        failure();
        break;
    case Op::EnumDeviceInfo:
        c.target = f.pointerSized("set");
        c.number = f.u32("index");
        c.ok = f.flag("ok");
        if (c.ok) {
            c.outDevInst = f.optionalU32("out_dev_inst");
            c.outGuid = f.guidOrNull("out_class");
        }
        failure();
        break;
    case Op::EnumDeviceInterfaces:
        c.target = f.pointerSized("set");
        c.devInst = f.u32OrNull("dev_inst");
        c.guid = f.guidOrNull("class");
        c.number = f.u32("index");
        c.ok = f.flag("ok");
        if (c.ok) {
            c.outGuid = f.guidOrNull("out_class");
            c.outFlags = f.u32("out_flags");
        }
        failure();
        break;
    case Op::GetInterfaceDetail:
    case Op::GetRegistryProperty:
    case Op::GetDeviceProperty:
        c.target = f.pointerSized("set");
        if (c.op == Op::GetInterfaceDetail) {
            c.guid = f.guidOrNull("class");
            c.info = f.flag("info");
        } else {
            c.devInst = f.u32OrNull("dev_inst");
            if (c.op == Op::GetRegistryProperty)
                c.number = f.u32("property");
            else
                f.propertyKey(c);
        }
        c.size = f.u32("size");
        c.buffer = f.flag("buffer");
        c.ok = f.flag("ok");
        c.type = f.optionalU32("type");
        c.required = f.optionalU32("required");
        if (c.ok && c.buffer)
            c.out = f.hex("bytes");
        c.outDevInst = f.optionalU32("out_dev_inst");
        failure();
        break;
    case Op::DestroyDeviceInfoList:
    case Op::CloseHandle:
        c.target = f.pointerSized(c.op == Op::CloseHandle ? "handle" : "set");
        c.ok = f.flag("ok");
        failure();
        break;
    case Op::CreateFile:
        c.text = f.wide("path");
        c.number = f.u32("access");
        c.share = f.u32("share");
        c.disposition = f.u32("disposition");
        c.flags = f.u32("flags");
        c.result = f.pointerSized("handle");
        c.ok = c.result != platform::kInvalidHandle;
        failure();
        break;
    case Op::DeviceIoControl:
        c.target = f.pointerSized("handle");
        c.number = f.u32("code");
        c.inSize = f.u32("in_size");
        c.buffer = !f.at("in").is_null();
        if (c.buffer)
            c.in = f.hex("in");
        c.size = f.u32("out_size");
        c.ok = f.flag("ok");
        c.returned = f.u32("returned");
        c.out = f.hex("out");
        failure();
        break;
    case Op::GetLastError:
        c.error = f.u32("error");
        c.ok = true;
        break;
    case Op::MessageBox:
        c.text = f.wide("text");
        c.caption = f.wide("caption");
        c.number = f.u32("type");
        c.result = f.pointerSized("result");
        break;
    case Op::GetModuleHandle:
        c.result = f.pointerSized("result");
        break;
    case Op::GetCommandLine:
        c.text = f.wide("text");
        break;
    case Op::FrameworkStartup:
        c.target = f.pointerSized("module");
        c.text = f.wide("command_line");
        c.number = f.u32("show");
        c.ok = f.flag("ok");
        failure();
        break;
    case Op::LocalTime:
        c.time = f.time("time");
        break;
    case Op::TakeLock: {
        c.text = f.wide("name");
        const std::string result = f.string("result");
        bool known = false;
        for (const LockEntry& e : kLockResults)
            if (result == e.name) {
                c.lock = e.result;
                known = true;
            }
        if (!known)
            refuseJson(where + ".result", "unknown lock result \"" + result + "\"");
        c.result = f.pointerSized("lock");
        c.ok = c.lock == platform::LockResult::Taken ||
               c.lock == platform::LockResult::TakenOverAbandoned;
        if (lockFailed(c.lock))
            c.error = f.u32("error");
        break;
    }
    case Op::ReleaseLock:
        c.target = f.pointerSized("lock");
        c.ok = f.flag("ok");
        failure();
        break;
    case Op::GetPowerStatus:
        c.ok = f.flag("ok");
        if (c.ok) {
            c.power.acLineStatus = static_cast<uint8_t>(f.integer("ac_line_status", 0, 255));
            c.power.batteryFlag = static_cast<uint8_t>(f.integer("battery_flag", 0, 255));
            c.power.batteryLifePercent =
                static_cast<uint8_t>(f.integer("battery_life_percent", 0, 255));
        }
        failure();
        break;
    }
    f.finish();
    return c;
}

} // namespace

const char* opName(Op op) {
    for (const OpEntry& e : kOps)
        if (e.op == op)
            return e.name;
    return nullptr;
}

std::optional<Op> opNamed(const std::string& name) {
    for (const OpEntry& e : kOps)
        if (name == e.name)
            return e.op;
    return std::nullopt;
}

CaptureHeader headerOfThisHost() {
    CaptureHeader header;
    if (const char* name = std::getenv("COMPUTERNAME"))
        header.host = name;
#ifndef _WIN32
    char name[256] = {};
    if (header.host.empty() && gethostname(name, sizeof name - 1) == 0)
        header.host = name;
#endif
    std::time_t now = std::time(nullptr);
    char text[32] = {};
    if (const std::tm* utc = std::gmtime(&now))
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    header.time = text;
    return header;
}

std::string captureText(const CaptureHeader& header, const CallList& calls) {
    ordered_json head;
    head["host"] = header.host;
    head["time"] = header.time;
    if (!header.localTime.empty())
        head["local_time"] = header.localTime;
    std::string text =
        "{\"format\": \"qir-capture\", \"schema\": " + std::to_string(kSchemaVersion) +
        ",\n \"header\": " + line(head) + ",\n \"calls\": [";
    for (size_t i = 0; i < calls.size(); ++i)
        text += (i ? ",\n  " : "\n  ") + line(callOf(calls[i]));
    text += "\n ]}\n";
    return text;
}

std::string questionText(const CapturedCall& call) {
    return line(questionOf(call));
}

std::optional<Capture> readWholeCapture(const std::string& text, std::string* error) {
    try {
        json root = json::parse(text);
        size_t budget = kMostCapturedBytes;
        Fields top(root, "capture", &budget);
        if (top.string("format") != "qir-capture")
            refuseJson("format", "not a capture of this tool");
        int64_t schema = top.integer("schema", INT64_MIN, INT64_MAX);
        if (schema < 1 || schema > kSchemaVersion)
            refuseJson("schema", "this reader knows schemas 1 to " +
                                     std::to_string(kSchemaVersion) + " only");
        const json& head = top.at("header");
        if (!head.is_object())
            refuseJson("header", "must be an object");
        Capture capture;
        // The header is for people and for the clock of a rebuilt machine: its keys are
        // taken as far as they are of use, and never refuse a capture.
        for (auto [key, field] :
             {std::pair{"host", &capture.header.host}, std::pair{"time", &capture.header.time},
              std::pair{"local_time", &capture.header.localTime}})
            if (head.contains(key) && head[key].is_string())
                *field = head[key].get<std::string>();
        const json& calls = top.at("calls");
        if (!calls.is_array())
            refuseJson("calls", "must be an array");
        top.finish();
        capture.calls.reserve(calls.size());
        for (size_t i = 0; i < calls.size(); ++i)
            capture.calls.push_back(
                readCall(calls[i], "calls[" + std::to_string(i) + "]", &budget));
        return capture;
    } catch (const json::exception& e) {
        if (error)
            *error = std::string("capture is not valid JSON: ") + e.what();
    } catch (const JsonRefusal& e) {
        if (error)
            *error = std::string("capture: ") + e.what();
    }
    return std::nullopt;
}

std::optional<CallList> readCapture(const std::string& text, std::string* error) {
    std::optional<Capture> capture = readWholeCapture(text, error);
    if (!capture)
        return std::nullopt;
    return std::move(capture->calls);
}

std::string localTimeText(const platform::LocalTime& time) {
    return timeText(time);
}

} // namespace qir::capture
