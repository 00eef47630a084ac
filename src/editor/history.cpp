#include "editor/history.h"

#include <utility>

#include "document/text.h"
#include "editor/editor.h"

namespace marquetor::editor {

// --- History ---------------------------------------------------------------------------

void History::record(std::unique_ptr<Step> step) {
    if (!step) return;
    ++m_version;
    m_changes |= step->parts();
    m_redo.clear();
    if (!m_sealed && !m_undo.empty() && m_undo.back().step->absorb(*step)) {
        // The merged step is a new state of the document; typed back to where it started,
        // it is no step at all and the state before it holds again.
        if (m_undo.back().step->changesNothing()) {
            m_undo.pop_back();
        } else {
            m_undo.back().id = nextId();
        }
    } else {
        m_undo.push_back({std::move(step), nextId()});
    }
    m_sealed = false;
    keepLimits();
}

unsigned History::undo(Editor& ed) { return takeStep(ed, m_undo, m_redo, true); }

unsigned History::redo(Editor& ed) { return takeStep(ed, m_redo, m_undo, false); }

unsigned History::takeStep(Editor& ed, std::deque<Entry>& from, std::deque<Entry>& to, bool undoing) {
    if (from.empty()) return 0;
    ++m_version;
    Entry entry = std::move(from.back());
    from.pop_back();
    if (undoing) entry.step->undo(ed);
    else entry.step->redo(ed);
    const unsigned parts = entry.step->parts();
    to.push_back(std::move(entry));
    m_sealed = true;
    m_changes |= parts;
    keepLimits();
    return parts;
}

std::string History::undoName() const { return m_undo.empty() ? std::string() : m_undo.back().step->name(); }

std::string History::redoName() const { return m_redo.empty() ? std::string() : m_redo.back().step->name(); }

std::size_t History::heldBytes() const {
    std::size_t total = 0;
    for (const Entry& e : m_undo) total += e.step->heldBytes();
    for (const Entry& e : m_redo) total += e.step->heldBytes();
    return total;
}

void History::clear() {
    ++m_version;
    m_undo.clear();
    m_redo.clear();
    m_base = nextId();
    m_sealed = true;
    m_changes |= part::Everything;
}

void History::setLimits(std::size_t maxSteps, std::size_t maxHeldBytes) {
    m_maxSteps = maxSteps;
    m_maxHeldBytes = maxHeldBytes;
    ++m_version;
    keepLimits();
}

void History::keepLimits() {
    // The oldest step goes; the state it led to is where undoing now ends.
    const auto dropOldest = [this] {
        m_base = m_undo.front().id;
        m_undo.pop_front();
    };
    while (m_undo.size() > m_maxSteps) dropOldest();
    while (heldBytes() > m_maxHeldBytes) {
        if (!m_undo.empty()) {
            dropOldest();
        } else if (!m_redo.empty()) {
            m_redo.pop_front();   // the last to be redone: the others stay reachable
        } else {
            break;
        }
    }
}

// --- Steps -----------------------------------------------------------------------------

namespace {

constexpr std::int32_t kTileGroup = 1;

document::TileGroup& tileGroup(Editor& ed) { return *document::LookUpTileGroup(ed.doc, kTileGroup); }

void setMaterialValues(Editor& ed, document::Material& material, const MaterialValues& values) {
    // The name is free: the history puts back only names that were there at this point.
    if (material.name != values.name) document::RenameMaterial(ed.doc, material, values.name);
    material.color = values.color;
    material.description = values.description;
}

class TileSizeStep final : public Step {
public:
    TileSizeStep(bool width, std::int32_t before, std::int32_t after) : m_width(width), m_before(before), m_after(after) {}
    std::string name() const override { return m_width ? "Change Tile Width" : "Change Tile Height"; }
    unsigned parts() const override { return part::TileSize; }
    void undo(Editor& ed) override { set(ed, m_before); }
    void redo(Editor& ed) override { set(ed, m_after); }
    bool absorb(Step& next) override {
        auto* other = dynamic_cast<TileSizeStep*>(&next);
        if (other == nullptr || other->m_width != m_width) return false;
        m_after = other->m_after;
        return true;
    }
    bool changesNothing() const override { return m_before == m_after; }

private:
    void set(Editor& ed, std::int32_t value) const { (m_width ? ed.doc.tileWidth : ed.doc.tileHeight) = value; }
    bool m_width;
    std::int32_t m_before;
    std::int32_t m_after;
};

// A record that one of two states has in the document and the other has not: Add (in the
// document after the change) and Delete (out of it). Taken out, the step holds it.
template <class Record>
class RecordStep : public Step {
protected:
    RecordStep(std::unique_ptr<Record> held, std::size_t position, int cursorBefore, int cursorAfter)
        : m_held(std::move(held)), m_position(position), m_cursorBefore(cursorBefore), m_cursorAfter(cursorAfter) {}

