#include "editor/recoveryfolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio/lockfile.h"
#include "fileio/readfile.h"

namespace marquetor::editor::recovery {

namespace fs = std::filesystem;

namespace {

constexpr char kNoteHeader[] = "marquetor recovery note 1";
constexpr char kEntryPrefix[] = "entry-";

// Makes a folder 0700 when it is missing; a folder of ours that is there is set to 0700.
bool makePrivateFolder(const fs::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (errno == 0) errno = ENOTDIR;
        return false;
    }
    if ((st.st_mode & 07777) != 0700 && st.st_uid == ::geteuid()) ::chmod(folder.c_str(), 0700);
    return true;
}

// The lock file of an entry, opened and locked without waiting; -1 when it is missing or
// held by a live editor.
int lockEntry(const fs::path& entry, bool create) { return fileio::TakeLockFile(entry / Entry::kLockName, create); }

std::string readSmallFile(const fs::path& path) {
    const fileio::ReadResult read = fileio::ReadWholeFile(path, std::size_t{64} << 10);
    return read.ok ? std::string(read.bytes.begin(), read.bytes.end()) : std::string();
}

}  // namespace

fs::path RecoveryFolder() {
    fs::path state;
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        state = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') return {};
        state = fs::path(home) / ".local" / "state";
    }
    return state / "marquetor" / "recovery";
}

std::string NoteText(const Note& note) {
    std::ostringstream out;
    out << kNoteHeader << '\n' << "written " << note.writtenAt << '\n';
    if (note.identity) {
        const fileio::FileIdentity& id = *note.identity;
        out << "identity " << id.device << ' ' << id.inode << ' ' << id.size << ' ' << id.modifiedSeconds << ' '
            << id.modifiedNanoseconds << '\n';
    }
    // Last, to the end of the note: a path is bytes and may hold any of them but zero.
    if (!note.path.empty()) out << "file " << note.path;
    return out.str();
}

std::optional<Note> ParseNote(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kNoteHeader) return std::nullopt;
    Note note;
    std::size_t lineStart = static_cast<std::size_t>(in.tellg());
    while (std::getline(in, line)) {
        if (line.rfind("file ", 0) == 0) {
            note.path = text.substr(lineStart + 5);
            break;
        }
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "written") {
            fields >> note.writtenAt;
        } else if (key == "identity") {
            fileio::FileIdentity id;
            if (fields >> id.device >> id.inode >> id.size >> id.modifiedSeconds >> id.modifiedNanoseconds)
                note.identity = id;
        }
        if (in.tellg() < 0) break;
        lineStart = static_cast<std::size_t>(in.tellg());
    }
    return note;
}

Entry::~Entry() {
    if (m_lockFd >= 0) ::close(m_lockFd);
}

std::unique_ptr<Entry> Entry::create(const fs::path& folder) {
    if (folder.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    // The state folders above are the user's own too (made 0700 when missing).
    std::error_code ec;
    const fs::path parent = folder.parent_path();
    if (!fs::is_directory(parent.parent_path(), ec)) {
        fs::create_directories(parent.parent_path(), ec);
        ::chmod(parent.parent_path().c_str(), 0700);
    }
    if (!makePrivateFolder(parent) || !makePrivateFolder(folder)) return nullptr;
    // Made under a hidden name and locked before it gets its entry name, so that another
    // editor never sees it unlocked.
    std::string made = (folder / ".new-XXXXXX").string();
    if (::mkdtemp(made.data()) == nullptr) return nullptr;
    ::chmod(made.c_str(), 0700);
    const int fd = lockEntry(made, true);
    if (fd < 0) {
        ::rmdir(made.c_str());
        return nullptr;
    }
    const fs::path named = folder / (kEntryPrefix + fs::path(made).filename().string().substr(5));
    if (!fileio::Rename(made, named)) {
        const int saved = errno;
        ::unlink((fs::path(made) / kLockName).c_str());
        ::rmdir(made.c_str());
        ::close(fd);
        errno = saved;
        return nullptr;
    }
    return std::unique_ptr<Entry>(new Entry(named, fd));
}

std::vector<std::unique_ptr<Entry>> Entry::takeAbandoned(const fs::path& folder) {
    std::vector<std::unique_ptr<Entry>> taken;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kEntryPrefix, 0) != 0) continue;
        const int fd = lockEntry(it->path(), false);
        if (fd < 0) continue;   // a live editor's, or being removed
        auto entry = std::unique_ptr<Entry>(new Entry(it->path(), fd));
        if (!entry->hasCopy()) {
            entry->remove();   // its editor had nothing unsaved
            continue;
        }
        taken.push_back(std::move(entry));
    }
    auto writtenAt = [](const Entry& e) {
        const std::optional<Note> note = e.readNote();
        return note ? note->writtenAt : 0;
    };
    std::stable_sort(taken.begin(), taken.end(),
                     [&](const auto& a, const auto& b) { return writtenAt(*a) > writtenAt(*b); });
    return taken;
}

bool Entry::hasCopy() const {
    struct stat st {};
    return ::lstat(copyPath().c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<Note> Entry::readNote() const { return ParseNote(readSmallFile(notePath())); }

void Entry::removeCopy() {
    // The copy first: a note without a copy is never offered.
    ::unlink(copyPath().c_str());
    ::unlink(notePath().c_str());
}

void Entry::remove() {
    removeCopy();
    // What a save cut off left in the entry.
    std::error_code ec;
    for (fs::directory_iterator it(m_path, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename() != kLockName) fs::remove(it->path(), ec);
    ::unlink((m_path / kLockName).c_str());
    ::rmdir(m_path.c_str());
    if (m_lockFd >= 0) ::close(m_lockFd);
    m_lockFd = -1;
}

}  // namespace marquetor::editor::recovery
