// A program's argument vector as the runtime hands it to an entry: argument 0, then the
// arguments, then a null entry.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qir::testing {

class ArgumentVector {
  public:
    ArgumentVector(std::u16string program, std::vector<std::u16string> args)
        : texts_(std::move(args)) {
        texts_.insert(texts_.begin(), std::move(program));
        for (const std::u16string& a : texts_)
            pointers_.push_back(a.c_str());
        pointers_.push_back(nullptr);
    }

    int argc() const { return static_cast<int>(texts_.size()); }
    const char16_t* const* argv() const { return pointers_.data(); }

  private:
    std::vector<std::u16string> texts_;
    std::vector<const char16_t*> pointers_;
};

} // namespace qir::testing
