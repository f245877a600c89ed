// The machine generator: every machine it draws is one the loader takes, a series is the
// same whenever it is drawn, and the restricted profile keeps to what it promises.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "sim/machine_generator.h"
#include "sim/machine_loader.h"

namespace {

using qir::sim::GeneratorOptions;
using qir::sim::GeneratorProfile;

TEST(MachineGenerator, DrawsMachinesTheLoaderTakesTheSameEveryTime) {
    for (GeneratorProfile profile : {GeneratorProfile::Full, GeneratorProfile::Wine})
        for (uint64_t k = 0; k < 150; ++k) {
            std::string text = qir::sim::generatedMachine(7, k, {profile});
            std::string error;
            EXPECT_TRUE(qir::sim::loadMachine(text, &error)) << k << ": " << error;
            EXPECT_EQ(qir::sim::generatedMachine(7, k, {profile}), text);
        }
    EXPECT_NE(qir::sim::generatedMachine(7, 0), qir::sim::generatedMachine(8, 0));
}

TEST(MachineGenerator, TheWineProfileHoldsNothingTheStockSetupApiCannotShow) {
    for (uint64_t k = 0; k < 300; ++k) {
        nlohmann::json m =
            nlohmann::json::parse(qir::sim::generatedMachine(3, k, {GeneratorProfile::Wine}));
        for (const auto& d : m["devices"])
            for (const char* key : {"property_errors", "interface_detail_error", "dev_inst"})
                EXPECT_FALSE(d.contains(key)) << k << ": " << key;
        for (const auto& f : m["faults"])
            EXPECT_NE(f["kind"], "get_class_devs") << k;
    }
}

} // namespace
