// Platform services other than library loading.
#pragma once

namespace platform {

void sleepMilliseconds(unsigned milliseconds);

// True when both names lead to one existing file (same volume and file
// number), however each is spelled.
bool isSameFile(const char* first, const char* second);

// Opens the null device on whichever of descriptors 0, 1 and 2 is closed, so
// that the image file cannot take one of them and receive console text.
// False when that fails. Called before anything else.
bool openStandardStreams();

}  // namespace platform
