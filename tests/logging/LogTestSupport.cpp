#include "LogTestSupport.h"

#include <algorithm>
#include <sstream>

namespace logtest {

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file()) out.push_back(it->path());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> linesOf(const fs::path& file) {
    std::vector<std::string> out;
    std::string text = testsupport::readFile(file);
    std::stringstream ss(text);
    std::string line;
    while (std::getline(ss, line)) out.push_back(line);
    return out;
}

std::vector<std::string> linesOfFolder(const fs::path& folder) {
    std::vector<std::string> out;
    for (auto& f : filesIn(folder)) {
        auto lines = linesOf(f);
        out.insert(out.end(), lines.begin(), lines.end());
    }
    return out;
}

}  // namespace logtest
