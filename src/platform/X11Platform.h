// The X11 backend. Why these techniques:
// - Mouse: the RECORD extension on a connection of its own. It watches
//   passively (no pointer grab, so clicks still reach the other programs) and
//   its events carry the exact root coordinates. XInput2 raw events would
//   carry no coordinates.
// - Pause: XGrabKey on the root window, once per combination of the lock
//   modifiers, or Pause is missed while NumLock or CapsLock is on. Another
//   client holding the key makes the grab fail with BadAccess, which we catch.
// - Frame: four 1-pixel override-redirect windows with an empty input shape,
//   on the frame lines, so they sit outside the captured pixels, never take
//   a click and place exactly in physical pixels whatever Qt's scale factor.
//   While the user may place it, input-only bands and red handle squares
//   outside the lines take the pointer (a press grabs it implicitly, so a
//   drag needs no grab of ours); they are destroyed once recording runs.
// - Screen: MIT-SHM where the server offers it (about ten times faster than
//   a plain GetImage), clamped to the screen, the rest filled black.
// All connections are read on the main thread through socket notifiers, so
// mouse events, timers, the hot key and tray clicks never overlap.
#pragma once

#include "platform/Platform.h"

namespace platform {

// Null, with why set, when there is no X display to use.
std::unique_ptr<IPlatform> CreateX11Platform(QString* why);

} // namespace platform
