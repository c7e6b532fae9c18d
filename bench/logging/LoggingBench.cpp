// Messages per second into a rolling log file, from 1 and 4 threads, and
// the median time a caller spends in one logging call: our file logger
// against spdlog's asynchronous rotating file sink with the same line
// ("yyyy/MM/dd HH:mm:ss:SSS", two blanks, the text; GMT; 1 MiB files),
// measured in the same run, the two taking turns (ours, spdlog, ours, ...)
// so that a machine busy with other work weighs on both alike. Every pair
// is printed, then the medians and the medians of the pairs' ratios. The
// floor is the machine's own: the same lines written 64 KiB at a time.
//
//   logging_bench [messages per run, default 500000] [pairs, default 11]
//   logging_bench N ours      (only our side, seven runs per thread count: for a
//                              profiler, and for comparing two builds)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <thread>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <spdlog/async.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

#include "../common/BenchReport.h"
#include "logging/VLFileLogger.h"
#include "logging/VLLog.h"

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

namespace {

struct Result {
    double perSecond = 0;
    double medianCallNs = 0;
};

fs::path freshDir(const fs::path& base, const std::string& name) {
    fs::path p = base / name;
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

// Callers that live across runs, as an application's threads do: a logger
// that keeps buffers per thread (ours) finds them ready on a later run, as
// spdlog finds the queue it allocates before each run.
class Callers {
public:
    explicit Callers(int n) {
        for (int t = 0; t < n; ++t) threads_.emplace_back([this, t] { serve(t); });
    }
    ~Callers() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        for (auto& t : threads_) t.join();
    }
    int size() const { return int(threads_.size()); }
    // Runs `job(t)` on every caller at once; returns when all are done.
    void runAll(const std::function<void(int)>& job) {
        {
            std::lock_guard lock(mutex_);
            job_ = job;
            ready_ = 0;
            done_ = 0;
            go_ = false;
            ++generation_;
        }
        cv_.notify_all();
        while (ready_ < size()) std::this_thread::yield();
        go_ = true;
        std::unique_lock lock(mutex_);
        doneCv_.wait(lock, [&] { return done_ == size(); });
    }
    std::atomic<bool> go_{false};

private:
    void serve(int t) {
        uint64_t seen = 0;
        while (true) {
            std::function<void(int)> job;
            {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_) return;
                seen = generation_;
                job = job_;
            }
            ++ready_;
            while (!go_) std::this_thread::yield();
            job(t);
            std::lock_guard lock(mutex_);
            if (++done_ == size()) doneCv_.notify_all();
        }
    }
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable cv_, doneCv_;
    std::function<void(int)> job_;
    uint64_t generation_ = 0;
    int done_ = 0;
    bool stop_ = false;
    std::atomic<int> ready_{0};
};

// Runs `logOne(thread, i)` for `total` messages split over the callers,
// timing every call; `drain` waits until everything is written.
template <class Log, class Drain>
Result run(Callers& callers, int total, Log logOne, Drain drain) {
    const int threads = callers.size();
    int each = total / threads;
    std::vector<std::vector<uint32_t>> times(threads, std::vector<uint32_t>(each));
    SteadyClock::time_point start;
    std::atomic<bool> started{false};
    callers.runAll([&](int t) {
        if (!started.exchange(true)) start = SteadyClock::now();
        for (int i = 0; i < each; ++i) {
            auto a = SteadyClock::now();
            logOne(t, i);
            times[t][i] = uint32_t(std::min<int64_t>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now() - a).count(), UINT32_MAX));
        }
    });
    drain();
    double seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
    std::vector<uint32_t> all;
    for (auto& v : times) all.insert(all.end(), v.begin(), v.end());
    std::nth_element(all.begin(), all.begin() + all.size() / 2, all.end());
    return {each * threads / seconds, double(all[all.size() / 2])};
}

Result runOurs(const fs::path& dir, Callers& callers, int total) {
    auto manager = std::make_shared<VLLogFileManagerDefault>(dir);
    manager->setMaximumNumberOfLogFiles(48);
    manager->setLogFilesDiskQuota(0);
    auto logger = std::make_shared<VLFileLogger>(manager);
    logger->setRollingFrequency(3600);
    VLLog::addLogger(logger);
    Result r = run(
        callers, total,
        [](int t, int i) {
            VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, __FILE__, __func__, __LINE__, Value(),
                       "worker %d wrote message number %d of the benchmark run", t, i);
        },
        [] { VLLog::syncOnLoggingQueue([] {}); });
    VLLog::removeLogger(logger);
    VLLog::syncOnLoggingQueue([] {});
    logger->loggerQueue()->sync([] {});
    return r;
}

Result runSpdlog(const fs::path& dir, Callers& callers, int total) {
    auto pool = std::make_shared<spdlog::details::thread_pool>(8192, 1);
    auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>((dir / "peer.log").string(), 1024 * 1024, 48);
    auto logger = std::make_shared<spdlog::async_logger>("peer", sink, pool, spdlog::async_overflow_policy::block);
    logger->set_formatter(std::make_unique<spdlog::pattern_formatter>("%Y/%m/%d %H:%M:%S:%e  %v",
                                                                      spdlog::pattern_time_type::utc));
    Result r = run(
        callers, total,
        [&](int t, int i) { logger->info("worker {} wrote message number {} of the benchmark run", t, i); },
        [&] {
            // Everything is written once the pool's worker has ended.
            logger->flush();
            logger.reset();
            pool.reset();
        });
    return r;
}

