// Keeps the include direction of Src: a file includes its own folder and the
// folders its folder's line in Src/layering.txt reaches, nothing else but the
// exceptions that file names. A new folder needs a line before it builds green.
#include "support/SourceTree.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Rules {
    std::map<std::string, std::vector<std::string>> deps; // folder -> the folders it names
    std::set<std::string> qtFolders;                       // may include Qt headers
    std::map<std::pair<std::string, std::string>, bool> exceptions; // (file, include) -> used
    std::vector<std::string> errors;
};

struct SourceFile {
    std::string path; // relative to Src
    std::string text;
};

std::string FolderOf(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// What a line includes: '"' or '<' and the name, or nothing for any other line.
std::pair<char, std::string_view> IncludeOf(std::string_view line)
{
    auto skipBlanks = [&line] {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
    };
    skipBlanks();
    if (line.empty() || line.front() != '#')
        return {};
    line.remove_prefix(1);
    skipBlanks();
    if (!line.starts_with("include"))
        return {};
    line.remove_prefix(7);
    skipBlanks();
    if (line.empty() || (line.front() != '"' && line.front() != '<'))
        return {};
    const char open = line.front();
    const auto end = line.find(open == '"' ? '"' : '>', 1);
    if (end == std::string_view::npos)
        return {};
    return {open, line.substr(1, end - 1)};
}

Rules ParseRules(std::istream& in, const std::string& name)
{
    Rules rules;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string first;
        if (!(words >> first))
            continue;
        const std::string where = name + ":" + std::to_string(number) + ": ";
        if (first == "allow") {
            std::string file, arrow, include, rest;
            if (!(words >> file >> arrow >> include) || arrow != "->" || (words >> rest))
                rules.errors.push_back(where + "want \"allow <file> -> <include>\"");
            else
                rules.exceptions[{file, include}] = false;
            continue;
        }
        if (first.size() < 2 || first.back() != ':') {
            rules.errors.push_back(where + "want \"<folder>: <folders it may include>\" or \"allow\"");
            continue;
        }
        first.pop_back();
        if (rules.deps.count(first))
            rules.errors.push_back(where + first + " has a line already");
        auto& deps = rules.deps[first];
        for (std::string dep; words >> dep;) {
            if (dep == "Qt")
                rules.qtFolders.insert(first);
            else
                deps.push_back(dep);
        }
    }
    for (const auto& [folder, deps] : rules.deps)
        for (const auto& dep : deps)
            if (!rules.deps.count(dep))
                rules.errors.push_back(name + ": " + folder + " names " + dep + ", which has no line");
    return rules;
}

// The folders each folder reaches through its line, or an error on a cycle.
std::map<std::string, std::set<std::string>> Reach(Rules& rules)
{
    std::map<std::string, std::set<std::string>> reach;
    std::set<std::string> open;
    std::function<const std::set<std::string>&(const std::string&)> visit =
        [&](const std::string& folder) -> const std::set<std::string>& {
        if (auto it = reach.find(folder); it != reach.end())
            return it->second;
        std::set<std::string> all;
        if (!open.insert(folder).second) {
            rules.errors.push_back("a cycle runs through " + folder);
            return reach[folder];
        }
        auto deps = rules.deps.find(folder);
        if (deps != rules.deps.end())
            for (const auto& dep : deps->second) {
                all.insert(dep);
                const auto& below = visit(dep);
                all.insert(below.begin(), below.end());
            }
        open.erase(folder);
        return reach[folder] = std::move(all);
    };
    for (const auto& entry : rules.deps)
        visit(entry.first);
    return reach;
}

