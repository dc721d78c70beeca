// The standard descriptors as each platform tells and mends them, for the
// portable openStandardStreams: platformSystemPosix.cpp and
// platformSystemWindows.cpp answer it, and the build takes the target's one.
#pragma once

namespace platform {

// Whether standard descriptor 0, 1 or 2 is closed.
bool isClosed(int descriptor);
// Opens the null device as that descriptor; false when that fails.
bool openNullDeviceOn(int descriptor);

}  // namespace platform
