#pragma once
// The one exception type of the program. An error that stops an operation
// carries its message text up to the application's default handler, which
// shows it to the user; the texts are the program's own and are kept exact.

#include <stdexcept>
#include <string>

namespace quillora {

class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

} // namespace quillora
