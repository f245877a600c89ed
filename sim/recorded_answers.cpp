#include "sim/recorded_answers.h"

#include <nlohmann/json.hpp>

#include "capture/hex_text.h"
#include "capture/json_fields.h"
#include "platform/text_encoding.h"
#include "sim/request_kinds.h"

namespace qir::sim {

namespace {

// A reply is at most what one request buffer holds.
constexpr size_t kLongestReply = size_t{16} << 20;

} // namespace

std::string pathKey(const std::u16string& path) {
    std::u16string upper = path;
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - 32);
    return text::toUtf8(upper);
}

const RecordedAnswer* RecordedAnswers::take(const std::u16string& path, RequestKind kind) {
    std::string key = pathKey(path) + "|" + requestKindName(kind);
    uint32_t n = ++asked_[key];
    for (const RecordedAnswer& a : list)
        if (a.occurrence == n && a.request == kind && pathKey(a.path) == pathKey(path))
            return &a;
    return nullptr;
}

namespace {

RecordedAnswer readAnswer(const nlohmann::json& j, const std::string& where) {
    capture::JsonFields f(j, where, {"path", "request", "occurrence", "error", "out"});
    RecordedAnswer a;
    const nlohmann::json* path = f.find("path");
    if (!path || !path->is_string() || path->get_ref<const std::string&>().empty())
        capture::refuseJson(f.where("path"), "needs the path the request was sent on");
    a.path = text::fromUtf8(path->get<std::string>());
    const nlohmann::json* request = f.find("request");
    std::optional<RequestKind> kind;
    if (request && request->is_string())
        kind = requestKindNamed(request->get<std::string>());
    if (!kind || !toldFromBytes(*kind))
        capture::refuseJson(f.where("request"), "needs a request kind of the trace");
    a.request = *kind;
    if (writesFirmware(a.request))
        capture::refuseJson(f.where("request"),
                            "a firmware download or commit is the drive's to answer");
    if (f.has("occurrence"))
        a.occurrence = static_cast<uint32_t>(f.integer("occurrence", 1, UINT32_MAX));
    if (f.has("error"))
        a.error = static_cast<uint32_t>(f.integer("error", 1, UINT32_MAX));
    if (f.has("out")) {
        std::string why;
        if (!capture::readHexText(f.string("out"), kLongestReply, &a.out, &why))
            capture::refuseJson(f.where("out"), why);
    }
    return a;
}

} // namespace

bool readRecordedAnswers(const nlohmann::json& list, std::vector<RecordedAnswer>* answers,
                         std::string* error) {
    try {
        capture::jsonArray(list, "answers");
        for (size_t i = 0; i < list.size(); ++i) {
            std::string where = "answers[" + std::to_string(i) + "]";
            RecordedAnswer a = readAnswer(list[i], where);
            for (const RecordedAnswer& other : *answers)
                if (other.request == a.request && other.occurrence == a.occurrence &&
                    pathKey(other.path) == pathKey(a.path))
                    capture::refuseJson(where, "a second answer to the same request");
            answers->push_back(std::move(a));
        }
    } catch (const capture::JsonRefusal& e) {
        *error = e.what();
        return false;
    }
    return true;
}

} // namespace qir::sim
