// qir-rebuild-check: the property of the rebuild (sweep/rebuild_property.h) on a series of
// generated machines (sim/machine_generator.h), in one process.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/machine_generator.h"
#include "sweep/rebuild_property.h"
#include "sweep/unseen_facts.h"

namespace {

const char kUsage[] =
    "usage: qir-rebuild-check --seed N --count K [--first I] [--profile full|wine]\n"
    "                         [--keep DIR] [--show N] [--carry FACT,...|none]\n"
    "Checks machines I..I+K-1 of series N: each scanned with a capture, rebuilt and scanned\n"
    "again must give the same exit code, report, JSON and capture body; its update run\n"
    "must give the same exit code, output, log (times masked) and commits as the rebuilt\n"
    "machine's, once the facts no capture holds are carried over (--carry: only those\n"
    "named, of slots, activation, faults, granularity, staged); and the byte\n"
    "blocks of its capture may take at most ten characters for each non-zero byte they\n"
    "hold (16 for a block without one). --keep writes each machine\n"
    "that fails, and its rebuilt machine, into DIR; --show prints the first N failures\n"
    "(default 10). Exit code 0 when every machine holds, 1 when one does not, 2 for usage.\n";

bool number(const char* text, uint64_t* value) {
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 0);
    if (!*text || *end || *text == '-')
        return false;
    *value = v;
    return true;
}

// "none", or names of unseenFactNames() separated by commas.
bool factsNamed(const std::string& list, std::vector<std::string>* facts) {
    facts->clear();
    if (list == "none")
        return true;
    std::istringstream in(list);
    for (std::string name; std::getline(in, name, ',');) {
        const std::vector<std::string>& known = qir::sweep::unseenFactNames();
        if (std::find(known.begin(), known.end(), name) == known.end())
            return false;
        facts->push_back(name);
    }
    return !facts->empty();
}

} // namespace

int main(int argc, char** argv) {
    uint64_t seed = 0, count = 0, first = 0, show = 10;
    bool haveSeed = false, haveCount = false;
    std::string keep;
    qir::sim::GeneratorOptions options;
    std::vector<std::string> facts = qir::sweep::unseenFactNames();
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        bool ok = true;
        if (a == "--seed")
            ok = haveSeed = number(argv[i + 1], &seed);
        else if (a == "--count")
            ok = haveCount = number(argv[i + 1], &count);
        else if (a == "--first")
            ok = number(argv[i + 1], &first);
        else if (a == "--show")
            ok = number(argv[i + 1], &show);
        else if (a == "--keep")
            keep = argv[i + 1];
        else if (a == "--carry")
            ok = factsNamed(argv[i + 1], &facts);
        else if (a == "--profile")
            ok = qir::sim::generatorProfileNamed(argv[i + 1], &options.profile);
        else
            ok = false;
        if (!ok) {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (!haveSeed || !haveCount || argc % 2 == 0) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "qir_rebuild_XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        std::perror("qir-rebuild-check: mkdtemp");
        return 2;
    }
    auto started = std::chrono::steady_clock::now();
    uint64_t failed = 0, tooLarge = 0, byUpdate = 0;
    size_t largestRatioBytes = 0, largestRatioNonZero = 1;
    for (uint64_t k = first; k < first + count; ++k) {
        std::string description = qir::sim::generatedMachine(seed, k, options);
        qir::sweep::RebuildVerdict v = qir::sweep::checkRebuild(description, folder, facts);
        bool small = qir::sweep::smallEnough(v);
        if (v.blockText * largestRatioNonZero >
            largestRatioBytes * std::max<size_t>(v.nonZeroBytes, 1)) {
            largestRatioBytes = v.blockText;
            largestRatioNonZero = std::max<size_t>(v.nonZeroBytes, 1);
        }
        if (v.held && small)
            continue;
        if (!small && v.held) {
            ++tooLarge;
            v.why = "its byte blocks take " + std::to_string(v.blockText) + " characters for " +
                    std::to_string(v.nonZeroBytes) + " non-zero bytes";
        }
        byUpdate += v.updateDiffered;
        if (++failed <= show)
            std::fprintf(stderr, "machine %llu of seed %llu: %s\n",
                         static_cast<unsigned long long>(k), static_cast<unsigned long long>(seed),
                         v.why.c_str());
        if (!keep.empty()) {
            std::ofstream(keep + "/machine-" + std::to_string(k) + ".json") << description;
            if (!v.rebuilt.empty())
                std::ofstream(keep + "/machine-" + std::to_string(k) + ".rebuilt.json")
                    << v.rebuilt;
        }
    }
    std::filesystem::remove_all(folder);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("rebuild property: %llu machines of seed %llu from %llu (%s profile), %llu failed "
                "(%llu by capture size, %llu by the update run), byte blocks at most %.1f "
                "characters a non-zero byte, %.1f s\n",
                static_cast<unsigned long long>(count), static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(first),
                options.profile == qir::sim::GeneratorProfile::Wine ? "wine" : "full",
                static_cast<unsigned long long>(failed), static_cast<unsigned long long>(tooLarge),
                static_cast<unsigned long long>(byUpdate),
                static_cast<double>(largestRatioBytes) / static_cast<double>(largestRatioNonZero),
                seconds);
    return failed ? 1 : 0;
}
