// The tool's name as the banner and the message box caption show it.
#pragma once

namespace qir {

inline constexpr char16_t kToolVersionPrefix[] = u"QIR_TX7Q3_V1.0.0_";

// Fills the working copy of the image, reads its revision and sets toolVersionName.
void initToolIdentity();

} // namespace qir
