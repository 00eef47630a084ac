#pragma once
// Undo and redo. Every change a handler makes to the document is recorded as one step that
// knows how to undo and redo itself through the document's operations. A step holds only
// what its change needs (a record taken out, a saved order, the old values), never a copy
// of the document, so undoing costs what the change cost.
//
// The history is linear: a step is undone only when every later step has been undone, so
// the records a step points at are exactly where it left them.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "document/restore.h"
#include "document/tileset.h"

namespace marquetor::editor {

struct Editor;

// What a step changed, so that the screen can follow: the tab it is on and its lists.
namespace part {
enum : unsigned { TileSize = 1u, Materials = 2u, Textures = 4u, Tiles = 8u, Everything = 15u };
}

class Step {
public:
    virtual ~Step() = default;
    // What the Edit menu calls it: "Delete Tile 12", "Add Material Grass".
    virtual std::string name() const = 0;
    virtual unsigned parts() const = 0;
    virtual void undo(Editor& ed) = 0;
    virtual void redo(Editor& ed) = 0;
    // Memory the step holds beyond its own few fields: texture bytes the document does not
    // hold (a deleted texture, an import that was undone) and saved orders of a sort.
    virtual std::size_t heldBytes() const { return 0; }
    // Takes the change of a following step into this one (consecutive edits of one
    // tile-size box). False when the two stay apart.
    virtual bool absorb(Step& next) {
        (void)next;
        return false;
    }
    // Whether the step, after absorbing, leaves the document as it found it.
    virtual bool changesNothing() const { return false; }
};

class History {
public:
    static constexpr std::size_t kMaxSteps = 1000;
    // What all steps together may hold (Step::heldBytes), so never more texture bytes
    // than this that the document no longer holds.
    static constexpr std::size_t kMaxHeldBytes = std::size_t{256} << 20;

    // A change that was just made. Whatever could be redone is gone afterwards.
    void record(std::unique_ptr<Step> step);
    // Undo or redo the next step; the parts it changed, 0 when there was nothing to do.
    unsigned undo(Editor& ed);
    unsigned redo(Editor& ed);

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    // The step Undo or Redo would act on, empty when none.
    std::string undoName() const;
    std::string redoName() const;
    std::size_t undoCount() const { return m_undo.size(); }
    std::size_t redoCount() const { return m_redo.size(); }
    std::size_t heldBytes() const;

    // A fresh history: nothing to undo or redo (after Open).
    void clear();
    // The next change becomes a step of its own even where it would merge (after Save).
    void seal() { m_sealed = true; }

    // Which state the document is in: the same number again means the same content.
    std::uint64_t state() const { return m_undo.empty() ? m_base : m_undo.back().id; }
    void markSaved() { m_saved = state(); }
    std::uint64_t savedState() const { return m_saved; }
    void setSavedState(std::uint64_t state) { m_saved = state; }
    bool atSavedState() const { return state() == m_saved; }

    // Counts every change of what the Edit menu shows.
    std::uint64_t version() const { return m_version; }

    // The parts changed by records, undos, redos and clears since the last call.
    unsigned takeChanges() {
        const unsigned changes = m_changes;
        m_changes = 0;
        return changes;
    }

    // The limits the history keeps to, the oldest steps going first (tests lower them).
    void setLimits(std::size_t maxSteps, std::size_t maxHeldBytes);

private:
    struct Entry {
        std::unique_ptr<Step> step;
        std::uint64_t id;   // the document's state after the step
    };
    // Undoes (or redoes) the last step of `from` and moves it onto `to`.
    unsigned takeStep(Editor& ed, std::deque<Entry>& from, std::deque<Entry>& to, bool undoing);
    void keepLimits();
    std::uint64_t nextId() { return ++m_lastId; }

    std::deque<Entry> m_undo;   // oldest first
    std::deque<Entry> m_redo;   // the next to redo last
    std::uint64_t m_lastId = 0;
    std::uint64_t m_base = 0;   // the state before the oldest step kept
    std::uint64_t m_saved = 0;
    std::uint64_t m_version = 1;
    bool m_sealed = true;
    unsigned m_changes = part::Everything;
    std::size_t m_maxSteps = kMaxSteps;
    std::size_t m_maxHeldBytes = kMaxHeldBytes;
};

// --- The steps of the changes the handlers make, each made right after its change. -----

struct MaterialValues {
    std::string name;
    std::int32_t color = 0;
    std::string description;
    bool operator==(const MaterialValues&) const = default;
};
MaterialValues ValuesOf(const document::Material& material);

// What counts as the document being unchanged: its fingerprint, the history's state and
// the file it belongs to, all as of the last create, open or save.
struct SavedMark {
    std::uint64_t fingerprint = 0;
    std::uint64_t state = 0;
    std::string path;
};

std::unique_ptr<Step> TileSizeChanged(bool width, std::int32_t before, std::int32_t after);
// The material at its position as Add left it; the cursor as it was just before the Add.
std::unique_ptr<Step> MaterialAdded(const document::Material& material, std::size_t position, int cursorBefore);
std::unique_ptr<Step> MaterialUpdated(document::Material& material, MaterialValues before, MaterialValues after);
std::unique_ptr<Step> MaterialDeleted(std::unique_ptr<document::Material> material, std::size_t position,
                                      int cursorBefore);
std::unique_ptr<Step> MaterialsSorted(std::vector<document::Material*> orderBefore, int cursor);
// Textures just imported, in the order of their import.
std::unique_ptr<Step> TexturesAdded(std::vector<std::string> names);
std::unique_ptr<Step> TextureDeleted(document::TakenTexture taken);
std::unique_ptr<Step> TileAdded(const document::Tile& tile, std::size_t position, int cursorBefore);
std::unique_ptr<Step> TileUpdated(document::Tile& tile, document::TileValues before, document::TileValues after);
std::unique_ptr<Step> TileDeleted(std::unique_ptr<document::Tile> tile, std::size_t position, int cursorBefore);
std::unique_ptr<Step> TilesSorted(std::vector<document::Tile*> orderBefore, int cursor);
// New: the content it swapped out, and the old document's saved mark.
std::unique_ptr<Step> NewDocument(document::TileSetContent old, SavedMark oldMark);

// A name cut for a menu: at most maxCharacters characters, "..." where it was cut.
std::string ShortName(std::string_view bytes, std::size_t maxCharacters = 32);

}  // namespace marquetor::editor