    std::unique_ptr<Record> m_held;   // null while the document holds the record
    std::size_t m_position;
    int m_cursorBefore;               // the list's cursor before the change
    int m_cursorAfter;                // and after it
};

class MaterialStep final : public RecordStep<document::Material> {
public:
    MaterialStep(bool add, std::string name, std::unique_ptr<document::Material> held, std::size_t position,
                 int cursorBefore, int cursorAfter)
        : RecordStep(std::move(held), position, cursorBefore, cursorAfter), m_add(add), m_name(std::move(name)) {}
    std::string name() const override { return (m_add ? "Add Material " : "Delete Material ") + ShortName(m_name); }
    unsigned parts() const override { return part::Materials; }
    void undo(Editor& ed) override {
        if (m_add) takeOut(ed); else putIn(ed);
        ed.doc.materials.selectAt(m_cursorBefore);
    }
    void redo(Editor& ed) override {
        if (m_add) putIn(ed); else takeOut(ed);
        ed.doc.materials.selectAt(m_cursorAfter);
    }

private:
    void takeOut(Editor& ed) { m_held = document::TakeMaterial(ed.doc, m_position); }
    void putIn(Editor& ed) {
        if (document::PutMaterial(ed.doc, m_position, std::move(m_held))) m_held.reset();
    }
    bool m_add;
    std::string m_name;
};

class MaterialUpdateStep final : public Step {
public:
    MaterialUpdateStep(document::Material& material, MaterialValues before, MaterialValues after)
        : m_material(material), m_before(std::move(before)), m_after(std::move(after)) {}
    std::string name() const override { return "Update Material " + ShortName(m_after.name); }
    unsigned parts() const override { return part::Materials; }
    void undo(Editor& ed) override { setMaterialValues(ed, m_material, m_before); }
    void redo(Editor& ed) override { setMaterialValues(ed, m_material, m_after); }

private:
    document::Material& m_material;
    MaterialValues m_before;
    MaterialValues m_after;
};

// A sort: the step holds the other order of the same records, the one before the sort
// while it is applied and the sorted one while it is undone, so both ways cost one pass.
class MaterialSortStep final : public Step {
public:
    MaterialSortStep(std::vector<document::Material*> before, int cursor) : m_other(std::move(before)), m_cursor(cursor) {}
    std::string name() const override { return "Sort Materials"; }
    unsigned parts() const override { return part::Materials; }
    void undo(Editor& ed) override { swap(ed); }
    void redo(Editor& ed) override { swap(ed); }
    std::size_t heldBytes() const override { return m_other.size() * sizeof(m_other[0]); }

private:
    void swap(Editor& ed) {
        std::vector<document::Material*> current = document::MaterialOrder(ed.doc);
        document::ReorderMaterials(ed.doc, m_other);
        m_other = std::move(current);
        ed.doc.materials.selectAt(m_cursor);
    }
    std::vector<document::Material*> m_other;
    int m_cursor;
};

class TexturesAddStep final : public Step {
public:
    explicit TexturesAddStep(std::vector<std::string> names) : m_names(std::move(names)) {}
    std::string name() const override {
        if (m_names.size() == 1) return "Add Texture " + ShortName(m_names.front());
        return "Add " + document::NumberToText(static_cast<std::int64_t>(m_names.size())) + " Textures";
    }
    unsigned parts() const override { return part::Textures; }
    // Out in the reverse order of the import, back in its order: each texture returns to
    // the place in its bucket it had.
    void undo(Editor& ed) override {
        m_held.clear();
        for (auto name = m_names.rbegin(); name != m_names.rend(); ++name)
            m_held.push_back(document::TakeTexture(ed.doc, *name));
        m_bytes = 0;
        for (const auto& taken : m_held) m_bytes += taken.record ? taken.record->data().size() : 0;
    }
    void redo(Editor& ed) override {
        for (auto taken = m_held.rbegin(); taken != m_held.rend(); ++taken) document::PutTextureBack(ed.doc, *taken);
        m_held.clear();
        m_bytes = 0;
    }
    std::size_t heldBytes() const override { return m_bytes; }

private:
    std::vector<std::string> m_names;
    std::vector<document::TakenTexture> m_held;   // while undone, last import first
    std::size_t m_bytes = 0;
};

class TextureDeleteStep final : public Step {
public:
    explicit TextureDeleteStep(document::TakenTexture taken)
        : m_name(taken.record ? taken.record->name : std::string()), m_taken(std::move(taken)) {}
    std::string name() const override { return "Delete Texture " + ShortName(m_name); }
    unsigned parts() const override { return part::Textures; }
    void undo(Editor& ed) override { document::PutTextureBack(ed.doc, m_taken); }
    void redo(Editor& ed) override { m_taken = document::TakeTexture(ed.doc, m_name); }
    std::size_t heldBytes() const override { return m_taken.record ? m_taken.record->data().size() : 0; }

private:
    std::string m_name;
    document::TakenTexture m_taken;   // the record while deleted
};

class TileStep final : public RecordStep<document::Tile> {
public:
    TileStep(bool add, std::int32_t id, std::unique_ptr<document::Tile> held, std::size_t position, int cursorBefore,
             int cursorAfter)
        : RecordStep(std::move(held), position, cursorBefore, cursorAfter), m_add(add), m_id(id) {}
    std::string name() const override { return (m_add ? "Add Tile " : "Delete Tile ") + document::NumberToText(m_id); }
    unsigned parts() const override { return part::Tiles; }
    void undo(Editor& ed) override {
        if (m_add) takeOut(ed); else putIn(ed);
        tileGroup(ed).tiles.selectAt(m_cursorBefore);
    }
    void redo(Editor& ed) override {
        if (m_add) putIn(ed); else takeOut(ed);
        tileGroup(ed).tiles.selectAt(m_cursorAfter);
    }

private:
    void takeOut(Editor& ed) { m_held = document::TakeTile(tileGroup(ed), m_position); }
    void putIn(Editor& ed) {
        if (document::PutTile(tileGroup(ed), m_position, std::move(m_held))) m_held.reset();
    }
    bool m_add;
    std::int32_t m_id;
};

class TileUpdateStep final : public Step {
public:
    TileUpdateStep(document::Tile& tile, document::TileValues before, document::TileValues after)
        : m_tile(tile), m_id(tile.id), m_before(std::move(before)), m_after(std::move(after)) {}
    std::string name() const override { return "Update Tile " + document::NumberToText(m_id); }
    unsigned parts() const override { return part::Tiles; }
    void undo(Editor&) override { document::SetValues(m_tile, m_before); }
    void redo(Editor&) override { document::SetValues(m_tile, m_after); }

private:
    document::Tile& m_tile;
    std::int32_t m_id;
    document::TileValues m_before;
    document::TileValues m_after;
};

class TileSortStep final : public Step {
public:
    TileSortStep(std::vector<document::Tile*> before, int cursor) : m_other(std::move(before)), m_cursor(cursor) {}
    std::string name() const override { return "Sort Tiles"; }
    unsigned parts() const override { return part::Tiles; }
    void undo(Editor& ed) override { swap(ed); }
    void redo(Editor& ed) override { swap(ed); }
    std::size_t heldBytes() const override { return m_other.size() * sizeof(m_other[0]); }

private:
    void swap(Editor& ed) {
        document::TileGroup& group = tileGroup(ed);
        std::vector<document::Tile*> current = document::TileOrder(group);
        document::ReorderTiles(group, m_other);
        m_other = std::move(current);
        group.tiles.selectAt(m_cursor);
    }
    std::vector<document::Tile*> m_other;
    int m_cursor;
};

// New swaps the content out, and with it the mark of what counts as saved: the file the
// old document belonged to. Each undo and redo swaps both again, so each document comes
// back with its own file and saved state, a save made in between included.
class NewStep final : public Step {
public:
    NewStep(document::TileSetContent held, SavedMark mark) : m_held(std::move(held)), m_mark(std::move(mark)) {
        m_bytes = document::TextureBytes(m_held.textures);
    }
    std::string name() const override { return "New"; }
    unsigned parts() const override { return part::Everything; }
    void undo(Editor& ed) override { swap(ed); }
    void redo(Editor& ed) override { swap(ed); }
    std::size_t heldBytes() const override { return m_bytes; }

private:
    void swap(Editor& ed) {
        document::SwapContent(ed.doc, kTileGroup, m_held);
        m_bytes = document::TextureBytes(m_held.textures);
        std::swap(ed.savedFingerprint, m_mark.fingerprint);
        std::swap(ed.documentPath, m_mark.path);
        const std::uint64_t state = ed.history.savedState();
        ed.history.setSavedState(m_mark.state);
        m_mark.state = state;
    }
    document::TileSetContent m_held;
    SavedMark m_mark;   // the other document's
    std::size_t m_bytes = 0;
};

}  // namespace

MaterialValues ValuesOf(const document::Material& material) {
    return {material.name, material.color, material.description};
}

std::unique_ptr<Step> TileSizeChanged(bool width, std::int32_t before, std::int32_t after) {
    return std::make_unique<TileSizeStep>(width, before, after);
}

std::unique_ptr<Step> MaterialAdded(const document::Material& material, std::size_t position, int cursorBefore) {
    return std::make_unique<MaterialStep>(true, material.name, nullptr, position, cursorBefore,
                                          static_cast<int>(position));
}

std::unique_ptr<Step> MaterialUpdated(document::Material& material, MaterialValues before, MaterialValues after) {
    return std::make_unique<MaterialUpdateStep>(material, std::move(before), std::move(after));
}

std::unique_ptr<Step> MaterialDeleted(std::unique_ptr<document::Material> material, std::size_t position,
                                      int cursorBefore) {
    std::string name = material ? material->name : std::string();
    return std::make_unique<MaterialStep>(false, std::move(name), std::move(material), position, cursorBefore,
                                          static_cast<int>(position) - 1);
}

std::unique_ptr<Step> MaterialsSorted(std::vector<document::Material*> orderBefore, int cursor) {
    return std::make_unique<MaterialSortStep>(std::move(orderBefore), cursor);
}

std::unique_ptr<Step> TexturesAdded(std::vector<std::string> names) {
    return std::make_unique<TexturesAddStep>(std::move(names));
}

std::unique_ptr<Step> TextureDeleted(document::TakenTexture taken) {
    return std::make_unique<TextureDeleteStep>(std::move(taken));
}

std::unique_ptr<Step> TileAdded(const document::Tile& tile, std::size_t position, int cursorBefore) {
    return std::make_unique<TileStep>(true, tile.id, nullptr, position, cursorBefore, static_cast<int>(position));
}

std::unique_ptr<Step> TileUpdated(document::Tile& tile, document::TileValues before, document::TileValues after) {
    return std::make_unique<TileUpdateStep>(tile, std::move(before), std::move(after));
}

std::unique_ptr<Step> TileDeleted(std::unique_ptr<document::Tile> tile, std::size_t position, int cursorBefore) {
    const std::int32_t id = tile ? tile->id : 0;
    return std::make_unique<TileStep>(false, id, std::move(tile), position, cursorBefore, static_cast<int>(position) - 1);
}

std::unique_ptr<Step> TilesSorted(std::vector<document::Tile*> orderBefore, int cursor) {
    return std::make_unique<TileSortStep>(std::move(orderBefore), cursor);
}

std::unique_ptr<Step> NewDocument(document::TileSetContent old, SavedMark oldMark) {
    return std::make_unique<NewStep>(std::move(old), std::move(oldMark));
}

std::string ShortName(std::string_view bytes, std::size_t maxCharacters) {
    const std::string text = document::BytesToUtf8(bytes);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Counts the first byte of each character.
        if ((static_cast<unsigned char>(text[i]) & 0xC0u) == 0x80u) continue;
        if (characters == maxCharacters) return text.substr(0, i) + "...";
        ++characters;
    }
    return text;
}

}  // namespace marquetor::editor
