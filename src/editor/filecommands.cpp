#include "editor/filecommands.h"

#include <cctype>
#include <filesystem>
#include <optional>
#include <system_error>

#include "editor/refresh.h"
#include "fileio/identity.h"
#include "editor/tilesetcommands.h"
#include "tiled/tiled.h"
#include "tilesetfile/format.h"

namespace marquetor::editor {

namespace {

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

// Open... from the chosen path on: the load, the refresh whatever it gave, the report.
void openChosenPath(Editor& ed) {
    const tilesetfile::LoadResult result = ed.session.open(ed.chosenPath);
    RefreshGadgets(ed);
    reportLoad(ed, result.status, false);
}

// Whether two paths name the same file: the same text, or the same place once symbolic links
// and "..", "." are resolved.
bool samePlace(const std::string& a, const std::string& b) {
    if (a == b) return true;
    std::error_code ec1;
    std::error_code ec2;
    const std::filesystem::path ca = std::filesystem::weakly_canonical(std::filesystem::path(a), ec1);
    const std::filesystem::path cb = std::filesystem::weakly_canonical(std::filesystem::path(b), ec2);
    return !ec1 && !ec2 && ca == cb;
}

// The document's file on disk now, when it is no longer what was opened or saved there:
// changed, or replaced by another file. Nothing when it is the same, gone, or unknown.
std::optional<fileio::FileIdentity> changedOnDisk(const Editor& ed) {
    const SavedMark& mark = ed.session.savedMark();
    if (mark.path.empty() || !mark.identity) return std::nullopt;
    std::optional<fileio::FileIdentity> now = fileio::IdentifyFile(std::filesystem::path(mark.path));
    if (!now || *now == *mark.identity) return std::nullopt;
    return now;
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

void NewCommand(Editor& ed) {
    if (ed.dialogs.question(ed.frame.title, "Create a new tile set?", false) != platform::Answer::Yes) return;
    // One step: Undo brings the same records back, with the old document's file.
    ed.session.run(NewTileSet());
    RefreshGadgets(ed);
}

bool SaveCommand(Editor& ed) {
    ed.chosenPath = ed.dialogs.saveFile("Save...", kTileSetFolder, kTileSetPatterns);
    if (ed.chosenPath.empty()) return false;
    ed.chosenPath = WithTileSetEnding(ed.chosenPath);
    // Another program's changes to the document's own file are not overwritten unasked.
    const SavedMark& mark = ed.session.savedMark();
    if (!mark.path.empty() && samePlace(ed.chosenPath, mark.path) && changedOnDisk(ed)) {
        const std::string question = mark.path + " has been changed by another program since it was opened. Overwrite it?";
        if (ed.dialogs.question(ed.frame.title, question, false) != platform::Answer::Yes) return false;
    }
    if (!ed.session.save(ed.chosenPath).ok) {
        // The file that was there before is left untouched by the save.
        ed.message("Could not be saved!");
        return false;
    }
    return true;
}

void OpenCommand(Editor& ed) {
    if (!ConfirmUnsavedChanges(ed)) return;
    ed.chosenPath = ed.dialogs.openFile("Open...", kTileSetFolder, kTileSetPatterns);
    if (ed.chosenPath.empty()) return;
    openChosenPath(ed);
}

void CloseCommand(Editor& ed) {
    if (ed.frame.running == 0) return;   // already ending: a second close in the same cycle
    if (!ConfirmUnsavedChanges(ed)) return;
    ed.frame.running = 0;
}

void OpenTileSetFile(Editor& ed, std::string_view path) {
    if (!ConfirmUnsavedChanges(ed)) return;
    ed.chosenPath = std::string(path);
    if (ed.chosenPath.empty()) return;
    openChosenPath(ed);
}

bool HasTiledEnding(std::string_view path) {
    if (path.size() < 4) return false;
    std::string ending(path.substr(path.size() - 4));
    for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ending == ".tsx" || ending == ".tsj";
}

void ImportTiledFile(Editor& ed, std::string_view path) {
    if (!ConfirmUnsavedChanges(ed)) return;
    document::TileSet imported;
    const tiled::ImportResult result = tiled::ImportTileSet(std::filesystem::path(std::string(path)), {}, imported);
    if (!result.ok()) {
        ed.message("Could not be imported!\n" + result.message);
        return;
    }
    ed.session.adopt(std::move(imported));
    RefreshGadgets(ed);
}

void OpenStartupFile(Editor& ed, std::string_view firstArgument, const StartupFileReport& report) {
    ed.chosenPath = std::string(firstArgument);
    if (ed.chosenPath.empty()) return;
    if (!HasTileSetEnding(ed.chosenPath)) {
        if (report) report(ed.chosenPath, {tilesetfile::LoadStatus::CannotOpen, "not opening \"" + ed.chosenPath +
                                                                                     "\": its name does not end in \".mrqt\""});
        return;
    }
    const tilesetfile::LoadResult result = ed.session.open(ed.chosenPath);
    if (result.code() == 1) RefreshGadgets(ed);
    if (report) report(ed.chosenPath, result);
    // A missing or unreadable start-up file stays silent; a file that is there but is no
    // tile set, or ends early, is worth a word.
    reportLoad(ed, result.status, true);
}

void CheckFileOnDisk(Editor& ed) {
    const std::optional<fileio::FileIdentity> now = changedOnDisk(ed);
    if (!now || now == ed.reloadDeclined) return;
    std::string question = ed.session.savedMark().path + " has been changed by another program. Reload it?";
    if (ed.session.hasUnsavedChanges()) question += " Your unsaved changes will be lost.";
    if (ed.dialogs.question(ed.frame.title, question, false) != platform::Answer::Yes) {
        ed.reloadDeclined = now;
        return;
    }
    ed.chosenPath = ed.session.savedMark().path;
    openChosenPath(ed);
    // Not read after all (it is no tile set now): not asked again for this version of it.
    if (changedOnDisk(ed)) ed.reloadDeclined = now;
}

bool ConfirmUnsavedChanges(Editor& ed) {
    if (!ed.session.hasUnsavedChanges()) return true;
    switch (ed.dialogs.question(ed.frame.title, "Save changes to the tile set?", true)) {
    case platform::Answer::Yes: return SaveCommand(ed);
    case platform::Answer::No: return true;
    case platform::Answer::Cancel: return false;
    }
    return false;
}

}  // namespace marquetor::editor
