#include "editor/texturestab.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "editor/refresh.h"
#include "editor/texturecommands.h"
#include "tilesetfile/format.h"

namespace marquetor::editor {

namespace {

// Scales the scratch picture to the preview's size and shows it; a scratch picture that
// holds nothing leaves the preview empty.
void showScratchInPreview(Editor& ed) {
    ed.scratch.scale(kPreviewSize, kPreviewSize);
    ed.gadgets().image(gadget::TexturePreview).setImage(&ed.scratch);
}

// A file of the explorer list: previewed from disk, the document is not touched.
void explorerSelected(Editor& ed) {
    const platform::ExplorerList& explorer = ed.gadgets().explorerList(gadget::Explorer);
    const int row = explorer.selectedRow();
    if (row < 0) return;
    const std::string name = explorer.rowText(row);
    // Folders and files of other kinds give no preview and no message.
    if (!HasTextureExtension(name)) return;
    ed.gadgets().label(gadget::TextureFileName).setText(name);
    // Decoded only to be shown: the next preview replaces the picture.
    ed.scratch.load(std::filesystem::path(explorer.folder() + name), kPreviewSize);
    showScratchInPreview(ed);
}

// A texture of the document: previewed from its stored bytes, whatever the disk holds now.
void textureSelected(Editor& ed) {
    const platform::ListView& list = ed.gadgets().listView(gadget::TexturesList);
    const int row = list.selectedRow();
    if (row < 0) return;
    const std::string name = list.rowText(row);
    const document::Texture* texture = document::FindTexture(ed.doc(), name);
    if (texture == nullptr) return;
    // The prefix tells an imported texture from a file of the folder.
    ed.gadgets().label(gadget::TextureFileName).setText("[X] " + name);
    // A texture without bytes, or with bytes that are no picture, leaves the preview empty.
    ed.scratch.decode(texture->data(), kPreviewSize);
    showScratchInPreview(ed);
}

// The files of an Add, read for one step: each refused one gets its message, in order.
class Import {
public:
    explicit Import(Editor& ed) : m_ed(ed) {}

    // One file read as a texture; false, with the message shown, when it is refused.
    bool read(const std::string& folder, const std::string& name) {
        if (!HasTextureExtension(name)) {
            m_ed.message("Not in the correct format!");
            return false;
        }
        // The key is the name alone: a file of that name from any folder is the same texture
        // (one read a moment ago included). Looking first tells a taken name from a file that
        // cannot be read.
        if (document::FindTexture(m_ed.doc(), name) != nullptr || taken(name)) {
            m_ed.message("The texture already exists!");
            return false;
        }
        std::unique_ptr<document::Texture> texture = document::ReadTextureFile(folder, name);
        if (!texture) {
            m_ed.message("Could not be imported!");
            return false;
        }
        m_textures.push_back(std::move(texture));
        return true;
    }

    // The textures read go into the document as one step; their lists are rebuilt.
    void finish() {
        if (m_textures.empty()) return;
        Refresh(m_ed, m_ed.session.run(ImportTextures(std::move(m_textures))));
    }

private:
    bool taken(const std::string& name) const {
        return std::any_of(m_textures.begin(), m_textures.end(), [&](const auto& t) { return t->name == name; });
    }
    Editor& m_ed;
    std::vector<std::unique_ptr<document::Texture>> m_textures;
};

void addTexture(Editor& ed) {
    // The explorer list keeps its folder and its selection: the user may go on from there.
    const platform::ExplorerList& explorer = ed.gadgets().explorerList(gadget::Explorer);
    const int row = explorer.selectedRow();
    if (row < 0) return;
    Import import(ed);
    if (!import.read(explorer.folder(), explorer.rowText(row))) return;
    // The preview and its caption keep what they show.
    import.finish();
}

void deleteTexture(Editor& ed) {
    const platform::ListView& list = ed.gadgets().listView(gadget::TexturesList);
    const int row = list.selectedRow();
    if (row < 0) return;
    // Tiles naming the texture keep the name; only the lists forget it. The record goes
    // into the history, bytes and all, so that Undo puts it back where it was.
    const unsigned parts = ed.session.run(RemoveTexture(list.rowText(row)));
    if (parts == 0) return;
    Refresh(ed, parts);
    ClearTexturePreview(ed);
}

void exportTexture(Editor& ed) {
    const platform::ListView& list = ed.gadgets().listView(gadget::TexturesList);
    const int row = list.selectedRow();
    if (row < 0) return;
    const std::string name = list.rowText(row);
    ed.chosenPath = ed.dialogs.saveFile("Save Texture...", std::string(kTextureFolder) + name, "All (*.*)|*.*");
    if (ed.chosenPath.empty()) return;
    const document::Texture* texture = document::FindTexture(ed.doc(), name);
    if (texture == nullptr) {
        ed.message("Could not be exported!");
        return;
    }
    // The path is taken as chosen: no extension is added. The bytes go out unchanged, and
    // a failed write leaves neither a partial file nor a damaged older one.
    const tilesetfile::SaveResult result =
        fileio::SaveFile(std::filesystem::path(ed.chosenPath), texture->data());
    if (!result.ok) ed.message("Could not be exported!");
}

}  // namespace

void HandleTexturesGadget(Editor& ed, int id) {
    switch (id) {
    case gadget::Explorer: explorerSelected(ed); break;
    case gadget::TexturesList: textureSelected(ed); break;
    case gadget::TextureAdd: addTexture(ed); break;
    case gadget::TextureDelete: deleteTexture(ed); break;
    case gadget::TextureExport: exportTexture(ed); break;
    default: break;
    }
}

void ImportTextureFiles(Editor& ed, const std::vector<std::string>& paths) {
    Import import(ed);
    for (const std::string& path : paths) {
        // As the explorer hands a file to Add: the folder ending with "/", then the name.
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        import.read(folder, name);
    }
    import.finish();
}

}  // namespace marquetor::editor
