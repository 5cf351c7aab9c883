// The Wayland backend. A Wayland desktop lets no program read the screen,
// watch the mouse or take a key by itself, so everything goes through the
// interfaces it offers to all programs:
// - Screen: the ScreenCast portal (one monitor, the user's consent kept as a
//   restore token in the settings) and its PipeWire stream, running for the
//   whole recording; a capture copies from the newest frame.
// - Pointer: the stream's cursor metadata where the desktop offers it. Where
//   it offers only a hidden or embedded cursor (wlroots), the cursor is drawn
//   into the pictures, the region's centre stands for the pointer and only
//   manual captures are possible.
// - Capture key: the GlobalShortcuts portal where there is one, and
//   `quillora --capture` over the session bus everywhere.
// - Frame: a transparent window over the recorded monitor that takes no
//   input and paints only the four lines, outside the captured pixels.
// Clicks cannot be seen at all; auto mode captures on rests only.
#pragma once

#include "platform/Platform.h"

namespace platform {

// Never null: what the desktop lacks is said when a recording starts.
std::unique_ptr<IPlatform> CreateWaylandPlatform(QString* why);

} // namespace platform