// The same lines written straight to a file, 64 KiB at a time.
double floorRate(const fs::path& dir, int total) {
    std::string line = "2026/01/01 00:00:00:000  worker 0 wrote message number 123456 of the benchmark run\n";
    size_t perBlock = (64 * 1024) / line.size();
    std::string block;
    for (size_t i = 0; i < perBlock; ++i) block += line;
    int fd = open((dir / "floor.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
    auto start = SteadyClock::now();
    for (int written = 0; written < total; written += int(perBlock))
        if (write(fd, block.data(), block.size()) < 0) break;
    close(fd);
    return total / std::chrono::duration<double>(SteadyClock::now() - start).count();
}

long minorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Medians {
    double oursRate, peerRate, oursNs, peerNs;
    double rateRatio, latencyRatio;  // medians of the pairs' ratios: the judged figures
};

// `pairs` turns of ours then spdlog at `threads` threads, each pair printed.
Medians runPairs(const fs::path& base, int threads, int total, int pairs) {
    Callers callers(threads);
    runOurs(freshDir(base, "warm-ours"), callers, total / 10);
    runSpdlog(freshDir(base, "warm-peer"), callers, total / 10);
    std::vector<double> oursRate, peerRate, oursNs, peerNs, rateRatio, latencyRatio;
    for (int pair = 1; pair <= pairs; ++pair) {
        Result ours = runOurs(freshDir(base, "ours"), callers, total);
        Result peer = runSpdlog(freshDir(base, "peer"), callers, total);
        printf("%-8d %-5d %14.0f %14.0f %7.2fx %10.0f %10.0f %7.2fx\n", threads, pair, ours.perSecond,
               peer.perSecond, ours.perSecond / peer.perSecond, ours.medianCallNs, peer.medianCallNs,
               ours.medianCallNs / std::max(1.0, peer.medianCallNs));
        rateRatio.push_back(ours.perSecond / peer.perSecond);
        latencyRatio.push_back(ours.medianCallNs / std::max(1.0, peer.medianCallNs));
        oursRate.push_back(ours.perSecond);
        peerRate.push_back(peer.perSecond);
        oursNs.push_back(ours.medianCallNs);
        peerNs.push_back(peer.medianCallNs);
    }
    return {median(oursRate), median(peerRate), median(oursNs), median(peerNs), median(rateRatio), median(latencyRatio)};
}

}  // namespace

int main(int argc, char** argv) {
    int total = argc > 1 ? std::atoi(argv[1]) : 500000;
    if (total < 1000) total = 1000;
    fs::path base = fs::temp_directory_path() / ("korvel-logging-bench-" + std::to_string(getpid()));
    if (argc > 2 && std::string(argv[2]) == "ours") {
        // Warm callers, as in the pairs, and several runs: builds compared
        // by taking turns (bench/logging/compare-builds) judge the medians.
        for (int threads : {1, 4}) {
            Callers callers(threads);
            runOurs(freshDir(base, "warm-ours"), callers, total / 10);
            std::vector<double> rates, calls;
            for (int k = 0; k < 7; ++k) {
                long faults = minorFaults();
                Result r = runOurs(freshDir(base, "ours"), callers, total);
                printf("%d threads: %.0f msg/s, median call %.0f ns, %ld page faults\n", threads, r.perSecond,
                       r.medianCallNs, minorFaults() - faults);
                rates.push_back(r.perSecond);
                calls.push_back(r.medianCallNs);
            }
            printf("%d threads median: %.0f msg/s, median call %.0f ns\n", threads, median(rates), median(calls));
        }
        fs::remove_all(base);
        return 0;
    }
    int pairs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 11;
    bench::printCommandAndLoad(argc, argv);
    printf("%d messages per run, lines of about 85 bytes, 1 MiB files; %d pairs, ours then spdlog\n\n", total,
           pairs);
    printf("%-8s %-5s %14s %14s %8s %10s %10s %8s\n", "threads", "pair", "ours msg/s", "spdlog msg/s", "ratio",
           "ours ns", "spdlog ns", "ratio");
    Medians m[2];
    int threadCounts[2] = {1, 4};
    for (int k = 0; k < 2; ++k) m[k] = runPairs(base, threadCounts[k], total, pairs);
    printf("\nmedians (ratios: medians of the pairs' ratios)\n");
    for (int k = 0; k < 2; ++k)
        printf("%-8d %-5s %14.0f %14.0f %7.2fx %10.0f %10.0f %7.2fx\n", threadCounts[k], "-", m[k].oursRate,
               m[k].peerRate, m[k].rateRatio, m[k].oursNs, m[k].peerNs, m[k].latencyRatio);
    double floor = floorRate(freshDir(base, "floor"), total);
    printf("\nfloor: %.0f lines/s written 64 KiB at a time\n", floor);
    printf("1 thread: caller latency %.2fx spdlog (target at most 1.0x)\n", m[0].latencyRatio);
    printf("4 threads: caller latency %.2fx spdlog (target at most 1.0x), rate %.2fx spdlog (target at least 2x)\n",
           m[1].latencyRatio, m[1].rateRatio);
    bench::printLoadAtEnd();
    fs::remove_all(base);
    return 0;
}
