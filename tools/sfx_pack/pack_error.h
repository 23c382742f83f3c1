// The one kind of failure of the package tool: a message naming the file and the reason.
#pragma once

#include <stdexcept>
#include <string>

namespace sfxpack {

// Thrown for every input or output that cannot be used; what() is "FILE: reason" and
// becomes the tool's one-line error message.
class PackError : public std::runtime_error {
 public:
  PackError(const std::string& file, const std::string& reason)
      : std::runtime_error(file + ": " + reason) {}
};

// The operating system's reason for the last failed call (strerror of errno).
std::string SystemReason();

}  // namespace sfxpack
