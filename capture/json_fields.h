// The one strict reader of the JSON the tool's own files are made of: machine
// descriptions, captures and the recorded answers a description carries. A key nobody
// reads is refused rather than ignored, and every refusal names where it stands
// ("devices[2].class: ..."), so that a misspelt file is never half read.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <string>

namespace qir::capture {

// A refused file; the reader's edge turns it into its error text.
struct JsonRefusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws JsonRefusal("<where>: <what>").
[[noreturn]] void refuseJson(const std::string& where, const std::string& what);

// A number given as a JSON number or as a text strtoll reads ("0x1D7A", "-1"), within
// low..high.
int64_t jsonInteger(const nlohmann::json& value, const std::string& where, int64_t low,
                    int64_t high);
std::string jsonString(const nlohmann::json& value, const std::string& where);
std::u16string jsonWide(const nlohmann::json& value, const std::string& where);
bool jsonFlag(const nlohmann::json& value, const std::string& where);
// The value itself, refused unless it is an array.
const nlohmann::json& jsonArray(const nlohmann::json& value, const std::string& where);

// One object, read key by key.
class JsonFields {
  public:
    // Refuses anything but an object.
    JsonFields(const nlohmann::json& object, std::string where);
    // The same, and refuses at once a key outside `keys`.
    JsonFields(const nlohmann::json& object, std::string where,
               std::initializer_list<const char*> keys);

    bool has(const char* key) const { return object_.contains(key); }
    // The value, or nullptr when the key is absent.
    const nlohmann::json* find(const char* key);
    // The value; refused when the key is absent.
    const nlohmann::json& at(const char* key);

    int64_t integer(const char* key, int64_t low, int64_t high) {
        return jsonInteger(at(key), where(key), low, high);
    }
    std::string string(const char* key) { return jsonString(at(key), where(key)); }
    std::u16string wide(const char* key) { return jsonWide(at(key), where(key)); }
    bool flag(const char* key) { return jsonFlag(at(key), where(key)); }

    // Refuses the first key that find() or at() never asked for.
    void finish() const;

    const std::string& where() const { return where_; }
    std::string where(const char* key) const { return where_ + "." + key; }

  private:
    const nlohmann::json& object_;
    std::string where_;
    std::set<std::string> used_;
};

} // namespace qir::capture
