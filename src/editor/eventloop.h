#pragma once
// The polling event loop, its dispatch by menu item and gadget, New, Close and the refresh
// that rebuilds every tab from the document.

#include "editor/editor.h"

namespace marquetor::editor {

// Empties the frame's event list, lets the toolkit handle what is pending, moves the queued
// events into the list (stopping after a mouse-button event, so the rest waits for the next
// cycle), then sleeps the idle delay.
void PumpEvents(Editor& ed);

// Hands one event to its handler: menu events by item, gadget events by gadget, a close
// request to Close; every other kind is skipped.
void DispatchEvent(Editor& ed, const platform::FrameEvent& event);

// One cycle: a pump, then every event of the list dispatched in order. Clearing the
// running flag does not cut a cycle short.
void RunCycle(Editor& ed);

// Cycles until the running flag is 0. The exit status of the program.
int RunEventLoop(Editor& ed);

// Menu item 1: asks, then empties the document and rebuilds every tab.
void NewCommand(Editor& ed);
// Menu item 4, Ctrl+Q and the close box: ends the loop, after asking to save when the
// document has changed.
void CloseCommand(Editor& ed);

// Rebuilds every tab from the document, shows the TileSet tab, resets the edit fields and
// both current rows.
void RefreshGadgets(Editor& ed);

}  // namespace marquetor::editor
