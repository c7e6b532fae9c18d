// Reports when libcurl gets mapped into a fresh process: after the session
// is made, after a request refused before any transfer, and after a request
// that reaches the transport (to the port given, where nothing listens).
// Prints "session=0 refused=0 request=1" when it is opened on the first
// request only; with --rss, the resident memory (KiB) before and after.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "platform/net/CurlLibrary.h"
#include "platform/net/URLSession.h"

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration());
    bool afterSession = curllib::loaded(), afterRefused = false;
    long before = 0, after = 0;
    // Synchronous requests are refused on the main thread.
    std::thread([&] {
        session->sendSynchronousRequest(URLRequest("http://", "GET"));
        afterRefused = curllib::loaded();
        before = residentKiB();
        session->sendSynchronousRequest(URLRequest(std::string("http://127.0.0.1:") + argv[1] + "/", "GET"));
        after = residentKiB();
    }).join();
    std::printf("session=%d refused=%d request=%d\n", afterSession, afterRefused, curllib::loaded());
    if (argc > 2 && std::strcmp(argv[2], "--rss") == 0) std::printf("rss_before=%ld rss_after=%ld\n", before, after);
    return 0;
}
