#include "capture/json_fields.h"

#include <cerrno>
#include <cstdlib>

#include "platform/text_encoding.h"

namespace qir::capture {

using nlohmann::json;

void refuseJson(const std::string& where, const std::string& what) {
    throw JsonRefusal(where + ": " + what);
}

int64_t jsonInteger(const json& value, const std::string& where, int64_t low, int64_t high) {
    int64_t v = 0;
    if (value.is_number_unsigned()) {
        if (value.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX))
            refuseJson(where, "number out of range");
        v = static_cast<int64_t>(value.get<uint64_t>());
    } else if (value.is_number_integer()) {
        v = value.get<int64_t>();
    } else if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        char* end = nullptr;
        errno = 0;
        v = std::strtoll(text.c_str(), &end, 0);
        if (text.empty() || *end != '\0' || errno == ERANGE)
            refuseJson(where, "\"" + text + "\" is not a number");
    } else {
        refuseJson(where, "must be a number");
    }
    if (v < low || v > high)
        refuseJson(where, std::to_string(v) + " is out of range " + std::to_string(low) + ".." +
                              std::to_string(high));
    return v;
}

std::string jsonString(const json& value, const std::string& where) {
    if (!value.is_string())
        refuseJson(where, "must be a string");
    return value.get<std::string>();
}

std::u16string jsonWide(const json& value, const std::string& where) {
    return text::fromUtf8(jsonString(value, where));
}

bool jsonFlag(const json& value, const std::string& where) {
    if (!value.is_boolean())
        refuseJson(where, "must be true or false");
    return value.get<bool>();
}

const json& jsonArray(const json& value, const std::string& where) {
    if (!value.is_array())
        refuseJson(where, "must be an array");
    return value;
}

JsonFields::JsonFields(const json& object, std::string where)
    : object_(object), where_(std::move(where)) {
    if (!object_.is_object())
        refuseJson(where_, "must be an object");
}

JsonFields::JsonFields(const json& object, std::string where,
                       std::initializer_list<const char*> keys)
    : JsonFields(object, std::move(where)) {
    for (auto it = object_.begin(); it != object_.end(); ++it) {
        bool known = false;
        for (const char* key : keys)
            known = known || it.key() == key;
        if (!known)
            refuseJson(where_, "unknown key \"" + it.key() + "\"");
    }
}

const json* JsonFields::find(const char* key) {
    auto it = object_.find(key);
    if (it == object_.end())
        return nullptr;
    used_.insert(key);
    return &*it;
}

const json& JsonFields::at(const char* key) {
    const json* value = find(key);
    if (!value)
        refuseJson(where_, std::string("needs \"") + key + "\"");
    return *value;
}

void JsonFields::finish() const {
    for (auto it = object_.begin(); it != object_.end(); ++it)
        if (!used_.count(it.key()))
            refuseJson(where_, "unknown key \"" + it.key() + "\"");
}

} // namespace qir::capture
