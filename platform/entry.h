// What each executable runs once its platform entry has the wide arguments.
#pragma once

namespace qir {

int programMain(int argc, const char16_t* const* argv);

} // namespace qir
