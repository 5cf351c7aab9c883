#pragma once
// The one exception type of the program. An error that stops an operation
// carries its message text up to the application's default handler, which
// shows it to the user; the texts are the program's own and are kept exact.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace quillora {

// Where in the project a value that does not read sits. The message stays
// what it is; a caller that can show more (the command-line exporter)
// tells the user where to look.
struct ErrorPlace {
    // The element's path below its object, or below "Movie" for a setting of
    // the movie ("StartTime", "ObjType/ObjPic/PositionX", "Rate"); "" when
    // the failure is not one element's.
    std::string Element;
    std::string Value; // the element's text, when it has one
    // The "Obj" item, counted from 0 in the file; -1 when no object.
    int32_t ObjectIndex = -1;
    int32_t ObjectCount = 0; // items in the file
    std::string ObjectName;  // its "ObjName"

    bool Empty() const { return Element.empty() && ObjectIndex < 0; }
};

class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
    Error(const std::string& message, ErrorPlace place)
        : std::runtime_error(message), place_(std::move(place))
    {
    }

    const ErrorPlace& Place() const { return place_; }
    // Filled in on the way up by whoever knows more of it.
    ErrorPlace& Place() { return place_; }

  private:
    ErrorPlace place_;
};

// The place in words, e.g. `object 3 of 5 ("Pic3"), element "StartTime"
// holding "1O"`; "" for an empty place.
std::string DescribePlace(const ErrorPlace& place);

} // namespace quillora
