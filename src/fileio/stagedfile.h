#pragma once
// A file of this program's own, written over time and put in place whole: the recovery
// copies. It is made unnamed (O_TMPFILE) in its folder, with the mode asked for whatever the
// umask, written in as many steps as the caller likes, then synced and given its name by a
// rename, so that the name always holds a whole file: the old one or the new one. Dropped
// before that, or cut off by a crash, it leaves nothing behind (on a file system without
// unnamed files it has a ".stage-" temporary name from the start, removed when dropped).
// Unlike ReplaceFile (replacefile.h) it keeps no old file's owner, mode or attributes: the
// folder and its files belong to the program. Plain C++ and POSIX, no GUI.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace marquetor::fileio {

class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile() { drop(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Starts a new file in the folder (dropping one already started). False, with errno
    // set, when none can be made.
    bool start(const std::filesystem::path& folder, unsigned mode);
    bool started() const { return m_fd >= 0; }
    // Where the bytes go: from the current offset on.
    int descriptor() const { return m_fd; }

    // Syncs the file and gives it this name in its folder, replacing what was there, then
    // syncs the folder. False, with errno set, when that failed; the name keeps what it held.
    // Either way the staged file is done with.
    bool commit(const std::string& name);
    // Abandons the file: nothing of it stays.
    void drop();

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_tempPath;   // empty while the file is unnamed
    int m_fd = -1;
};

}  // namespace marquetor::fileio
