// The property a rebuild must have, checked on one machine description: the scan of the
// machine, recorded, rebuilt and scanned (and recorded) again, gives the same exit code,
// report, JSON and capture body; the update run of the rebuilt machine, once the facts no
// capture holds are carried over (sweep/unseen_facts.h), goes as the original's; and the
// capture is small for what it holds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qir::sweep {

struct RebuildVerdict {
    bool held = false;
    std::string why;             // what differed, or why a step refused
    bool updateDiffered = false; // the scans held and the update runs parted
    std::string rebuilt;         // the rebuilt description, when there was one
    size_t captureBytes = 0;     // size of the first capture file
    size_t blockText = 0;        // characters of its byte blocks
    size_t nonZeroBytes = 0;     // non-zero bytes they hold
    size_t zeroBlocks = 0;       // blocks that hold none
};

// Runs in this process, on scratch files in `folder` (which must exist; the files are
// overwritten from one machine to the next). `unseenFacts` names the facts carried over
// before the update runs are compared (unseenFactNames() for all of them).
RebuildVerdict checkRebuild(const std::string& description, const std::string& folder,
                            const std::vector<std::string>& unseenFacts);
RebuildVerdict checkRebuild(const std::string& description, const std::string& folder);

// The byte blocks of a capture take at most this many characters for each non-zero byte
// they hold, and a block without one at most kZeroBlockText: what a capture takes beyond
// them is its header and one line of keys for each call, whatever the machine answered.
inline constexpr size_t kBlockTextPerNonZeroByte = 10;
inline constexpr size_t kZeroBlockText = 16;

inline bool smallEnough(const RebuildVerdict& v) {
    return v.blockText <= kBlockTextPerNonZeroByte * v.nonZeroBytes + kZeroBlockText * v.zeroBlocks;
}

} // namespace qir::sweep
