#pragma once

namespace orvel {

// The process exit codes: what the main process waits for.
inline constexpr int exit_success = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;
// The abnormal end of an attach that could not start its standard-input reader.
inline constexpr int exit_no_reader = 3;

}  // namespace orvel
