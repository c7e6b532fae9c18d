#pragma once
// Watches the photo library's folder and its subfolders (GIO file monitors
// on the main thread) while anyone holds a watch, and posts
// ALAssetsLibraryChangedNotification for what changed, gathered over
// 0.3 seconds of the replaceable clock.

#include <cstdint>

namespace PhotoLibraryMonitor {

// Counted: the first hold starts watching, the last release stops it.
// Main thread only.
void hold();
void release();

// Goes up at every change seen (before its notification is posted), so a
// listing can tell that it is out of date.
uint64_t generation();

}  // namespace PhotoLibraryMonitor
