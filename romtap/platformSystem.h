// Platform services other than library loading.
#pragma once

namespace platform {

void sleepMilliseconds(unsigned milliseconds);

// True when both names lead to one existing file (same volume and file
// number), however each is spelled.
bool isSameFile(const char* first, const char* second);

}  // namespace platform
