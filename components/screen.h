#pragma once
// The size of the primary screen in pixels (device-independent pixels, as windows are
// placed in them).

namespace mv {

int GETSCREENX();
int GETSCREENY();

}  // namespace mv
