// orqctl's exit statuses and what a command leaves for the terminal.
#pragma once

#include <string>
#include <utility>

namespace orqctl {

// Exit statuses.
inline constexpr int kDone = 0;
inline constexpr int kNoDevice = 1;  // no service, no device, or it did not answer
inline constexpr int kUsage = 2;
inline constexpr int kBadFile = 3;  // a file refused, or one that could not be written
inline constexpr int kInterrupted = 130;

struct Outcome {
  int status = kDone;
  std::string out;  // for stdout
  std::string err;  // for stderr, one message per line without the program's name
};

inline Outcome failed(int status, std::string why) {
  return {status, {}, std::move(why)};
}

}  // namespace orqctl
