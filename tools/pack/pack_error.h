// The one kind of failure the packer reports: a file and what is wrong with it.
#pragma once

#include <stdexcept>
#include <string>

class PackError : public std::runtime_error {
 public:
  PackError(const std::string& file, const std::string& reason)
      : std::runtime_error(file + ": " + reason) {}
};
