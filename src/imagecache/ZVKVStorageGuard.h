#pragma once
// Inside the storage's own files only: every public call of ZVKVStorage
// starts with GUARD.

#include "imagecache/ZVKVStorage.h"

// Runs the reset after a public call that met a damaged database; nested
// public calls leave it to the outermost.
class ZVKVStorageCorruptionGuard {
public:
    explicit ZVKVStorageCorruptionGuard(ZVKVStorage& s) : s_(s) { ++s_.callDepth_; }
    ~ZVKVStorageCorruptionGuard() {
        if (--s_.callDepth_ == 0 && s_.corrupted_) s_.resetAfterCorruption();
    }

private:
    ZVKVStorage& s_;
};

#define GUARD ZVKVStorageCorruptionGuard corruptionGuard(*this)
