#pragma once
// What the firmware and the kernel say about the machine itself: the DMI
// vendor and product names, whether a camera is attached, and memory. Read
// below the facts root (DeviceFacts.h), so tests play any machine.

#include <cstdint>
#include <string>

namespace device {

// /sys/class/dmi/id/sys_vendor and product_name; "" when the machine has
// no DMI table (most ARM boards, many containers) or it holds a filler
// such as "To be filled by O.E.M.".
std::string dmiVendor();
std::string dmiProductName();

// True when a video capture device is present (/sys/class/video4linux).
bool hasCamera();

// Bytes of physical memory (sysconf: pages x page size); 0 when unknown.
uint64_t physicalMemory();
// Bytes that can be had now without swapping: MemAvailable of
// /proc/meminfo (what the kernel counts as free, reclaimable caches
// included); -1 when it cannot be read.
int64_t availableMemory();

// The camera as this process may use it: Available when a capture device
// is present and its node (/dev/<name>) opens for reading and writing,
// Denied when devices are present but none opens, Unavailable without a
// device. The first device that opens is `cameraDevice()` ("" for none).
enum class CameraAccess { Available, Denied, Unavailable };
CameraAccess cameraAccess();
std::string cameraDevice();

}  // namespace device
