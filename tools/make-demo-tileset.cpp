// Writes the demo game's tile set with the editor itself: the real editor is started
// offscreen in the demo workspace, the example textures are imported through the Textures
// tab's Add, the materials and tiles are entered on their tabs and pressed in with Add, and
// the whole document is written by the Save... command. Only the save requester is
// answered by script.
//
//   make_demo_tileset [WORKSPACE [OUTPUT]]
//
// WORKSPACE is the folder the editor runs in (default examples/demo-game/Tools/Marquetor);
// OUTPUT is the path given to Save..., taken from WORKSPACE as the requester's would be
// (default ../../Data/TileSets/demo.mrqt).

#include <QAbstractButton>
#include <QApplication>
#include <QtGlobal>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "document/text.h"
#include "editor/editor.h"
#include "editor/eventloop.h"
#include "editor/mainwindow.h"
#include "platform/dialogs.h"
#include "platform/gadgets.h"
#include "tilesetfile/format.h"

namespace {

namespace doc = marquetor::document;
namespace editor = marquetor::editor;
namespace platform = marquetor::platform;
using namespace editor::gadget;

struct MaterialEntry {
    const char* name;
    int red, green, blue;
    const char* description;
};

// Materials in the order the list shows them.
const MaterialEntry kMaterials[] = {
    {"Grass", 86, 160, 60, "Soft ground, walkable"},
    {"Earth", 130, 90, 50, "Bare soil and paths"},
    {"Sand", 222, 200, 140, "Beach and desert floor"},
    {"Stone", 128, 128, 136, "Rock and walls"},
    {"Water", 50, 110, 200, "Shallow water, slows walking"},
    {"Wood", 150, 100, 55, "Bridges, floors and fences"},
    {"Lava", 230, 80, 20, "Burns whatever touches it"},
    {"Brick", 170, 70, 50, "Walls of houses and towers"},
    {"Cobble", 110, 105, 100, "Paved roads in town"},
    {"Ice", 190, 225, 245, "Frozen lakes, slippery"},
    {"Leaves", 50, 120, 40, "Tree tops, drawn over the ground"},
    {"Snow", 245, 248, 252, "Deep snow, slows walking"},
    {"Metal", 150, 155, 165, "Gates, grates and machinery"},
    {"Void", 0, 0, 0, "Nothing: the edge of the world"},
};

// Texture files to import: the folder inside TileSets/Textures/ ("" for the folder itself)
// and the file's name.
struct TextureFile {
    const char* folder;
    const char* name;
};
const TextureFile kTextures[] = {
    {"", "grass.png"}, {"", "dirt.bmp"},  {"", "sand.bmp"},         {"", "stone.jpg"},
    {"", "water.png"}, {"", "lava.tga"},  {"", "brick.tga"},        {"extra", "cobble.jpg"},
    {"extra", "ice.tga"}, {"extra", "leaves.png"}, {"extra", "planks.bmp"},
};

// A run of tiles with consecutive IDs, entered by pressing Add `count` times.
struct TileRun {
    int firstId;
    int count;
    const char* texture;
    const char* material;
    int layer;
    int collision;   // collision entry: 0 "False", 1 "True", 2 to 5
};
const TileRun kTiles[] = {
    {1, 4, "grass.png", "Grass", 0, 0},   {10, 3, "dirt.bmp", "Earth", 0, 0},
    {20, 3, "sand.bmp", "Sand", 0, 0},    {30, 4, "stone.jpg", "Stone", 1, 1},
    {40, 3, "water.png", "Water", 0, 2},  {50, 2, "lava.tga", "Lava", 0, 3},
    {60, 3, "brick.tga", "Brick", 1, 1},  {70, 3, "cobble.jpg", "Cobble", 0, 0},
    {80, 2, "ice.tga", "Ice", 0, 4},      {90, 3, "leaves.png", "Leaves", 2, 0},
    {100, 3, "planks.bmp", "Wood", 1, 0}, {110, 1, "stone.jpg", "Metal", 1, 5},
    {120, 1, "ice.tga", "Snow", 0, 2},  {200, 1, "brick.tga", "Void", 255, 1},
};

class Driver {
public:
    explicit Driver(editor::Editor& ed) : m_ed(ed) {}

