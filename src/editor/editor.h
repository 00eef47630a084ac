#pragma once
// The editor's state: the session (the one document, its history and its saved mark), the
// application frame, the window with its gadgets, the dialogs, and the per-tab state. The
// program owns one; every test makes its own.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "document/tileset.h"
#include "fileio/identity.h"
#include "editor/infopanelstate.h"
#include "editor/palettestate.h"
#include "editor/recoverykeeper.h"
#include "editor/session.h"
#include "platform/dialogs.h"
#include "platform/events.h"
#include "platform/image.h"
#include "platform/window.h"

namespace marquetor::editor {

inline constexpr char kWindowTitle[] = "Marquetor [Build 2011-01-10]";
inline constexpr char kTileSetFolder[] = "../../Data/TileSets/";
inline constexpr char kTextureFolder[] = "TileSets/Textures/";
inline constexpr char kTileSetPatterns[] = "TileSet (*.mrqt)|*.mrqt";
inline constexpr char kTileSetEnding[] = ".mrqt";
inline constexpr int kPreviewSize = 128;

// Gadget identifiers: the dispatch keys of the event loop.
namespace gadget {
enum : int {
    Panel = 1,
    TileWidth = 2,
    TileHeight = 3,
    MaterialsList = 4,
    MaterialName = 5,
    ColorButton = 6,
    ColorSwatch = 7,
    Red = 8,
    Green = 9,
    Blue = 10,
    Description = 11,
    MaterialAdd = 12,
    MaterialUpdate = 13,
    MaterialDelete = 14,
    MaterialSort = 15,
    TexturesList = 16,
    TexturePreview = 17,
    TextureFileName = 18,
    Explorer = 19,
    TextureAdd = 20,
    TextureDelete = 21,
    TextureExport = 22,
    TilesList = 23,
    TileId = 24,
    TilePreview = 25,
    TileTexture = 26,
    TileMaterial = 27,
    TileLayer = 28,
    TileCollision = 29,
    TileAdd = 30,
    TileUpdate = 31,
    TileDelete = 32,
    TileSort = 33,
    // What the TileSet tab tells about the document, below the tile-size frames.
    InfoFile = 34,
    InfoChanges = 35,
    InfoCounts = 36,
    Problems = 37,
};
}  // namespace gadget

namespace menu {
enum : int { New = 1, Save = 2, Open = 3, Close = 4, Undo = 5, Redo = 6 };
}

// The application frame: window settings, the running flag and the events of one pump.
struct AppFrame {
    std::string title = kWindowTitle;
    int idleDelay = 5;          // milliseconds slept after each pump
    int running = 1;            // the loop goes on while not 0
    int windowNumber = 0;
    int windowWidth = 512;
    int windowHeight = 768;
    std::vector<platform::FrameEvent> events;
};

struct Editor {
    explicit Editor(platform::Dialogs& dialogs) : dialogs(dialogs), window(queue) {}

    // The document and every change of it.
    Session session;
    AppFrame frame;
    platform::Dialogs& dialogs;
    platform::EventQueue queue;
    platform::Window window;

    int currentMaterialRow = -1;
    int currentTileRow = -1;
    std::string chosenPath;       // command-line argument, then each requester's result

    platform::Image banner;       // image 0
    platform::Image swatch;       // image 1, 216 x 54
    platform::Image scratch;      // image 2, where previews decode

    std::uint64_t editMenuVersion = 0;   // the history's version the Edit menu shows
    InfoPanel info;
    Palette palette;   // after the window: its gadgets join the window's registry until it goes

    // The copy of the unsaved changes kept for after a crash.
    RecoveryKeeper recovery;
    // The document's file as it was when the user last answered No to reloading it: not
    // asked again until the file changes again.
    std::optional<fileio::FileIdentity> reloadDeclined;

    // The document, to read: every change goes through the session.
    const document::TileSet& doc() const { return session.doc(); }
    platform::Gadgets& gadgets() { return window.gadgets(); }
    // Shows a message box titled with the window title, one OK button.
    void message(std::string_view text) { dialogs.message(frame.title, text); }
};

}  // namespace marquetor::editor
