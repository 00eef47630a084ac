#pragma once
// The recovery folder on disk: one entry per running editor, each a folder holding a lock
// file (locked with flock for the editor's whole life, so that a live editor's entry is
// never taken for a dead one's), the recovery copy (a normal .mrqt file) and a short note
// of the file the document belongs to and when the copy was made. The folder is the user's
// alone: folders 0700, files 0600, whatever the umask. No GUI; the editor's use of it is in
// recovery.h.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fileio/identity.h"

namespace marquetor::editor::recovery {

// $XDG_STATE_HOME/marquetor/recovery, or ~/.local/state/marquetor/recovery when the
// variable is not set (or not an absolute path); empty when there is no home either.
std::filesystem::path RecoveryFolder();

// What the note beside a copy says.
struct Note {
    std::string path;                               // the document's file; empty: never saved
    std::optional<fileio::FileIdentity> identity;   // that file on disk when opened or saved
    std::int64_t writtenAt = 0;                     // seconds since the epoch
};

std::string NoteText(const Note& note);
// Nothing when the text is not a note.
std::optional<Note> ParseNote(const std::string& text);

// An entry whose lock this process holds. Closing it (the destructor) lets the lock go and
// leaves the entry on disk; remove() deletes it.
class Entry {
public:
    ~Entry();
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

    // A new entry for this editor in the folder (made 0700 with its parents when missing).
    // Null, with errno set, when none can be made.
    static std::unique_ptr<Entry> create(const std::filesystem::path& folder);
    // The entries of other editors that are gone (their lock is free), newest copy first,
    // each now locked by this process. Entries without a copy (their editor had nothing
    // unsaved) are deleted on the way.
    static std::vector<std::unique_ptr<Entry>> takeAbandoned(const std::filesystem::path& folder);

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path copyPath() const { return m_path / kCopyName; }
    std::filesystem::path notePath() const { return m_path / kNoteName; }
    bool hasCopy() const;
    std::optional<Note> readNote() const;

    // The names of the copy and the note inside the entry, for StagedFile::commit.
    static constexpr char kCopyName[] = "document.mrqt";
    static constexpr char kNoteName[] = "note";
    static constexpr char kLockName[] = "lock";

    // Deletes the copy and its note; the entry stays.
    void removeCopy();
    // Deletes the whole entry (the lock goes with it).
    void remove();

private:
    Entry(std::filesystem::path path, int lockFd) : m_path(std::move(path)), m_lockFd(lockFd) {}
    std::filesystem::path m_path;
    int m_lockFd = -1;
};

}  // namespace marquetor::editor::recovery
