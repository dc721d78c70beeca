#include "platformSystem.h"

#include "platformDescriptors.h"

namespace platform {

bool openStandardStreams()
{
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (isClosed(descriptor) && !openNullDeviceOn(descriptor))
            return false;
    }
    return true;
}

}  // namespace platform
