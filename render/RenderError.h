// What stops a render: the exit status the program ends with and a message naming the file or
// argument and the reason.
#pragma once

#include <stdexcept>
#include <string>

inline constexpr int kExitBadArguments = 1;
inline constexpr int kExitBadFile = 2;

class ERenderError : public std::runtime_error {
 public:
  ERenderError(int exit_code, const std::string& message)
      : std::runtime_error(message), exit_code_(exit_code) {}
  int ExitCode() const { return exit_code_; }

 private:
  int exit_code_;
};
