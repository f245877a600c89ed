// Machine descriptions (docs/simulator.md) drawn at random from a seed: inbox, RST and VROC
// machines with odd answers and failures at every question a look at a machine asks, for
// the checks that must hold on machines nobody wrote by hand. The same seed and index
// give the same description on every host and build.
#pragma once

#include <cstdint>
#include <string>

namespace qir::sim {

enum class GeneratorProfile {
    // Everything the description format holds.
    Full,
    // Only what a machine behind the stock SetupAPI can show: no device set that cannot
    // be had, no property failing with an error of its own, no interface detail failing,
    // no instance numbers of the description's choosing, instance ids of three parts; and
    // only what Wine's kernel lets the emulated Windows machine make of an open: errors
    // 2 and 3, every time, on a path of its own (docs/emulated-windows.md).
    Wine,
};

struct GeneratorOptions {
    GeneratorProfile profile = GeneratorProfile::Full;
};

// Machine number `index` of the series `seed`: a description the loader accepts. The
// machines of a series do not depend on how many of them are asked for.
std::string generatedMachine(uint64_t seed, uint64_t index, const GeneratorOptions& options = {});

// "full" or "wine"; false for any other name.
bool generatorProfileNamed(const std::string& name, GeneratorProfile* profile);

} // namespace qir::sim
