#include "editor/tilesetcommands.h"

#include <utility>

#include "document/restore.h"
#include "editor/session.h"

namespace marquetor::editor {

namespace {

constexpr std::int32_t kNewTileSide = 64;

class TileSizeCommand final : public Command {
public:
    TileSizeCommand(bool width, std::int32_t after) : m_width(width), m_after(after) {}
    std::string name() const override { return m_width ? "Change Tile Width" : "Change Tile Height"; }
    bool absorb(Step& next) override {
        auto* other = dynamic_cast<TileSizeCommand*>(&next);
        if (other == nullptr || other->m_width != m_width) return false;
        m_after = other->m_after;
        return true;
    }
    bool changesNothing() const override { return m_before == m_after; }

protected:
    unsigned apply(Session& session) override {
        m_before = side(session.doc());
        if (m_after == m_before) return 0;
        return set(session, m_after);
    }
    unsigned revert(Session& session) override { return set(session, m_before); }

private:
    std::int32_t side(const document::TileSet& doc) const { return m_width ? doc.tileWidth : doc.tileHeight; }
    unsigned set(Session& session, std::int32_t value) const {
        document::TileSet& doc = session.documentToChange();
        (m_width ? doc.tileWidth : doc.tileHeight) = value;
        return part::TileSize;
    }
    bool m_width;
    std::int32_t m_before = 0;
    std::int32_t m_after;
};

// New swaps the content out, and with it the saved mark. Each undo and redo swaps both
// again, so each document comes back with its own file and saved state.
class NewCommand final : public Command {
public:
    NewCommand() {
        m_held.tileWidth = kNewTileSide;
        m_held.tileHeight = kNewTileSide;
        // The new document counts as unchanged: what it will hold, fingerprinted now.
        document::TileSet fresh;
        fresh.tileWidth = kNewTileSide;
        fresh.tileHeight = kNewTileSide;
        document::AddTileGroup(fresh, document::kTileGroup);
        m_mark.fingerprint = document::ContentFingerprint(fresh);
    }
    std::string name() const override { return "New"; }
    std::size_t heldBytes() const override { return m_bytes; }

protected:
    unsigned apply(Session& session) override { return swap(session); }
    unsigned revert(Session& session) override { return swap(session); }

private:
    unsigned swap(Session& session) {
        document::TileSet& doc = session.documentToChange();
        if (document::LookUpTileGroup(doc, document::kTileGroup) == nullptr) return 0;
        document::SwapContent(doc, document::kTileGroup, m_held);
        m_bytes = document::TextureBytes(m_held.textures);
        session.exchangeSavedMark(m_mark);
        return part::Everything | part::File;
    }
    document::TileSetContent m_held;   // the other document's content
    SavedMark m_mark;                  // and its saved mark
    std::size_t m_bytes = 0;
};

}  // namespace

std::unique_ptr<Command> ChangeTileSize(bool width, std::int32_t value) {
    return std::make_unique<TileSizeCommand>(width, value);
}

std::unique_ptr<Command> NewTileSet() { return std::make_unique<NewCommand>(); }

}  // namespace marquetor::editor
