#include "editor/filecommands.h"

#include <filesystem>

#include "editor/eventloop.h"
#include "editor/infopanel.h"
#include "tilesetfile/format.h"

namespace marquetor::editor {

namespace {

std::filesystem::path toPath(std::string_view bytes) {
    // Paths are bytes here; std::filesystem keeps them as they are.
    return std::filesystem::path(std::string(bytes));
}

// The document as it is now counts as unchanged, and belongs to this file.
void markSaved(Editor& ed, const std::string& path) {
    ed.savedFingerprint = document::ContentFingerprint(ed.doc);
    ed.history.markSaved();
    // A later edit of a tile-size box is a step of its own, so Undo comes back here.
    ed.history.seal();
    ed.documentPath = path;
    ed.info.dirty |= kFileChanged;
}

// After a load: a document that came (even in part) from the file starts a fresh history;
// one the load did not touch keeps its own.
void loaded(Editor& ed, const tilesetfile::LoadResult& result) {
    if (result.code() != 1) return;
    ed.history.clear();
    markSaved(ed, ed.chosenPath);
}

// What the user is told after a load, beyond what the refresh shows.
void reportLoad(Editor& ed, tilesetfile::LoadStatus status, bool silentWhenUnopened) {
    using tilesetfile::LoadStatus;
    switch (status) {
    case LoadStatus::Ok: break;
    case LoadStatus::Truncated: ed.message("The tile set file is incomplete!"); break;
    case LoadStatus::NotATileSet: ed.message("Not a tile set file!"); break;
    case LoadStatus::CannotOpen:
        if (!silentWhenUnopened) ed.message("Could not be opened!");
        break;
    }
}

}  // namespace

bool HasTileSetEnding(std::string_view path) {
    const std::string_view ending = kTileSetEnding;
    return path.size() >= ending.size() && path.substr(path.size() - ending.size()) == ending;
}

std::string WithTileSetEnding(std::string_view path) {
    std::string result(path);
    if (!HasTileSetEnding(result)) result += kTileSetEnding;
    return result;
}

bool SaveCommand(Editor& ed) {
    ed.chosenPath = ed.dialogs.saveFile("Save...", kTileSetFolder, kTileSetPatterns);
    if (ed.chosenPath.empty()) return false;
    ed.chosenPath = WithTileSetEnding(ed.chosenPath);
    const tilesetfile::SaveResult result = tilesetfile::SaveTileSet(ed.doc, toPath(ed.chosenPath));
    if (!result.ok) {
        // The file that was there before is left untouched by the save.
        ed.message("Could not be saved!");
        return false;
    }
    markSaved(ed, ed.chosenPath);
    return true;
}

namespace {

// Open... from the chosen path on: the load, the refresh whatever it gave, the report.
void openChosenPath(Editor& ed) {
    const tilesetfile::LoadResult result = tilesetfile::LoadTileSet(ed.doc, toPath(ed.chosenPath));
    RefreshGadgets(ed);
    // A truncated file counts as opened: the document holds what the file holds, so
    // closing without saving loses nothing that is on disk.
    loaded(ed, result);
    reportLoad(ed, result.status, false);
}

}  // namespace

void OpenCommand(Editor& ed) {
    if (!ConfirmUnsavedChanges(ed)) return;
    ed.chosenPath = ed.dialogs.openFile("Open...", kTileSetFolder, kTileSetPatterns);
    if (ed.chosenPath.empty()) return;
    openChosenPath(ed);
}

void OpenTileSetFile(Editor& ed, std::string_view path) {
    if (!ConfirmUnsavedChanges(ed)) return;
    ed.chosenPath = std::string(path);
    if (ed.chosenPath.empty()) return;
    openChosenPath(ed);
}

void OpenStartupFile(Editor& ed, std::string_view firstArgument, const StartupFileReport& report) {
    ed.chosenPath = std::string(firstArgument);
    if (ed.chosenPath.empty()) return;
    if (!HasTileSetEnding(ed.chosenPath)) {
        if (report) report(ed.chosenPath, {tilesetfile::LoadStatus::CannotOpen, "not opening \"" + ed.chosenPath +
                                                                                     "\": its name does not end in \".mrqt\""});
        return;
    }
    const tilesetfile::LoadResult result = tilesetfile::LoadTileSet(ed.doc, toPath(ed.chosenPath));
    if (result.code() == 1) RefreshGadgets(ed);
    loaded(ed, result);
    if (report) report(ed.chosenPath, result);
    // A missing or unreadable start-up file stays silent; a file that is there but is no
    // tile set, or ends early, is worth a word.
    reportLoad(ed, result.status, true);
}

bool HasUnsavedChanges(const Editor& ed) {
    return document::ContentFingerprint(ed.doc) != ed.savedFingerprint;
}

bool ConfirmUnsavedChanges(Editor& ed) {
    if (!HasUnsavedChanges(ed)) return true;
    switch (ed.dialogs.question(ed.frame.title, "Save changes to the tile set?", true)) {
    case platform::Answer::Yes: return SaveCommand(ed);
    case platform::Answer::No: return true;
    case platform::Answer::Cancel: return false;
    }
    return false;
}

}  // namespace marquetor::editor
