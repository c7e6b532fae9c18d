#include "LogTestSupport.h"

#include <algorithm>
#include <cstring>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>

#include "platform/foundation/PlatformLog.h"

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

FakeJournal::FakeJournal() {
    path_ = dir_ / "journal.sock";
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    strncpy(a.sun_path, path_.c_str(), sizeof a.sun_path - 1);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    PlatformLog::connectSystemSink(PlatformLog::Sink::Journal, path_.string());
}

FakeJournal::~FakeJournal() {
    PlatformLog::connectSystemSink(PlatformLog::Sink::None, "");
    close(fd_);
}

std::string FakeJournal::receive() {
    char buf[65536];
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) return "";
    ssize_t n = recv(fd_, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, size_t(n)) : "";
}

bool FakeJournal::empty() {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) == 0;
}

}  // namespace logtest
