#pragma once
// The one document the editor edits, with its history and its saved mark. The session is
// the only way the editor changes the document: every change is a command (command.h) run,
// undone and redone here, and opening and saving go through it too. It gives the one answer
// to "are there unsaved changes?" that Close, Open, New, drops and the TileSet tab's account
// all use, and counts the changes, so that whoever looks at the document now and then can
// tell cheaply whether it changed since.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "document/tileset.h"
#include "editor/history.h"
#include "fileio/identity.h"
#include "tilesetfile/format.h"

namespace marquetor::editor {

class Command;

// What counts as saved: the file the document belongs to and what it held there.
struct SavedMark {
    // The file the document was last opened from or saved to; empty for one never saved.
    std::string path;
    // ContentFingerprint of the document as last created, opened or saved.
    std::uint64_t fingerprint = 0;
    // The file it was opened from ended early, so the document holds only part of the tile
    // set; it stays so until the document is saved or replaced.
    bool dataEndedEarly = false;
    // What identified that file on disk when it was opened or saved (nothing when it could
    // not be looked at, or for a document never saved): whether another program changed it
    // since is told by comparing.
    std::optional<fileio::FileIdentity> identity;
};

class Session {
public:
    // A fresh document (startFresh).
    Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const document::TileSet& doc() const { return m_doc; }
    // The document to change in place: for the commands (and for tests that set a document
    // up as a load would). Handing it out counts as a change.
    document::TileSet& documentToChange() {
        ++m_changeCount;
        return m_doc;
    }

    // An empty document (tile size 64 x 64, its one tile group), nothing to undo, counted as
    // unchanged and belonging to no file: where the editor starts.
    void startFresh();
    // A tile set made elsewhere (an imported Tiled tileset) as the document: nothing to undo,
    // belonging to no file, and changed until it is saved.
    void adopt(document::TileSet set);

    // A change: the command's first do, then a step of the history. The parts it changed;
    // 0 when it changed nothing, and then it is no step either.
    unsigned run(std::unique_ptr<Command> command);
    // Edit > Undo and Redo: the parts changed, 0 when there was nothing to do.
    unsigned undo();
    unsigned redo();
    History& history() { return m_history; }
    const History& history() const { return m_history; }

    // Loads a file into the document. A document that came (even in part) from the file
    // starts a fresh history, counts as unchanged and belongs to the file; one the load did
    // not touch (code() 0) keeps its history and its mark.
    tilesetfile::LoadResult open(const std::string& path);
    // A recovery copy (a .mrqt file) loaded as the document that belongs to `mark`'s file
    // with unsaved changes: it counts as changed until it is saved. Loaded whole, it starts a
    // fresh history; otherwise the document, history and mark are as they were.
    tilesetfile::LoadResult recover(const std::string& copyPath, SavedMark mark);
    // Writes the document to a file through the crash-safe writer; written, it counts as
    // unchanged and belongs to that file, and the next change is a step of its own.
    tilesetfile::SaveResult save(const std::string& path);

    // Whether the document differs from what was last created, opened or saved (edits that
    // cancel out leave nothing to save). A walk over the tiles, once per change at most.
    bool hasUnsavedChanges() const;
    const SavedMark& savedMark() const { return m_mark; }
    // New and its undo: the other document's mark comes in, this one's goes out.
    void exchangeSavedMark(SavedMark& other);

    // Goes up with every change of the document (commands, undo, redo, open).
    std::uint64_t changeCount() const { return m_changeCount; }
    // Goes up whenever the saved mark is replaced (open, save, recover, New and its undo).
    std::uint64_t markCount() const { return m_markCount; }
    // The parts (command.h) changed since the last call, the saved mark included.
    unsigned takeChanges() {
        const unsigned changes = m_changes;
        m_changes = 0;
        return changes;
    }

private:
    void changed(unsigned parts);
    // The document as it is now counts as unchanged and belongs to this file.
    void markSaved(std::string path, bool dataEndedEarly);

    document::TileSet m_doc;
    History m_history;
    SavedMark m_mark;
    std::uint64_t m_changeCount = 0;
    std::uint64_t m_markCount = 0;
    unsigned m_changes = 0;
    // The last answer of hasUnsavedChanges and the change it was given at.
    mutable std::uint64_t m_answeredAt = ~std::uint64_t{0};
    mutable bool m_unsaved = false;
};

}  // namespace marquetor::editor
