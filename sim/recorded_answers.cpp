#include "sim/recorded_answers.h"

#include <nlohmann/json.hpp>

#include "capture/hex_text.h"
#include "platform/text_encoding.h"
#include "sim/request_kinds.h"

namespace qir::sim {

namespace {

// A reply is at most what one request buffer holds.
constexpr size_t kLongestReply = size_t{16} << 20;

bool number(const nlohmann::json& v, int64_t low, int64_t high, int64_t* value) {
    if (v.is_number_unsigned())
        *value = v.get<uint64_t>() > static_cast<uint64_t>(high)
                     ? high + 1
                     : static_cast<int64_t>(v.get<uint64_t>());
    else if (v.is_number_integer())
        *value = v.get<int64_t>();
    else if (v.is_string()) {
        const std::string& text = v.get_ref<const std::string&>();
        char* end = nullptr;
        *value = std::strtoll(text.c_str(), &end, 0);
        if (text.empty() || *end)
            return false;
    } else
        return false;
    return *value >= low && *value <= high;
}

} // namespace

std::string pathKey(const std::u16string& path) {
    std::u16string upper = path;
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - 32);
    return text::toUtf8(upper);
}

const RecordedAnswer* RecordedAnswers::take(const std::u16string& path, const std::string& kind) {
    std::string key = pathKey(path) + "|" + kind;
    uint32_t n = ++asked_[key];
    for (const RecordedAnswer& a : list)
        if (a.occurrence == n && a.request == kind && pathKey(a.path) + "|" + kind == key)
            return &a;
    return nullptr;
}

bool readRecordedAnswers(const nlohmann::json& list, std::vector<RecordedAnswer>* answers,
                         std::string* error) {
    if (!list.is_array()) {
        *error = "answers: must be an array";
        return false;
    }
    for (size_t i = 0; i < list.size(); ++i) {
        std::string where = "answers[" + std::to_string(i) + "]";
        auto refuse = [&](const std::string& key, const std::string& why) {
            *error = where + (key.empty() ? "" : "." + key) + ": " + why;
            return false;
        };
        const nlohmann::json& j = list[i];
        if (!j.is_object())
            return refuse("", "must be an object");
        for (auto it = j.begin(); it != j.end(); ++it)
            if (it.key() != "path" && it.key() != "request" && it.key() != "occurrence" &&
                it.key() != "error" && it.key() != "out")
                return refuse("", "unknown key \"" + it.key() + "\"");
        RecordedAnswer a;
        if (!j.contains("path") || !j["path"].is_string() || j["path"].get<std::string>().empty())
            return refuse("path", "needs the path the request was sent on");
        a.path = text::fromUtf8(j["path"].get<std::string>());
        if (!j.contains("request") || !j["request"].is_string() ||
            !isRequestKind(j["request"].get<std::string>()))
            return refuse("request", "needs a request kind of the trace");
        a.request = j["request"].get<std::string>();
        if (writesFirmware(a.request))
            return refuse("request", "a firmware download or commit is the drive's to answer");
        int64_t value = 0;
        if (j.contains("occurrence")) {
            if (!number(j["occurrence"], 1, UINT32_MAX, &value))
                return refuse("occurrence", "must be a number from 1");
            a.occurrence = static_cast<uint32_t>(value);
        }
        if (j.contains("error")) {
            if (!number(j["error"], 1, UINT32_MAX, &value))
                return refuse("error", "must be a Windows error from 1");
            a.error = static_cast<uint32_t>(value);
        }
        if (j.contains("out")) {
            std::string why;
            if (!j["out"].is_string() ||
                !capture::readHexText(j["out"].get<std::string>(), kLongestReply, &a.out, &why))
                return refuse("out", j["out"].is_string() ? why : "must be a hexadecimal text");
        }
        for (const RecordedAnswer& other : *answers)
            if (other.request == a.request && other.occurrence == a.occurrence &&
                pathKey(other.path) == pathKey(a.path))
                return refuse("", "a second answer to the same request");
        answers->push_back(std::move(a));
    }
    return true;
}

} // namespace qir::sim
