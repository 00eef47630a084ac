#include "editor/eventloop.h"

#include "document/restore.h"
#include "document/text.h"
#include "editor/editmenu.h"
#include "editor/filecommands.h"
#include "editor/filedrop.h"
#include "editor/infopanel.h"
#include "editor/mainwindow.h"
#include "editor/materialstab.h"
#include "editor/palette.h"
#include "editor/texturestab.h"
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
    case Problems:
        HandleProblemsGadget(ed);
        break;
    case PaletteFilter:
    case PaletteTiles:
    case PaletteTextures:
    case PaletteApply:
    case PaletteDelete:
        HandlePaletteGadget(ed, id);
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
}

int RunEventLoop(Editor& ed) {
    while (ed.frame.running != 0) RunCycle(ed);
    return 0;
}

void NewCommand(Editor& ed) {
    if (ed.dialogs.question(ed.frame.title, "Create a new tile set?", false) != platform::Answer::Yes) return;
    // The materials, textures and tiles go as ClearMaterials, ClearTextures and
    // ClearTileGroup would remove them, but into the history, so that Undo brings the same
    // records back.
    SavedMark oldMark{ed.savedFingerprint, ed.history.savedState(), ed.documentPath};
    document::TileSetContent old;
    document::SwapContent(ed.doc, 1, old);
    ed.doc.tileWidth = 64;
    ed.doc.tileHeight = 64;
    RefreshGadgets(ed);
    ed.savedFingerprint = document::ContentFingerprint(ed.doc);
    ed.documentPath.clear();
    ed.history.record(NewDocument(std::move(old), std::move(oldMark)));
    // The new document counts as unchanged.
    ed.history.markSaved();
    ed.history.seal();
}

void CloseCommand(Editor& ed) {
    if (ed.frame.running == 0) return;   // already ending: a second close in the same cycle
    if (!ConfirmUnsavedChanges(ed)) return;
    ed.frame.running = 0;
}

void RefreshGadgets(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    // 1. The TileSet tab in front.
    g.panel(gadget::Panel).setState(0);
    // 2. The tile size.
    g.editableChoiceBox(gadget::TileWidth).setText(document::NumberToText(ed.doc.tileWidth));
    g.editableChoiceBox(gadget::TileHeight).setText(document::NumberToText(ed.doc.tileHeight));
    // 3, 4. The materials list and the material choice box.
    RebuildMaterialLists(ed);
    // 5. The materials' edit fields and the swatch.
    ResetMaterialFields(ed);
    // 6. The texture preview.
    ClearTexturePreview(ed);
    // 7, 8. The textures list and the texture choice box.
    RebuildTextureLists(ed);
    // 9, 10. The tiles of group 1.
    document::FindTileGroup(ed.doc, 1);
    RebuildTilesList(ed);
    // 11. The tiles' editors.
    ResetTileEditors(ed);
    // 12. No current rows.
    ed.currentMaterialRow = -1;
    ed.currentTileRow = -1;
    // The TileSet tab's account looks at the whole document again.
    ResetInfoPanel(ed);
}

}  // namespace marquetor::editor
