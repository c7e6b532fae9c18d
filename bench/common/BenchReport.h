#pragma once
// What every benchmark prints around its table, so that a reader can tell
// how busy the machine was and run the same command again: the command
// line, and the load average at the start and at the end.

#include <cstdio>
#include <string>

namespace bench {

// The 1, 5 and 15 minute load averages, as /proc gives them.
inline std::string loadAverage() {
    double a[3] = {-1, -1, -1};
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf %lf %lf", &a[0], &a[1], &a[2]) != 3) a[0] = a[1] = a[2] = -1;
        std::fclose(f);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", a[0], a[1], a[2]);
    return text;
}

inline void printCommandAndLoad(int argc, char** argv) {
    std::string command;
    for (int i = 0; i < argc; ++i) command += (i ? " " : "") + std::string(argv[i]);
    std::printf("command: %s\nload average at start: %s\n", command.c_str(), loadAverage().c_str());
    std::fflush(stdout);
}

inline void printLoadAtEnd() { std::printf("load average at end: %s\n", loadAverage().c_str()); }

}  // namespace bench
