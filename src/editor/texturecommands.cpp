#include "editor/texturecommands.h"

#include <cstddef>
#include <limits>
#include <utility>

#include "document/restore.h"
#include "document/text.h"
#include "editor/session.h"

namespace marquetor::editor {

namespace {

using document::TakenTexture;

std::size_t bytesOf(const TakenTexture& taken) { return taken.record ? taken.record->data().size() : 0; }

class ImportTexturesCommand final : public Command {
public:
    explicit ImportTexturesCommand(std::vector<std::unique_ptr<document::Texture>> textures) {
        for (auto& texture : textures) {
            if (!texture) continue;
            m_names.push_back(texture->name);
            // Past the end of its bucket: the newest of it, where an import puts a texture.
            m_held.push_back({std::move(texture), std::numeric_limits<std::size_t>::max()});
            m_bytes += bytesOf(m_held.back());
        }
    }
    std::string name() const override {
        if (m_names.size() == 1) return "Add Texture " + ShortName(m_names.front());
        return "Add " + document::NumberToText(static_cast<std::int64_t>(m_names.size())) + " Textures";
    }
    std::size_t heldBytes() const override { return m_bytes; }

protected:
    // In the order of the import; out again in the reverse order, so that each texture
    // returns to the place in its bucket it had.
    unsigned apply(Session& session) override {
        if (m_held.empty()) return 0;
        document::TileSet& doc = session.documentToChange();
        for (std::size_t i = 0; i < m_held.size(); ++i) {
            if (document::PutTextureBack(doc, m_held[i])) continue;
            // A name in the way: the ones entered go again and nothing has changed.
            while (i-- > 0) m_held[i] = document::TakeTexture(doc, m_names[i]);
            return 0;
        }
        m_bytes = 0;
        return part::Textures;
    }
    unsigned revert(Session& session) override {
        document::TileSet& doc = session.documentToChange();
        m_bytes = 0;
        for (std::size_t i = m_held.size(); i-- > 0;) {
            m_held[i] = document::TakeTexture(doc, m_names[i]);
            m_bytes += bytesOf(m_held[i]);
        }
        return part::Textures;
    }

private:
    std::vector<std::string> m_names;
    std::vector<TakenTexture> m_held;   // the records while the document does not hold them
    std::size_t m_bytes = 0;
};

class RemoveTextureCommand final : public Command {
public:
    explicit RemoveTextureCommand(std::string name) : m_name(std::move(name)) {}
    std::string name() const override { return "Delete Texture " + ShortName(m_name); }
    std::size_t heldBytes() const override { return bytesOf(m_taken); }

protected:
    unsigned apply(Session& session) override {
        m_taken = document::TakeTexture(session.documentToChange(), m_name);
        return m_taken.record ? part::Textures : 0;
    }
    unsigned revert(Session& session) override {
        return document::PutTextureBack(session.documentToChange(), m_taken) ? part::Textures : 0;
    }

private:
    std::string m_name;
    TakenTexture m_taken;   // the record while deleted
};

}  // namespace

std::unique_ptr<Command> ImportTextures(std::vector<std::unique_ptr<document::Texture>> textures) {
    return std::make_unique<ImportTexturesCommand>(std::move(textures));
}

std::unique_ptr<Command> RemoveTexture(std::string name) {
    return std::make_unique<RemoveTextureCommand>(std::move(name));
}

}  // namespace marquetor::editor
