#pragma once
// Instructions counted by callgrind between client requests of a program run
// under it: the measure of a case whose time moves with how the binary is
// laid out, as the image cache's memory hit (about 150 ns) does.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// The "totals:" of the callgrind dump that CALLGRIND_DUMP_STATS_AT(label)
// wrote, among the dumps' texts; nullopt when no dump carries that label.
std::optional<uint64_t> callgrindTotal(const std::vector<std::string>& dumps, const std::string& label);

struct CallgrindRun {
    std::vector<std::string> dumps;  // the texts of every dump file
    std::string failure;             // why there are none, when there are none
};

// Runs `arguments` (a program and its arguments) under
// `valgrind --tool=callgrind` and reads every dump it writes.
CallgrindRun runUnderCallgrind(const std::vector<std::string>& arguments);

}  // namespace bench
