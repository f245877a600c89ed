// The include rules of docs/architecture.md, held over the whole source tree: Windows
// headers and the wide character type stay in platform/win32 (and the Windows checks of it in
// tests/wine, and the emulated machine's driver and installer in emulated/win32), only the
// simulator's own users include sim/, and the folders include one another exactly as the
// dependency graph of docs/architecture.md draws it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
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

// The folders' dependency graph as docs/architecture.md draws it: each folder and the folders
// it includes, read from the fenced block under its heading.
using Graph = std::map<std::string, std::set<std::string>>;

Graph documentedGraph() {
    std::ifstream in(fs::path(QIR_SOURCE_DIR) / "docs/architecture.md");
    Graph graph;
    bool underHeading = false, inBlock = false;
    for (std::string line; std::getline(in, line);) {
        if (startsWith(line, "## "))
            underHeading = line == "## The folders' dependency graph";
        else if (underHeading && startsWith(line, "```")) {
            if (inBlock)
                break;
            inBlock = true;
        } else if (inBlock) {
            std::istringstream words(line);
            std::string folder, arrow;
            if (!(words >> folder >> arrow) || arrow != "->")
                continue;
            std::set<std::string>& includes = graph[folder];
            for (std::string target; words >> target;)
                includes.insert(target);
        }
    }
    return graph;
}

// The deepest documented folder that holds the path; "" for none.
std::string folderOf(const std::string& path, const Graph& graph) {
    std::string best;
    for (const auto& entry : graph)
        if (startsWith(path, entry.first + "/") && entry.first.size() > best.size())
            best = entry.first;
    return best;
}

TEST(IncludeRules, TheTreeDrawsTheDocumentedGraph) {
    const Graph documented = documentedGraph();
    ASSERT_GT(documented.size(), 10u) << "docs/architecture.md draws no graph";
    Graph drawn;
    std::map<std::string, std::string> firstInclude; // an arrow's example, for the message
    for (const SourceFile& file : tree()) {
        const std::string from = folderOf(file.path, documented);
        if (from.empty())
            continue;
        for (const Include& include : includesOf(file)) {
            if (include.angled)
                continue;
            const std::string target = resolvedInclude(file, include.name);
            const std::string to = folderOf(target, documented);
            if (to.empty() || to == from)
                continue;
            drawn[from].insert(to);
            firstInclude.emplace(from + " -> " + to, file.path + " includes " + include.name);
        }
    }
    for (const auto& [from, targets] : drawn)
        for (const std::string& to : targets)
            EXPECT_TRUE(documented.at(from).count(to))
                << "a new arrow " << from << " -> " << to << " ("
                << firstInclude[from + " -> " + to]
                << "): draw it in docs/architecture.md or take the include away";
    for (const auto& [from, targets] : documented)
        for (const std::string& to : targets)
            EXPECT_TRUE(drawn.count(from) && drawn.at(from).count(to))
                << "docs/architecture.md draws " << from << " -> " << to
                << ", which no include draws any more";
}

// Every folder of sources is in the graph, so that none escapes it.
TEST(IncludeRules, EverySourceIsInADocumentedFolder) {
    const Graph documented = documentedGraph();
    for (const SourceFile& file : tree()) {
        if (file.path.find('/') == std::string::npos)
            continue;
        EXPECT_FALSE(folderOf(file.path, documented).empty())
            << file.path << " is in no folder of the graph in docs/architecture.md";
    }
}

} // namespace
