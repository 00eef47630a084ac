#pragma once
// The File menu: New, Save..., Open..., Close; the start-up file; and the unsaved-changes
// question that guards Close, Open and a dropped tile set.

#include <functional>
#include <string>
#include <string_view>

#include "editor/editor.h"
#include "tilesetfile/format.h"

namespace marquetor::editor {

// Menu item 1: asks, then empties the document and rebuilds every tab.
void NewCommand(Editor& ed);
// Menu item 2. True when the document was written.
bool SaveCommand(Editor& ed);
// Menu item 3.
void OpenCommand(Editor& ed);
// Menu item 4, Ctrl+Q and the close box: ends the loop, after asking to save when the
// document has changed.
void CloseCommand(Editor& ed);

// A tile set named without the requester (a file dropped on the window): opened as Open...
// opens the file it is given, the unsaved-changes question first.
void OpenTileSetFile(Editor& ed, std::string_view path);
// A Tiled tileset (.tsx, .tsj) dropped on the window: imported as `mrqt import` imports it
// and shown as a new tile set with unsaved changes, the unsaved-changes question first; one
// that cannot be imported says why and leaves the document as it was.
void ImportTiledFile(Editor& ed, std::string_view path);
// Whether a path names a Tiled tileset by its ending (".tsx", ".tsj", letter case ignored).
bool HasTiledEnding(std::string_view path);

// The tile set named as the first command-line argument: opened when the name ends in
// ".mrqt" exactly; a file that cannot be opened is passed over in silence. `report`, when
// given, learns what became of a named file before any message box about it is shown
// (CannotOpen also for a name of another ending); the program tells it on standard error.
using StartupFileReport = std::function<void(std::string_view path, const tilesetfile::LoadResult&)>;
void OpenStartupFile(Editor& ed, std::string_view firstArgument, const StartupFileReport& report = {});

// When the main window becomes active again: the document's file changed on disk since it
// was opened or saved (by another program) asks whether to reload it, as Open... would; No
// is not asked again until the file changes again.
void CheckFileOnDisk(Editor& ed);

// Before the document is closed or replaced: on unsaved changes asks "Save changes to the
// tile set?". True to go on (saved, or No, or nothing to ask); false to stay (Cancel, or
// the save did not happen).
bool ConfirmUnsavedChanges(Editor& ed);

// Whether a path ends in ".mrqt", byte for byte.
bool HasTileSetEnding(std::string_view path);
// The path Save... writes: ".mrqt" appended unless the path already ends so.
std::string WithTileSetEnding(std::string_view path);

}  // namespace marquetor::editor
