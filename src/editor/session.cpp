#include "editor/session.h"

#include <filesystem>
#include <utility>

#include <sys/stat.h>

#include "editor/command.h"
#include "fileio/filekind.h"

namespace marquetor::editor {

namespace {

std::filesystem::path toPath(const std::string& bytes) {
    // Paths are bytes here; std::filesystem keeps them as they are.
    return std::filesystem::path(bytes);
}

}  // namespace

Session::Session() { startFresh(); }

void Session::startFresh() {
    m_doc = document::TileSet{};
    m_doc.tileWidth = 64;
    m_doc.tileHeight = 64;
    document::AddTileGroup(m_doc, document::kTileGroup);
    m_history.clear();
    changed(part::Everything);
    markSaved(std::string(), false);
}

void Session::adopt(document::TileSet set) {
    m_doc = std::move(set);
    m_history.clear();
    changed(part::Everything);
    markSaved(std::string(), false);
    // Whatever it holds, it is on no disk yet: no document's fingerprint is this one.
    m_mark.fingerprint ^= 1;
    m_unsaved = true;
}

unsigned Session::run(std::unique_ptr<Command> command) {
    if (!command) return 0;
    command->m_session = this;
    // The first do is the redo: one way to make each change.
    const unsigned parts = command->redo();
    if (parts == 0) return 0;
    m_history.record(std::move(command));
    changed(parts);
    return parts;
}

unsigned Session::undo() {
    const unsigned parts = m_history.undo();
    changed(parts);
    return parts;
}

unsigned Session::redo() {
    const unsigned parts = m_history.redo();
    changed(parts);
    return parts;
}

tilesetfile::LoadResult Session::open(const std::string& path) {
    // A named pipe or a device would hold the editor in the read (the loader reads streams
    // too, for mrqt's "-"): refused before it is opened. A missing file and a folder get the
    // loader's own words.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return {tilesetfile::LoadStatus::CannotOpen, std::string("it is ") + fileio::KindOfFile(st.st_mode)};
    // Looked at before reading: a change made while it is read counts as a change since.
    const std::optional<fileio::FileIdentity> identity = fileio::IdentifyFile(toPath(path));
    tilesetfile::LoadResult result = tilesetfile::LoadTileSet(m_doc, toPath(path));
    if (result.code() != 1) return result;
    // A truncated file counts as opened: the document holds what the file holds, so
    // closing without saving loses nothing that is on disk.
    m_history.clear();
    changed(part::Everything);
    markSaved(path, result.status == tilesetfile::LoadStatus::Truncated);
    m_mark.identity = identity;
    return result;
}

tilesetfile::LoadResult Session::recover(const std::string& copyPath, SavedMark mark) {
    document::TileSet loaded;
    tilesetfile::LoadResult result = tilesetfile::LoadTileSet(loaded, toPath(copyPath));
    // A copy cut short is no copy: what it holds is not what the user had.
    if (result.status != tilesetfile::LoadStatus::Ok) {
        if (result.status == tilesetfile::LoadStatus::Truncated) result.status = tilesetfile::LoadStatus::CannotOpen;
        return result;
    }
    m_doc = std::move(loaded);
    m_history.clear();
    changed(part::Everything);
    m_mark = std::move(mark);
    ++m_markCount;
    // Unsaved until saved: no document's fingerprint is this one.
    m_mark.fingerprint = document::ContentFingerprint(m_doc) ^ 1;
    m_answeredAt = ~std::uint64_t{0};
    m_changes |= part::File;
    m_history.seal();
    return result;
}

tilesetfile::SaveResult Session::save(const std::string& path) {
    tilesetfile::SaveResult result = tilesetfile::SaveTileSet(m_doc, toPath(path));
    // A failed save leaves the file that was there, and the mark, as they were.
    if (result.ok) {
        markSaved(path, false);
        m_mark.identity = fileio::IdentifyFile(toPath(path));
    }
    return result;
}

bool Session::hasUnsavedChanges() const {
    if (m_answeredAt != m_changeCount) {
        m_unsaved = document::ContentFingerprint(m_doc) != m_mark.fingerprint;
        m_answeredAt = m_changeCount;
    }
    return m_unsaved;
}

void Session::exchangeSavedMark(SavedMark& other) {
    std::swap(m_mark, other);
    ++m_markCount;
    m_answeredAt = ~std::uint64_t{0};
    m_changes |= part::File;
}

void Session::changed(unsigned parts) {
    if (parts == 0) return;
    m_changes |= parts;
    ++m_changeCount;
}

void Session::markSaved(std::string path, bool dataEndedEarly) {
    m_mark.path = std::move(path);
    m_mark.fingerprint = document::ContentFingerprint(m_doc);
    m_mark.dataEndedEarly = dataEndedEarly;
    m_mark.identity.reset();
    ++m_markCount;
    m_answeredAt = m_changeCount;
    m_unsaved = false;
    m_changes |= part::File;
    // A later edit of a tile-size box is a step of its own, so Undo comes back here.
    m_history.seal();
}

}  // namespace marquetor::editor
