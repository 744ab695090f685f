#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace mlfk {

inline constexpr size_t kSnapshotRetention = 40;
inline constexpr size_t kReasonLength = 40;  // user-perceived characters

// "yyyy-MM-dd HH-mm-ss" in local time, Gregorian calendar, ASCII digits.
std::string snapshotTimestamp(std::time_t when);

// Every "/" becomes "-", then the text is cut to its first 40 user-perceived
// characters (extended grapheme clusters).
std::string cleanSnapshotReason(std::string_view reason);

// The time stamp, a space, the cleaned reason and ".json".
std::string snapshotFileName(std::time_t when, std::string_view reason);

// The names to remove so that `keep` remain: the smallest names, compared as
// Unicode text after canonical decomposition, in a stable order. `spare`, the
// snapshot just taken, counts but is never removed: with the clock set back it
// would have the smallest name, and the safety copy would be gone at once.
std::vector<std::string> snapshotsToPrune(std::vector<std::string> names, size_t keep,
                                          std::string_view spare = {});

}  // namespace mlfk