    // Runs loop cycles until every event, the program's own included, is handled.
    bool settle() {
        for (int cycle = 0; cycle < 200; ++cycle) {
            editor::RunCycle(m_ed);
            if (m_ed.frame.events.empty() && m_ed.queue.empty()) return true;
        }
        std::fprintf(stderr, "make_demo_tileset: the editor did not come to rest\n");
        return false;
    }
    // A click on a button, as the user's: the button reports it and the loop handles it.
    bool click(int id) {
        auto* button = qobject_cast<QAbstractButton*>(m_ed.gadgets().button(id).widget());
        if (button == nullptr) return false;
        m_ed.gadgets().panel(Panel).setState(tabOf(id));
        button->click();
        return settle();
    }
    bool menu(int item) {
        m_ed.queue.push({platform::kEventMenu, item, 0});
        return settle();
    }
    platform::Gadgets& g() { return m_ed.gadgets(); }

private:
    static int tabOf(int id) {
        if (id >= MaterialsList && id <= MaterialSort) return 1;
        if (id >= TexturesList && id <= TextureExport) return 2;
        if (id >= TilesList) return 3;
        return 0;
    }
    editor::Editor& m_ed;
};

int rowNamed(const platform::ExplorerList& list, std::string_view name) {
    for (int row = 0; row < list.rowCount(); ++row)
        if (list.rowText(row) == name) return row;
    return -1;
}

int itemNamed(const platform::ChoiceBox& box, std::string_view name) {
    for (int i = 0; i < box.count(); ++i)
        if (box.itemText(i) == name) return i;
    return -1;
}

bool importTextures(Driver& d) {
    platform::ExplorerList& explorer = d.g().explorerList(Explorer);
    for (const TextureFile& file : kTextures) {
        if (*file.folder != '\0') {
            const int folderRow = rowNamed(explorer, file.folder);
            if (folderRow < 0 || !explorer.isFolder(folderRow)) return false;
            explorer.openSubFolder(folderRow);
        }
        const int row = rowNamed(explorer, file.name);
        if (row < 0) {
            std::fprintf(stderr, "make_demo_tileset: no %s in %s\n", file.name, explorer.folder().c_str());
            return false;
        }
        explorer.selectRow(row);   // previews it, as a click would
        if (!d.settle() || !d.click(TextureAdd)) return false;
        if (*file.folder != '\0') explorer.goUp();
        if (!d.settle()) return false;
    }
    return true;
}

bool enterMaterials(Driver& d) {
    for (const MaterialEntry& m : kMaterials) {
        // Each Add selects the new row, so the next material goes behind it.
        d.g().textField(MaterialName).setText(m.name);
        d.g().textField(Red).setText(doc::NumberToText(m.red));
        d.g().textField(Green).setText(doc::NumberToText(m.green));
        d.g().textField(Blue).setText(doc::NumberToText(m.blue));
        d.g().textField(Description).setText(m.description);
        if (!d.settle() || !d.click(MaterialAdd)) return false;
    }
    return true;
}

bool enterTiles(Driver& d) {
    for (const TileRun& run : kTiles) {
        platform::ChoiceBox& texture = d.g().choiceBox(TileTexture);
        platform::ChoiceBox& material = d.g().choiceBox(TileMaterial);
        const int textureItem = itemNamed(texture, run.texture);
        const int materialItem = itemNamed(material, run.material);
        if (textureItem < 0 || materialItem < 0) {
            std::fprintf(stderr, "make_demo_tileset: %s or %s is not offered\n", run.texture, run.material);
            return false;
        }
        d.g().textField(TileId).setText(doc::NumberToText(run.firstId));
        texture.setState(textureItem);
        material.setState(materialItem);
        d.g().spinBox(TileLayer).setValue(run.layer);
        d.g().choiceBox(TileCollision).setState(run.collision);
        if (!d.settle()) return false;
        // The ID field advances by one with each Add.
        for (int i = 0; i < run.count; ++i)
            if (!d.click(TileAdd)) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 3) {
        std::fprintf(stderr, "usage: make_demo_tileset [WORKSPACE [OUTPUT]]\n");
        return 2;
    }
    const std::string workspace = argc > 1 ? argv[1] : "examples/demo-game/Tools/Marquetor";
    const std::string output = argc > 2 ? argv[2] : "../../Data/TileSets/demo.mrqt";
    std::error_code ec;
    std::filesystem::current_path(workspace, ec);
    if (ec) {
        std::fprintf(stderr, "make_demo_tileset: %s: %s\n", workspace.c_str(), ec.message().c_str());
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    platform::ScriptedDialogs dialogs;
    editor::Editor ed(dialogs);
    if (!editor::StartEditor(ed, "")) return 1;
    Driver d(ed);
    if (!d.settle()) return 1;

    bool done = importTextures(d) && enterMaterials(d) && enterTiles(d);
    if (done) {
        // The requester only offers folders that exist.
        const std::filesystem::path folder = std::filesystem::path(output).parent_path();
        if (!folder.empty()) std::filesystem::create_directories(folder, ec);
        dialogs.paths.push_back(output);
        done = d.menu(editor::menu::Save);
    }
    for (const std::string& message : dialogs.messages())
        std::fprintf(stderr, "make_demo_tileset: the editor said \"%s\"\n", message.c_str());
    if (!done || !dialogs.messages().empty()) return 1;

    // What the file holds must be what was entered.
    doc::TileSet check;
    doc::AddTileGroup(check, doc::kTileGroup);
    const auto loaded = marquetor::tilesetfile::LoadTileSet(check, output);
    std::size_t tiles = 0;
    for (const TileRun& run : kTiles) tiles += static_cast<std::size_t>(run.count);
    const doc::TileGroup* group = doc::LookUpTileGroup(check, doc::kTileGroup);
    if (loaded.status != marquetor::tilesetfile::LoadStatus::Ok || check.materials.size() != std::size(kMaterials) ||
        check.textures.size() != std::size(kTextures) || group == nullptr || group->tiles.size() != tiles) {
        std::fprintf(stderr, "make_demo_tileset: %s does not hold what was entered\n", output.c_str());
        return 1;
    }
    std::printf("%s: %zu materials, %zu textures, %zu tiles\n", output.c_str(), check.materials.size(),
                check.textures.size(), group->tiles.size());
    return 0;
}
