#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace mlfk {

// Every temporary file this program makes starts with this prefix, so that
// leftovers of a killed process can be recognised and nothing else is touched.
inline constexpr std::string_view kTemporaryPrefix = ".mlfk-tmp-";

// Writes `bytes` so that `target` holds either its former content or all of
// the new one, across a crash or a power cut: a temporary file in the same
// folder is written and fsynced, renamed over the target, and the folder is
// fsynced. Returns the system's error text on failure; the temporary file is
// gone either way.
std::optional<std::string> writeFileDurably(const std::filesystem::path& target,
                                            std::string_view bytes);

// Copies `source` to `target` with the same guarantees, replacing the target.
std::optional<std::string> copyFileDurably(const std::filesystem::path& source,
                                           const std::filesystem::path& target);

// Replaces `target` in one rename, without waiting for the disk: for small
// settings that the main thread writes and that may be lost, never torn.
std::optional<std::string> replaceFile(const std::filesystem::path& target, std::string_view bytes);

// Makes `target` hold what `source` holds now, replacing it: a second hard
// link to the same file where the file system allows, else a durable copy.
// Only for a source that is always replaced by rename, never written in
// place, so the two names cannot drift apart afterwards.
std::optional<std::string> keepVersionOf(const std::filesystem::path& source,
                                         const std::filesystem::path& target);

// Copies `source` to `target` unless an entry of that name exists already; the
// target never appears partly written, also where the file system has no
// hard links. Returns 0, EEXIST when the name was taken, or another errno.
int copyFileIfAbsent(const std::filesystem::path& source, const std::filesystem::path& target);

// Gives the finished file `temporary` the name `target`, replacing it, and
// makes the rename durable. Returns the system's error text on failure; the
// temporary file is then still there for the caller to remove.
std::optional<std::string> publishFile(const std::filesystem::path& temporary,
                                       const std::filesystem::path& target);

// A new, empty temporary file beside `target`, with this program's prefix;
// nothing when it cannot be made.
std::optional<std::filesystem::path> newTemporaryBeside(const std::filesystem::path& target);

// Removes the temporary files that an interrupted write left in `folder`.
void removeStaleTemporaries(const std::filesystem::path& folder);

// Removes an entry of any kind, a folder with its content; failures are ignored.
void removeEntry(const std::filesystem::path& entry);

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::filesystem::path& file);

}  // namespace mlfk
