// A machine on which every open succeeds and every request is answered as it was sent,
// with each call counted: a request sent where none may go shows up in the counts.
#pragma once

#include <cstdint>
#include <string>

#include "platform/forwarding_platform.h"
#include "sim/sim_machine.h"

namespace qir::testing {

// An empty machine answers every call the counting machine leaves alone.
struct EmptyMachine {
    sim::SimMachine empty;
};

class CountingMachine : private EmptyMachine, public platform::ForwardingPlatform {
  public:
    CountingMachine() : ForwardingPlatform(empty) {}
    int opens = 0;
    int closes = 0;
    int requests = 0;
    platform::Handle createFile(const std::u16string&, uint32_t, uint32_t, uint32_t,
                                uint32_t) override {
        ++opens;
        return 0x77;
    }
    bool closeHandle(platform::Handle) override {
        ++closes;
        return true;
    }
    bool deviceIoControl(platform::Handle, uint32_t, void*, uint32_t, void*, uint32_t,
                         uint32_t*) override {
        ++requests;
        return true;
    }
};

} // namespace qir::testing