std::vector<std::string> Check(Rules rules, const std::vector<SourceFile>& files)
{
    auto reach = Reach(rules);
    std::vector<std::string> findings = rules.errors;
    std::set<std::string> unruled;
    for (const auto& file : files) {
        const std::string folder = FolderOf(file.path);
        auto rule = reach.find(folder);
        if (rule == reach.end() || !rules.deps.count(folder)) {
            if (unruled.insert(folder).second)
                findings.push_back(folder + "/ has no line in the rules");
            continue;
        }
        std::istringstream lines(file.text);
        std::string line;
        for (int number = 1; std::getline(lines, line); ++number) {
            const auto [open, name] = IncludeOf(line);
            if (open == '<' && name.size() > 1 && name[0] == 'Q' && std::isalpha(static_cast<unsigned char>(name[1]))) {
                if (!rules.qtFolders.count(folder))
                    findings.push_back(file.path + ":" + std::to_string(number) + ": includes Qt in " + folder + "/");
                continue;
            }
            if (open != '"')
                continue;
            const std::string include(name);
            const std::string target = FolderOf(include);
            if (target.empty() || target == folder || rule->second.count(target))
                continue;
            if (auto exception = rules.exceptions.find({file.path, include}); exception != rules.exceptions.end()) {
                exception->second = true;
                continue;
            }
            findings.push_back(file.path + ":" + std::to_string(number) + ": includes " + include + ": " + folder + "/ may not include " + target + "/");
        }
    }
    for (const auto& [key, used] : rules.exceptions)
        if (!used)
            findings.push_back("allow " + key.first + " -> " + key.second + " is no longer needed");
    return findings;
}

Rules RulesFrom(const std::string& text)
{
    std::istringstream in(text);
    return ParseRules(in, "rules");
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const auto& line : lines)
        all += line + "\n";
    return all;
}

TEST(Layering, SrcKeepsItsFloors)
{
    const auto src = support::SourceTree() / "Src";
    std::ifstream in(src / "layering.txt");
    ASSERT_TRUE(in) << (src / "layering.txt");
    Rules rules = ParseRules(in, "Src/layering.txt");
    std::vector<SourceFile> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
        const auto ext = entry.path().extension();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp" && ext != ".in"))
            continue;
        std::ifstream source(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << source.rdbuf();
        files.push_back({std::filesystem::relative(entry.path(), src).generic_string(), text.str()});
    }
    ASSERT_GT(files.size(), 100u);
    const auto findings = Check(std::move(rules), files);
    EXPECT_TRUE(findings.empty()) << Joined(findings);
}

const char* const kRules = R"(
low:
mid: low
side: low
high: mid side Qt
allow low/Hook.cpp -> high/Engine.h   # the hook the engine fills
)";

struct Case {
    const char* name;
    std::vector<SourceFile> files;
    std::vector<std::string> findings;
};

class LayeringCheck : public ::testing::TestWithParam<Case> {};

TEST_P(LayeringCheck, Finds)
{
    const Case& c = GetParam();
    std::vector<SourceFile> files = c.files;
    files.push_back({"low/Hook.cpp", "#include \"high/Engine.h\"\n"}); // keeps the exception used
    EXPECT_EQ(Check(RulesFrom(kRules), files), c.findings);
}

INSTANTIATE_TEST_SUITE_P(Rules, LayeringCheck, ::testing::Values(
    Case{"DownwardAndOwnFolder", {{"high/A.cpp", "#include \"high/A.h\"\n#include \"low/B.h\"\n#include <QWidget>\n"},
                                  {"mid/C.h", "#pragma once\n  #  include \"low/D.h\"\n"}}, {}},
    Case{"Upward", {{"low/B.cpp", "\n#include \"mid/C.h\"\n"}},
         {"low/B.cpp:2: includes mid/C.h: low/ may not include mid/"}},
    Case{"Sideways", {{"mid/C.cpp", "#include \"side/E.h\"\n"}},
         {"mid/C.cpp:1: includes side/E.h: mid/ may not include side/"}},
    Case{"ExceptionNamesOneFile", {{"low/Other.cpp", "#include \"high/Engine.h\"\n"}},
         {"low/Other.cpp:1: includes high/Engine.h: low/ may not include high/"}},
    Case{"QtOutsideItsFolders", {{"mid/C.cpp", "#include <QtCore/QString>\n#include <queue>\n"}},
         {"mid/C.cpp:1: includes Qt in mid/"}},
    Case{"NewFolderWithoutALine", {{"fresh/F.cpp", "#include \"low/B.h\"\n"}, {"fresh/G.cpp", ""}},
         {"fresh/ has no line in the rules"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LayeringRules, ReportTheirOwnFaults)
{
    const auto findings = Check(RulesFrom("a: b\nb: a\nc: nowhere\nd\nallow x -> y\n"), {});
    EXPECT_EQ(findings, (std::vector<std::string>{
        "rules:4: want \"<folder>: <folders it may include>\" or \"allow\"",
        "rules: c names nowhere, which has no line",
        "a cycle runs through a",
        "allow x -> y is no longer needed"}));
}

} // namespace
