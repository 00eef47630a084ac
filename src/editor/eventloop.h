#pragma once
// The polling event loop and its dispatch by menu item and gadget.

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

}  // namespace marquetor::editor
