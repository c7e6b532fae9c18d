// Reads the property list named on the command line as stored files are
// read, writes what reads back in binary, and prints what that cost:
// whether it read, the result's bytes, the written size, the process's peak
// resident memory and the time taken, so that a test can bound what a
// hostile file costs. In a plain build the address space is limited, so
// that a file that expands without bound fails here rather than taking the
// machine's memory (sanitizer builds are limited by the test, through the
// sanitizer's options).

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/Files.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
void limitAddressSpace() {}
#else
void limitAddressSpace() {
    rlimit limit{rlim_t(4) << 30, rlim_t(4) << 30};
    setrlimit(RLIMIT_AS, &limit);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    limitAddressSpace();
    auto bytes = files::readData(argv[1]);
    if (!bytes) return 2;
    auto start = std::chrono::steady_clock::now();
    auto v = Value::fromPlist(*bytes);
    size_t resultBytes = v ? binaryplist::resultBytes(*v) : 0;
    size_t written = v ? v->toBinaryPlist().size() : 0;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("read=%d result_bytes=%zu written=%zu peak_kib=%ld ms=%lld\n", v ? 1 : 0, resultBytes, written,
                usage.ru_maxrss, static_cast<long long>(ms));
    return 0;
}
