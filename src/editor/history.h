#pragma once
// Undo and redo, knowing nothing of what is undone: a list of steps, each able to undo and
// redo itself, named for the Edit menu. A step holds only what its change needs (a record
// taken out, a saved order, the old values), never a copy of the document, so undoing
// costs what the change cost.
//
// The history is linear: a step is undone only when every later step has been undone, so
// whatever a step points at is exactly where it left it.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace marquetor::editor {

class Step {
public:
    virtual ~Step() = default;
    // What the Edit menu calls it: "Delete Tile 12", "Add Material Grass".
    virtual std::string name() const = 0;
    // Each returns what it changed, as bits the history passes on without reading them.
    virtual unsigned undo() = 0;
    virtual unsigned redo() = 0;
    // Memory the step holds beyond its own few fields: texture bytes the document does not
    // hold (a deleted texture, an import that was undone) and saved orders or values.
    virtual std::size_t heldBytes() const { return 0; }
    // Takes the change of a following step into this one (consecutive edits of one
    // tile-size box). False when the two stay apart.
    virtual bool absorb(Step& next) {
        (void)next;
        return false;
    }
    // Whether the step, after absorbing, leaves things as it found them.
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
    // Undo or redo the next step; what it changed, 0 when there was nothing to do.
    unsigned undo();
    unsigned redo();

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

    // Counts every change of what the Edit menu shows.
    std::uint64_t version() const { return m_version; }

    // The limits the history keeps to, the oldest steps going first (tests lower them).
    void setLimits(std::size_t maxSteps, std::size_t maxHeldBytes);

private:
    // Undoes (or redoes) the last step of `from` and moves it onto `to`.
    unsigned takeStep(std::deque<std::unique_ptr<Step>>& from, std::deque<std::unique_ptr<Step>>& to, bool undoing);
    void keepLimits();

    std::deque<std::unique_ptr<Step>> m_undo;   // oldest first
    std::deque<std::unique_ptr<Step>> m_redo;   // the next to redo last
    std::uint64_t m_version = 1;
    bool m_sealed = true;
    std::size_t m_maxSteps = kMaxSteps;
    std::size_t m_maxHeldBytes = kMaxHeldBytes;
};

}  // namespace marquetor::editor
