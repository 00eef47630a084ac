#pragma once
// What a path that is no regular file is, in words for messages ("a FIFO", "a folder").
// Shared by the reader and the writer of src/fileio; not part of the library's interface.

#include <sys/stat.h>

namespace marquetor::fileio {

inline const char* KindOfFile(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "something else";
}

}  // namespace marquetor::fileio
