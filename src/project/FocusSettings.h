// How a video shows the action: zoom toward the pointer, its level, and the
// click rings. The project keeps the choice in elements of its own under
// "Movie" ("Zoom", "ZoomLevel", "ClickRings") and a picture keeps itself out
// of the zoom with "Zoom" False. They are read without being added, so a
// project that never had them exports as it always did; the SWF has no use
// for them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "document/XMLUnit.h"
#include "video/Timeline.h"

namespace quillora {

struct TFocusChoice {
    bool Zoom = false;
    double Level = video::kDefaultZoomLevel;
    bool ClickRings = false;
    friend bool operator==(const TFocusChoice&, const TFocusChoice&) = default;
};

// What the command line says over the project's choice.
struct TFocusOverride {
    std::optional<bool> Zoom;
    std::optional<double> Level;
    std::optional<bool> ClickRings;
};

// The allowed levels in words, for messages: "a number from 1.25 to 4".
std::string ZoomLevelRange();
// A level as typed or stored ("2", "1.5"); nullopt for anything but a number
// in the allowed range.
std::optional<double> ParseZoomLevel(std::string_view text);
// The text a level is stored as.
std::string ZoomLevelText(double level);

// The project's choice with the override applied. Click rings go with the
// zoom unless "ClickRings" (or the override) says otherwise. A value that
// does not read throws an Error naming its element and what it may hold; a
// level only where the zoom uses it (otherwise the default stands in).
TFocusChoice ReadFocusChoice(const IXMLMovie& movie, const TFocusOverride& over = {});

// Stores the choice in the movie's elements (adding those missing).
void WriteFocusChoice(const IXMLMovie& movie, const TFocusChoice& choice);

// The three elements as they stand, missing ones as nullopt: what undoing a
// change of the choice puts back.
struct TFocusElements {
    std::optional<std::string> Zoom, Level, ClickRings;
    friend bool operator==(const TFocusElements&, const TFocusElements&) = default;
};
TFocusElements PeekFocusElements(const IXMLMovie& movie);
void RestoreFocusElements(const IXMLMovie& movie, const TFocusElements& elements);

// Whether the picture object takes part in the zoom (its "Zoom" is not False).
bool PictureZooms(const IXMLObj& obj);

// The camera and the rings of a timeline made from movie, as choice says.
video::TFocus MakeFocus(const IXMLMovie& movie, const video::TTimeline& timeline,
                        const TFocusChoice& choice);

} // namespace quillora
