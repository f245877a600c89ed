#include "sim/rebuild/rebuild_records.h"

#include "platform/text_encoding.h"

namespace qir::sim::rebuild {

void refuse(size_t entry, const std::string& why) {
    throw RebuildError("calls[" + std::to_string(entry) + "]: " + why);
}

nlohmann::ordered_json requestFault(const Request& r, const char* effect, uint32_t value) {
    return {{"kind", requestKindName(r.kind)},
            {"occurrence", r.occurrence},
            {"path", text::toUtf8(r.path)},
            {effect, value}};
}

} // namespace qir::sim::rebuild
