#pragma once

#include <stdexcept>
#include <string>

namespace plughost {

// Everything that stops a patch from loading or running: a missing library,
// an unknown pin, a bad connection, malformed patch text. The message names
// the problem for the user.
class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace plughost
