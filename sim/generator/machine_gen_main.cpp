// qir-machine-gen: writes machine descriptions drawn from a seed (sim/machine_generator.h),
// one to standard output or a series into a folder, for scripts and other test benches.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "sim/machine_generator.h"

namespace {

const char kUsage[] =
    "usage: qir-machine-gen --seed N [--profile full|wine] --index I\n"
    "       qir-machine-gen --seed N [--profile full|wine] [--first I] --count K --out DIR\n"
    "The first form writes machine I of series N to standard output; the second writes\n"
    "machines I..I+K-1 to DIR/machine-<index>.json (the folder must exist).\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

bool number(const char* text, uint64_t* value) {
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text, &end, 0);
    if (!*text || *end || errno == ERANGE || *text == '-')
        return false;
    *value = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    uint64_t seed = 0, index = 0, first = 0, count = 0;
    bool haveSeed = false, haveIndex = false, haveCount = false;
    std::string out;
    qir::sim::GeneratorOptions options;
    // Every option takes a value: the arguments come in pairs.
    for (int i = 1; i < argc; i += 2) {
        std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!v)
            return usage();
        bool ok = true;
        if (a == "--seed")
            ok = haveSeed = number(v, &seed);
        else if (a == "--index")
            ok = haveIndex = number(v, &index);
        else if (a == "--first")
            ok = number(v, &first);
        else if (a == "--count")
            ok = haveCount = number(v, &count);
        else if (a == "--out")
            out = v;
        else if (a == "--profile")
            ok = qir::sim::generatorProfileNamed(v, &options.profile);
        else
            ok = false;
        if (!ok)
            return usage();
    }
    if (haveSeed && haveIndex && !haveCount && out.empty()) {
        std::fputs(qir::sim::generatedMachine(seed, index, options).c_str(), stdout);
        return 0;
    }
    if (!haveSeed || haveIndex || !haveCount || out.empty())
        return usage();
    for (uint64_t k = first; k < first + count; ++k) {
        std::string path = out + "/machine-" + std::to_string(k) + ".json";
        std::ofstream file(path, std::ios::binary);
        file << qir::sim::generatedMachine(seed, k, options);
        if (!file.flush()) {
            std::fprintf(stderr, "qir-machine-gen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
