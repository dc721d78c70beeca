// Platform services other than library loading.
#pragma once

namespace platform {

void sleepMilliseconds(unsigned milliseconds);

}  // namespace platform
