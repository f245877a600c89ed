// A folder that belongs to one test alone: made fresh under the temporary folder with a
// name no other process or test can have, and removed with everything in it when the
// test ends, however it ends. Tests run side by side and in any order, so no test may
// name a file of its own in a shared folder.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

namespace qir::testing {

class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& label = "qir_test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (label + "_XXXXXX")).string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a scratch folder from " + pattern);
        root = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        // A test may have taken the write bit from a folder inside; removal needs it back.
        for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            if (it->is_directory(ignored))
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
        std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(root, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return root; }
    std::string file(const std::string& name) const { return (root / name).string(); }

  private:
    std::filesystem::path root;
};

// A file's whole content, or nothing when it cannot be read.
inline std::string readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace qir::testing
