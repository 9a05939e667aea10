// Exit statuses of every host tool.
#pragma once

namespace tools {

inline constexpr int kExitOk = 0;
// The library answered with a failure status or no answer, or a file could not be used.
inline constexpr int kExitFailure = 1;
// The command line was wrong.
inline constexpr int kExitUsage = 2;

}  // namespace tools
