#pragma once

namespace common {

/// Puts /dev/null in place of standard input, output and error where the program was started with one of
/// them closed, so that no file the program opens later takes that number and receives what is meant for
/// the terminal. Returns a bit for each descriptor that was closed (1: input, 2: output, 4: error).
int ReserveStandardDescriptors();

} // namespace common
