// The revision of the image qir.exe carries, as the build read it from the same image
// file: the scan names it without carrying the image.
#pragma once

#include <string>

namespace qir::scan {

// Eight characters, each byte zero-extended, as qir.exe reads them from its image.
std::u16string builtImageRevision();

} // namespace qir::scan
