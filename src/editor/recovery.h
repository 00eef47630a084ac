#pragma once
// Recovery after a crash, the editor's side: this editor's entry made at start-up and the
// entries of editors that are gone offered back; the copy kept each cycle (the keeper,
// recoverykeeper.h, does the work).

namespace marquetor::editor {

struct Editor;

// At start-up, before the start-up file: makes this editor's entry, then asks about each
// entry whose editor is gone. True when a recovered document was taken (the start-up file
// is then not opened).
bool OfferRecovery(Editor& ed);

// One cycle's share of keeping the copy (eventloop.cpp).
void KeepRecoveryCopy(Editor& ed);

}  // namespace marquetor::editor
