#include "platform_system.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <time.h>
#endif

namespace platform {

#if defined(_WIN32)

void sleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

#else

void sleepMilliseconds(unsigned milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    // Resume after a signal interrupts the sleep.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

#endif

}  // namespace platform
