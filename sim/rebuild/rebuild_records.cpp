#include "sim/rebuild/rebuild_records.h"

#include "platform/text_encoding.h"
#include "platform/win_constants.h"

namespace qir::sim::rebuild {

void refuse(size_t entry, const std::string& why) {
    throw RebuildError("calls[" + std::to_string(entry) + "]: " + why);
}

bool driverKnows(const Request& r) {
    if (r.kind == RequestKind::Other || writesFirmware(r.kind))
        return false;
    return r.call->ok || r.call->error != win::ERROR_INVALID_FUNCTION;
}

nlohmann::ordered_json requestFault(const Request& r, const char* effect, uint32_t value) {
    return {{"kind", requestKindName(r.kind)},
            {"occurrence", r.occurrence},
            {"path", text::toUtf8(r.path)},
            {effect, value}};
}

} // namespace qir::sim::rebuild
