#pragma once
// Shared by the shell's benchmarks: a window for a web view, running the
// main loop until a condition holds, and the CPU time of this process and
// the engine's processes below it.

#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <map>
#include <unistd.h>
#include <vector>

#include "platform/dispatch/RunLoop.h"

namespace bench {

// Each window beside the one before, so that none hides another: a page
// whose window was covered cost the engine less per round trip (about 13%
// fewer instructions in this process), which favoured the covered side.
inline GtkWidget* showWidget(GtkWidget* widget, int width = 375, int height = 667) {
    static int nextX = 0;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), width, height);
    gtk_window_move(GTK_WINDOW(window), nextX, 0);
    nextX += width + 10;
    gtk_container_add(GTK_CONTAINER(window), widget);
    gtk_widget_show_all(window);
    return window;
}

inline bool runUntil(const std::function<bool()>& cond, std::chrono::seconds timeout = std::chrono::seconds(60)) {
    return RunLoop::runUntil(cond, std::chrono::duration_cast<std::chrono::milliseconds>(timeout));
}

// CPU seconds spent so far by this process and every process below it (the
// engine's web and network processes): less swayed by a busy machine than
// the time a round takes.
inline double treeCpuSeconds() {
    std::map<pid_t, std::vector<pid_t>> children;
    std::map<pid_t, double> cpu;
    const double tick = double(sysconf(_SC_CLK_TCK));
    if (DIR* d = opendir("/proc")) {
        while (dirent* e = readdir(d)) {
            pid_t pid = pid_t(atoi(e->d_name));
            if (pid <= 0) continue;
            char path[64], buf[1024];
            snprintf(path, sizeof path, "/proc/%d/stat", pid);
            FILE* f = fopen(path, "r");
            if (!f) continue;
            size_t n = fread(buf, 1, sizeof buf - 1, f);
            fclose(f);
            buf[n] = 0;
            // After the command's closing parenthesis: state, ppid, ... utime (14th), stime (15th).
            const char* rest = strrchr(buf, ')');
            int ppid = 0;
            unsigned long utime = 0, stime = 0;
            if (!rest || sscanf(rest + 2, "%*c %d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &ppid, &utime,
                                &stime) != 3)
                continue;
            children[ppid].push_back(pid);
            cpu[pid] = (utime + stime) / tick;
        }
        closedir(d);
    }
    double total = 0;
    std::vector<pid_t> todo{getpid()};
    while (!todo.empty()) {
        pid_t p = todo.back();
        todo.pop_back();
        total += cpu[p];
        for (pid_t c : children[p]) todo.push_back(c);
    }
    return total;
}

}  // namespace bench
