#pragma once
// Lock files: an empty file whose advisory lock (flock) says that a live process owns what
// it stands for. The lock goes with the process, however it ends.

#include <filesystem>

namespace marquetor::fileio {

// Opens the lock file (made 0600 when `create`, and then only if it is not there yet) and
// locks it without waiting. The descriptor, to keep open for as long as the lock is held;
// -1 with errno set when the file is missing or already exists (create), or the lock is
// held by another process (EWOULDBLOCK).
int TakeLockFile(const std::filesystem::path& path, bool create);

// Gives a file or folder another name in the same file system (rename(2)); false with
// errno set when it could not.
bool Rename(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace marquetor::fileio
