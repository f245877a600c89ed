// The include rules of docs/architecture.md, held over the whole source tree: Windows
// headers and the wide character type stay in platform/win32 (and the Windows checks of it in
// tests/wine, and the emulated machine's driver and installer in emulated/win32), only the
// simulator's own users include sim/, the core includes nothing of the
// tests, the benchmarks or the capture layer, and the scan and the capture layer build on the
// core alone (the scan on the capture layer too).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct SourceFile {
    std::string path; // relative to the source folder, with forward slashes
    std::vector<std::string> lines;
};

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool isUnder(const std::string& path, std::initializer_list<const char*> folders) {
    return std::any_of(folders.begin(), folders.end(),
                       [&](const char* folder) { return startsWith(path, folder); });
}

std::vector<SourceFile> sourceTree() {
    const fs::path root = QIR_SOURCE_DIR;
    std::vector<SourceFile> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string relative = fs::relative(it->path(), root).generic_string();
        if (it->is_directory() && (startsWith(relative, "build") || startsWith(relative, ".") ||
                                   relative == "fuzz/corpus")) {
            it.disable_recursion_pending();
            continue;
        }
        const std::string extension = it->path().extension().string();
        if (!it->is_regular_file() ||
            (extension != ".h" && extension != ".cpp" && extension != ".in" && extension != ".rc"))
            continue;
        SourceFile file{relative, {}};
        std::ifstream in(it->path());
        for (std::string line; std::getline(in, line);)
            file.lines.push_back(line);
        files.push_back(std::move(file));
    }
    return files;
}

const std::vector<SourceFile>& tree() {
    static const std::vector<SourceFile> files = sourceTree();
    return files;
}

// Where a quoted include lands: beside the file first, then from the source folder.
std::string resolvedInclude(const SourceFile& file, const std::string& name) {
    const fs::path root = QIR_SOURCE_DIR;
    const fs::path beside = fs::path(file.path).parent_path() / name;
    if (fs::exists(root / beside))
        return beside.lexically_normal().generic_string();
    return fs::path(name).lexically_normal().generic_string();
}

struct Include {
    std::string name;
    bool angled;
};

std::vector<Include> includesOf(const SourceFile& file) {
    static const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<Include> found;
    std::smatch match;
    for (const std::string& line : file.lines)
        if (std::regex_search(line, match, include))
            found.push_back({match[2].str(), match[1].str() == "<"});
    return found;
}

bool isWindowsHeader(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const char* const kHeaders[] = {
        "windows.h",  "winuser.h",  "winver.h",   "winbase.h",    "windef.h",   "winnt.h",
        "winerror.h", "winioctl.h", "setupapi.h", "devpropdef.h", "devpkey.h",  "devguid.h",
        "initguid.h", "cfgmgr32.h", "ntddscsi.h", "ntddstor.h",   "shellapi.h", "tchar.h",
        "direct.h",   "io.h",       "share.h",    "objbase.h",
    };
    return std::any_of(std::begin(kHeaders), std::end(kHeaders),
                       [&](const char* header) { return name == header; });
}

bool onTheWindowsSide(const std::string& path) {
    return isUnder(path, {"platform/win32/", "tests/wine/", "emulated/win32/"});
}

TEST(IncludeRules, TheTreeIsRead) {
    EXPECT_GT(tree().size(), 100u);
}

TEST(IncludeRules, WindowsHeadersAndWideCharactersStayOnTheWindowsSide) {
    // Spelt in two parts, so that this file does not name the type itself.
    static const std::regex wideCharacter(std::string(R"(\bwchar)") + R"(_t\b)");
    for (const SourceFile& file : tree()) {
        if (onTheWindowsSide(file.path))
            continue;
        for (const Include& include : includesOf(file)) {
            EXPECT_FALSE(include.angled && isWindowsHeader(include.name))
                << file.path << " includes <" << include.name << ">";
            EXPECT_FALSE(!include.angled && startsWith(include.name, "platform/win32/"))
                << file.path << " includes " << include.name;
        }
        for (size_t i = 0; i < file.lines.size(); ++i)
            EXPECT_FALSE(std::regex_search(file.lines[i], wideCharacter))
                << file.path << ":" << i + 1 << " names the wide character type";
    }
}

TEST(IncludeRules, OnlyTheSimulatorsUsersIncludeIt) {
    for (const SourceFile& file : tree()) {
        if (isUnder(file.path, {"sim/", "tests/", "fuzz/", "sweep/", "bench/", "emulated/"}))
            continue;
        for (const Include& include : includesOf(file))
            EXPECT_FALSE(!include.angled && startsWith(resolvedInclude(file, include.name), "sim/"))
                << file.path << " includes " << include.name;
    }
}

TEST(IncludeRules, TheCoreIncludesOnlyTheCore) {
    for (const SourceFile& file : tree()) {
        if (!isUnder(file.path, {"app/", "discovery/", "firmware/", "raid/", "platform/"}))
            continue;
        for (const Include& include : includesOf(file)) {
            if (include.angled)
                continue;
            const std::string target = resolvedInclude(file, include.name);
            EXPECT_TRUE(isUnder(target, {"app/", "discovery/", "firmware/", "raid/", "platform/"}))
                << file.path << " includes " << include.name << " (" << target << ")";
        }
    }
}

// The scan is a program on the core that records through the capture layer; the capture
// layer runs inside it on real Windows. Each includes the core and what is listed here, and
// nothing else of the tree (the core never includes either, which the rule above holds).
struct LayerRule {
    const char* folder;
    std::initializer_list<const char*> allowed;
};

TEST(IncludeRules, EachLayerIncludesOnlyWhatItBuildsOn) {
    const LayerRule rules[] = {
        {"scan/", {"app/", "discovery/", "firmware/", "raid/", "platform/", "scan/", "capture/"}},
        {"capture/", {"app/", "discovery/", "firmware/", "raid/", "platform/", "capture/"}},
        // The emulated machine serves the simulated one, and knows nothing of the tool.
        {"emulated/", {"platform/", "sim/", "emulated/"}},
    };
    for (const LayerRule& rule : rules)
        for (const SourceFile& file : tree()) {
            if (!isUnder(file.path, {rule.folder}))
                continue;
            for (const Include& include : includesOf(file)) {
                if (include.angled)
                    continue;
                const std::string target = resolvedInclude(file, include.name);
                EXPECT_TRUE(std::any_of(rule.allowed.begin(), rule.allowed.end(),
                                        [&](const char* f) { return startsWith(target, f); }))
                    << file.path << " includes " << include.name << " (" << target << ")";
            }
        }
}

} // namespace
