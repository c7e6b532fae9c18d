// The child process of the crash-safety tests.
//
//   crash_child write <folder> <seed>
//     Saves checksummed values under 64 keys in a loop (inline and file
//     values, removals, trims, now and then a full reset) until killed.
//     Writes "ready" to standard output once the first value is saved.
//
//   crash_child read <folder> <seed>
//     Saves every key once (even keys inline, odd ones in files), then reads
//     keys at random, now and then saving an even key anew (inline, so the
//     save is one row), until killed. Writes "ready" after the first reads.
//     Every key must survive: reads only record access times.
//
//   crash_child fulldisk <folder>
//     Mounts a 2 MiB tmpfs on <folder> in a private mount namespace, fills
//     it through the disk cache, keeps saving on the full disk, and checks
//     that every read is nothing or a whole value, that a new cache on the
//     folder reads the same, and that freeing space makes saving work again.
//     Exit 0 on success; 2 when the mount cannot be made; 1 on a torn value.

#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "CrashValues.h"
#include "imagecache/ZVDiskCache.h"
#include "support/MountNamespace.h"

namespace {

int writeLoop(const std::string& folder, uint64_t seed) {
    auto cache = crashvalues::openCache(folder);
    if (!cache) {
        fprintf(stderr, "cannot open the cache at %s\n", folder.c_str());
        return 1;
    }
    std::mt19937_64 rng(seed);
    bool announced = false;
    for (uint64_t round = 0;; ++round) {
        std::string key = crashvalues::keyName(rng() % crashvalues::kKeys);
        uint64_t pick = rng() % 100;
        if (pick < 85) {
            // Sizes either side of the inline threshold.
            size_t size = rng() % 3 == 0 ? 16 + rng() % 4000 : 4000 + rng() % 60000;
            cache->setObject(crashvalues::makeValue(key, size, rng()), key);
        } else if (pick < 95) {
            cache->removeObjectForKey(key);
        } else if (pick < 99) {
            cache->trimToCount(crashvalues::kKeys / 2);
        } else {
            cache->removeAllObjects();
        }
        if (!announced) {
            announced = true;
            fputs("ready\n", stdout);
            fflush(stdout);
        }
    }
}

int readLoop(const std::string& folder, uint64_t seed) {
    auto cache = crashvalues::openCache(folder);
    if (!cache) {
        fprintf(stderr, "cannot open the cache at %s\n", folder.c_str());
        return 1;
    }
    std::mt19937_64 rng(seed);
    auto inlineSize = [&] { return size_t(16 + rng() % 4000); };
    for (int i = 0; i < crashvalues::kKeys; ++i) {
        std::string key = crashvalues::keyName(i);
        cache->setObject(crashvalues::makeValue(key, i % 2 ? 5000 + rng() % 60000 : inlineSize(), rng()), key);
    }
    for (uint64_t round = 0;; ++round) {
        uint64_t i = rng() % crashvalues::kKeys;
        std::string key = crashvalues::keyName(i);
        if (rng() % 10 == 0 && i % 2 == 0) {
            cache->setObject(crashvalues::makeValue(key, inlineSize(), rng()), key);
        } else if (!cache->objectForKey(key)) {
            fprintf(stderr, "%s vanished\n", key.c_str());
            return 1;
        }
        if (round == crashvalues::kKeys) {
            fputs("ready\n", stdout);
            fflush(stdout);
        }
    }
}

int fullDisk(const std::string& folder) {
    if (!testsupport::enterPrivateMountNamespace()) return 2;
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=2m") != 0) {
        fprintf(stderr, "cannot mount a tmpfs on %s: %s\n", folder.c_str(), strerror(errno));
        return 2;
    }
    const std::string path = folder + "/cache";
    std::mt19937_64 rng(7);
    int failedRounds = 0;
    {
        auto cache = crashvalues::openCache(path);
        if (!cache) {
            fprintf(stderr, "cannot open the cache\n");
            return 1;
        }
        cache->setErrorLogsEnabled(false);
        // Fill until saves fail, then keep replacing values on the full disk.
        for (int round = 0; round < 3000; ++round) {
            std::string key = crashvalues::keyName(rng() % crashvalues::kKeys);
            size_t size = rng() % 2 ? 100 + rng() % 3000 : 5000 + rng() % 120000;
            CacheObject value = crashvalues::makeValue(key, size, rng());
            cache->setObject(value, key);
            CacheObject back = cache->objectForKey(key);
            if (!back || !(*back.get<Data>() == *value.get<Data>())) ++failedRounds;
        }
        struct statvfs st {};
        statvfs(path.c_str(), &st);
        printf("failed saves: %d, free bytes: %llu\n", failedRounds, (unsigned long long)st.f_bavail * st.f_frsize);
        if (failedRounds < 100) {
            fprintf(stderr, "the disk never filled up (%d failed saves)\n", failedRounds);
            return 1;
        }
        auto report = crashvalues::verifyAll(*cache);
        if (!report.ok) {
            fprintf(stderr, "torn value on a full disk: %s\n", report.problem.c_str());
            return 1;
        }
        printf("whole values on the full disk: %d\n", report.whole);
    }
    {
        // A new storage on the same folder: the same rule, and space freed
        // makes saving work again.
        auto cache = crashvalues::openCache(path);
        if (!cache) {
            fprintf(stderr, "cannot reopen the cache on the full disk\n");
            return 1;
        }
        cache->setErrorLogsEnabled(false);
        auto report = crashvalues::verifyAll(*cache);
        if (!report.ok) {
            fprintf(stderr, "torn value after reopening: %s\n", report.problem.c_str());
            return 1;
        }
        cache->removeAllObjects();
        std::string key = crashvalues::keyName(1);
        CacheObject value = crashvalues::makeValue(key, 50000, 99);
        cache->setObject(value, key);
        CacheObject back = cache->objectForKey(key);
        if (!back || !(*back.get<Data>() == *value.get<Data>())) {
            fprintf(stderr, "saving does not work again after freeing space\n");
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "write") return writeLoop(argv[2], std::stoull(argv[3]));
    if (argc == 4 && std::string(argv[1]) == "read") return readLoop(argv[2], std::stoull(argv[3]));
    if (argc == 3 && std::string(argv[1]) == "fulldisk") return fullDisk(argv[2]);
    fprintf(stderr, "usage: %s write|read <folder> <seed> | fulldisk <folder>\n", argv[0]);
    return 64;
}
