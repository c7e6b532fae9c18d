// The README and the files under docs/ link to each other by file and
// heading: a heading renamed or a file moved must not leave a link that
// leads nowhere, and no file under docs/ may be left out of the README's
// list.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> documents() {
    std::vector<fs::path> out{testsupport::sourceDir() / "README.md"};
    for (auto& entry : fs::directory_iterator(testsupport::sourceDir() / "docs"))
        if (entry.path().extension() == ".md") out.push_back(entry.path());
    std::sort(out.begin() + 1, out.end());
    return out;
}

// The anchor a heading gets: lower case, blanks as hyphens, and every ASCII
// character but letters, digits, '-' and '_' left out (backticks, quotes,
// colons, brackets).
std::string anchorOf(const std::string& heading) {
    std::string out;
    for (unsigned char c : heading) {
        if (c == ' ') out += '-';
        else if (c >= 0x80 || std::isalnum(c) || c == '-' || c == '_') out += char(std::tolower(c));
    }
    return out;
}

// The anchors of a file's headings (the lines that begin with '#' and a blank).
std::set<std::string> anchorsIn(const fs::path& file) {
    std::set<std::string> out;
    std::istringstream in(testsupport::readFile(file));
    for (std::string line; std::getline(in, line);) {
        size_t hashes = line.find_first_not_of('#');
        if (hashes > 0 && hashes != std::string::npos && line[hashes] == ' ') out.insert(anchorOf(line.substr(hashes + 1)));
    }
    return out;
}

struct Link {
    fs::path from;
    std::string target;  // as written: "docs/x.md#y", "#y", "x.md"
};

std::vector<Link> linksIn(const fs::path& file) {
    static const std::regex link(R"(\]\(([^()\s]+)\))");
    std::vector<Link> out;
    std::string text = testsupport::readFile(file);
    for (std::sregex_iterator it(text.begin(), text.end(), link), end; it != end; ++it)
        out.push_back({file, (*it)[1].str()});
    return out;
}

// Why the link leads nowhere; empty when it leads to its file and heading.
std::string brokenBecause(const Link& link) {
    if (link.target.find("://") != std::string::npos) return "";
    size_t hash = link.target.find('#');
    std::string path = link.target.substr(0, hash);
    fs::path file = path.empty() ? link.from : link.from.parent_path() / path;
    if (!fs::is_regular_file(file)) return "no file " + file.lexically_normal().string();
    if (hash == std::string::npos) return "";
    std::string anchor = link.target.substr(hash + 1);
    if (!anchorsIn(file).count(anchor)) return "no heading of " + file.filename().string() + " has the anchor #" + anchor;
    return "";
}

TEST(DocumentationLinks, EveryLinkLeadsToAFileAndOneOfItsHeadings) {
    size_t links = 0;
    for (auto& file : documents()) {
        for (auto& link : linksIn(file)) {
            ++links;
            std::string why = brokenBecause(link);
            EXPECT_TRUE(why.empty()) << file.filename() << ": (" << link.target << "): " << why;
        }
    }
    EXPECT_GT(links, 10u) << "the links were not found at all";
}

TEST(DocumentationLinks, EveryFileUnderDocsIsListedInTheReadme) {
    std::set<std::string> listed;
    for (auto& link : linksIn(testsupport::sourceDir() / "README.md"))
        listed.insert(link.target.substr(0, link.target.find('#')));
    auto all = documents();
    for (auto it = all.begin() + 1; it != all.end(); ++it)
        EXPECT_TRUE(listed.count("docs/" + it->filename().string())) << it->filename() << " is not linked from the README";
}

}  // namespace
