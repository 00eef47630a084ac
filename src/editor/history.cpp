#include "editor/history.h"

#include <utility>

namespace marquetor::editor {

void History::record(std::unique_ptr<Step> step) {
    if (!step) return;
    ++m_version;
    m_redo.clear();
    if (!m_sealed && !m_undo.empty() && m_undo.back()->absorb(*step)) {
        // Typed back to where it started, the merged step is no step at all.
        if (m_undo.back()->changesNothing()) m_undo.pop_back();
    } else {
        m_undo.push_back(std::move(step));
    }
    m_sealed = false;
    keepLimits();
}

unsigned History::undo() { return takeStep(m_undo, m_redo, true); }

unsigned History::redo() { return takeStep(m_redo, m_undo, false); }

unsigned History::takeStep(std::deque<std::unique_ptr<Step>>& from, std::deque<std::unique_ptr<Step>>& to,
                           bool undoing) {
    if (from.empty()) return 0;
    ++m_version;
    std::unique_ptr<Step> step = std::move(from.back());
    from.pop_back();
    const unsigned changed = undoing ? step->undo() : step->redo();
    to.push_back(std::move(step));
    m_sealed = true;
    keepLimits();
    return changed;
}

std::string History::undoName() const { return m_undo.empty() ? std::string() : m_undo.back()->name(); }

std::string History::redoName() const { return m_redo.empty() ? std::string() : m_redo.back()->name(); }

std::size_t History::heldBytes() const {
    std::size_t total = 0;
    for (const auto& step : m_undo) total += step->heldBytes();
    for (const auto& step : m_redo) total += step->heldBytes();
    return total;
}

void History::clear() {
    ++m_version;
    m_undo.clear();
    m_redo.clear();
    m_sealed = true;
}

void History::setLimits(std::size_t maxSteps, std::size_t maxHeldBytes) {
    m_maxSteps = maxSteps;
    m_maxHeldBytes = maxHeldBytes;
    ++m_version;
    keepLimits();
}

void History::keepLimits() {
    while (m_undo.size() > m_maxSteps) m_undo.pop_front();
    while (heldBytes() > m_maxHeldBytes) {
        if (!m_undo.empty()) {
            m_undo.pop_front();
        } else if (!m_redo.empty()) {
            m_redo.pop_front();   // the last to be redone: the others stay reachable
        } else {
            break;
        }
    }
}

}  // namespace marquetor::editor
