#pragma once
// What the firmware and the kernel say about the machine itself: the DMI
// vendor and product names and whether a camera is attached. Read below the
// facts root (DeviceFacts.h), so tests play any machine.

#include <string>

namespace device {

// /sys/class/dmi/id/sys_vendor and product_name; "" when the machine has
// no DMI table (most ARM boards, many containers) or it holds a filler
// such as "To be filled by O.E.M.".
std::string dmiVendor();
std::string dmiProductName();

// True when a video capture device is present (/sys/class/video4linux).
bool hasCamera();

}  // namespace device
