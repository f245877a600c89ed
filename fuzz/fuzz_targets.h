// The bodies of the fuzzers, callable from libFuzzer and from the replay tests alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qir::fuzz {

// DiskUpdater::run with the production operations on a platform drawn from the input.
int runDiskUpdaterInput(const uint8_t* data, size_t size);

// One discovery, identification or update operation, chosen by the input, on a record
// and a platform drawn from it.
int runRoutesInput(const uint8_t* data, size_t size);

// The machine description loader on the input text; a description it takes is then run.
int runMachineLoaderInput(const uint8_t* data, size_t size);
bool machineLoaderAvailable();

// The capture reader on the input text; a capture it takes is replayed to the tool, then
// rebuilt into a machine the tool runs on.
int runCaptureReaderInput(const uint8_t* data, size_t size);

// The main routine on an empty simulated machine with arguments split from the input.
int runCommandLineInput(const uint8_t* data, size_t size);

// Splits the input into the main routine's arguments (argument 0 excluded): one per line;
// bytes below 0x80 stand for themselves, 0xFE and two bytes for one raw 16-bit unit, any
// other byte for its zero-extended value.
std::vector<std::u16string> splitArguments(const uint8_t* data, size_t size);

// Rewrites an argument so that a path in it can only name a file in the current folder:
// after the first '=' every separator becomes '_', and "." or ".." gets a '_' prefix.
std::u16string confineLogPath(const std::u16string& argument);

} // namespace qir::fuzz
