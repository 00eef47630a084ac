#include "editor/eventloop.h"

#include "editor/editmenu.h"
#include "editor/filecommands.h"
#include "editor/filedrop.h"
#include "editor/infopanel.h"
#include "editor/materialstab.h"
#include "editor/palette.h"
#include "editor/palettebar.h"
#include "editor/recovery.h"
#include "editor/texturestab.h"
#include "editor/tilesettab.h"
#include "editor/tilestab.h"

namespace marquetor::editor {

void PumpEvents(Editor& ed) {
    ed.frame.events.clear();
    platform::ProcessPendingToolkitEvents();
    while (!ed.queue.empty()) {
        const platform::FrameEvent event = ed.queue.pop();
        ed.frame.events.push_back(event);
        // A button press or release ends the pump: what came after it belongs to the next
        // cycle, so the handlers see the world as it was at the click.
        if (platform::IsMouseButtonEvent(event.kind)) break;
    }
    platform::SleepMilliseconds(ed.frame.idleDelay);
}

namespace {

void dispatchMenu(Editor& ed, int item) {
    switch (item) {
    case menu::New: NewCommand(ed); break;
    case menu::Save: SaveCommand(ed); break;
    case menu::Open: OpenCommand(ed); break;
    case menu::Close: CloseCommand(ed); break;
    case menu::Undo: UndoCommand(ed); break;
    case menu::Redo: RedoCommand(ed); break;
    case menu::Palette: OpenPalette(ed); break;
    default: break;
    }
}

void dispatchGadget(Editor& ed, int id) {
    using namespace gadget;
    switch (id) {
    case TileWidth:
    case TileHeight:
    case Problems:
        HandleTileSetGadget(ed, id);
        break;
    case MaterialsList:
    case ColorButton:
    case Red:
    case Green:
    case Blue:
    case MaterialAdd:
    case MaterialUpdate:
    case MaterialDelete:
    case MaterialSort:
        HandleMaterialsGadget(ed, id);
        break;
    case Explorer:
    case TexturesList:
    case TextureAdd:
    case TextureDelete:
    case TextureExport:
        HandleTexturesGadget(ed, id);
        break;
    case TilesList:
    case TileTexture:
    case TileAdd:
    case TileUpdate:
    case TileDelete:
    case TileSort:
        HandleTilesGadget(ed, id);
        break;
    case PaletteFilter:
    case PaletteTiles:
    case PaletteTextures:
        HandlePaletteGadget(ed, id);
        break;
    case PaletteApply:
    case PaletteDelete:
        HandlePaletteBarGadget(ed, id);
        break;
    default:
        break;   // panel, fields read by other handlers, images, labels
    }
}

}  // namespace

void DispatchEvent(Editor& ed, const platform::FrameEvent& event) {
    switch (event.kind) {
    case platform::kEventMenu: dispatchMenu(ed, event.menuItem); break;
    case platform::kEventGadget: dispatchGadget(ed, event.gadget); break;
    // The close box (or the task bar, or the session) always reaches Close, whichever
    // window is in front, so the unsaved-changes question is never skipped.
    case platform::kEventCloseWindow: CloseCommand(ed); break;
    case platform::kEventDropFiles: HandleFileDrop(ed); break;
    // Back from another program: the document's file may have been changed there.
    case platform::kEventActivateWindow: CheckFileOnDisk(ed); break;
    default: break;
    }
}

void RunCycle(Editor& ed) {
    PumpEvents(ed);
    // By index: a handler may show a modal dialog, but only the pump fills this list.
    for (std::size_t i = 0; i < ed.frame.events.size(); ++i) {
        const platform::FrameEvent event = ed.frame.events[i];
        DispatchEvent(ed, event);
    }
    // What follows the cycle's changes, once however many there were.
    UpdateEditMenu(ed);
    UpdateInfoPanel(ed);
    UpdatePalette(ed);
    KeepRecoveryCopy(ed);
}

int RunEventLoop(Editor& ed) {
    while (ed.frame.running != 0) RunCycle(ed);
    return 0;
}

}  // namespace marquetor::editor
