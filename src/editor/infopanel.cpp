#include "editor/infopanel.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "document/text.h"
#include "editor/editor.h"
#include "editor/filecommands.h"
#include "platform/image.h"
#include "platform/problemlist.h"

namespace marquetor::editor {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int32_t kTileGroup = 1;
constexpr std::size_t kShownIds = 5;
constexpr std::size_t kShownNames = 3;
// Texture decoding per cycle, so that a set of large pictures never holds the loop up.
constexpr auto kPictureBudget = std::chrono::milliseconds(8);
// The texture folder can come and go while the program runs.
constexpr auto kFolderInterval = std::chrono::seconds(1);
constexpr unsigned kScanParts = part::Materials | part::Textures | part::Tiles;

constexpr platform::Rect kDocumentFrame{16, 80, 468, 96};
constexpr platform::Rect kFileRect{28, 100, 444, 20};
constexpr platform::Rect kChangesRect{28, 120, 444, 20};
constexpr platform::Rect kCountsRect{28, 140, 444, 20};
constexpr platform::Rect kProblemsFrame{16, 192, 468, 384};
constexpr platform::Rect kProblemsRect{28, 212, 444, 352};

std::string plural(std::size_t n, const char* one, const char* many) {
    return document::NumberToText(static_cast<std::int64_t>(n)) + " " + (n == 1 ? one : many);
}

void note(BrokenTiles& broken, const document::Tile& tile, std::size_t row) {
    if (broken.count++ == 0) broken.firstRow = static_cast<long long>(row);
    if (broken.firstIds.size() < kShownIds) broken.firstIds.push_back(tile.id);
}

// One walk over the tiles. Tiles come in runs that name the same texture and material, so
// a name is looked up only when it differs from the previous tile's.
void scanTiles(Editor& ed) {
    InfoPanel& info = ed.info;
    info.missingTexture = {};
    info.missingMaterial = {};
    const document::TileGroup* group = document::LookUpTileGroup(ed.doc, kTileGroup);
    if (group == nullptr) return;
    // Runs of tiles often name the same texts: a name is looked up only when it differs
    // from the previous tile's (the views point into the tiles, which the scan leaves alone).
    std::string_view texture;
    std::string_view material;
    bool textureHeld = false;
    bool materialHeld = false;
    bool first = true;
    const auto& tiles = group->tiles.items();
    for (std::size_t row = 0; row < tiles.size(); ++row) {
        const document::Tile& tile = *tiles[row];
        if (first || std::string_view(tile.texture) != texture) {
            texture = tile.texture;
            textureHeld = ed.doc.textures.find(texture) != nullptr;
        }
        if (first || std::string_view(tile.material) != material) {
            material = tile.material;
            materialHeld = document::FindMaterial(ed.doc, material) != nullptr;
        }
        first = false;
        if (!textureHeld) note(info.missingTexture, tile, row);
        if (!materialHeld) note(info.missingMaterial, tile, row);
    }
}

// Decodes the textures not seen before, until the cycle's budget is spent. True when every
// texture has its answer.
bool checkPictures(Editor& ed) {
    const Clock::time_point deadline = Clock::now() + kPictureBudget;
    bool done = true;
    ed.doc.textures.forEach([&](const document::Texture& texture) {
        if (ed.info.pictures.count(texture.serial) != 0) return;
        if (!done || Clock::now() > deadline) {
            done = false;
            return;
        }
        ed.info.pictures.emplace(texture.serial, platform::IsPicture(texture.data()));
    });
    return done;
}

std::string brokenText(const BrokenTiles& broken, const char* what) {
    std::string text = plural(broken.count, "tile names a ", "tiles name a ") + what +
                       " the tile set does not hold (" + (broken.count == 1 ? "ID " : "IDs ");
    for (std::size_t i = 0; i < broken.firstIds.size(); ++i) {
        if (i > 0) text += ", ";
        text += document::NumberToText(broken.firstIds[i]);
    }
    if (broken.count > broken.firstIds.size()) text += ", ...";
    return text + ")";
}

void addRow(InfoPanel& info, std::vector<std::string>& texts, Problem problem, std::string text) {
    info.rows.push_back(problem);
    texts.push_back(std::move(text));
}

void showProblems(Editor& ed) {
    InfoPanel& info = ed.info;
    info.rows.clear();
    std::vector<std::string> texts;
    if (ed.doc.tileWidth <= 0 || ed.doc.tileHeight <= 0) {
        addRow(info, texts, Problem::TileSize,
               "The tile size " + document::NumberToText(ed.doc.tileWidth) + " x " +
                   document::NumberToText(ed.doc.tileHeight) + " has a side of 0 or less");
    }
    if (info.missingTexture.count > 0)
        addRow(info, texts, Problem::MissingTexture, brokenText(info.missingTexture, "texture"));
    if (info.missingMaterial.count > 0)
        addRow(info, texts, Problem::MissingMaterial, brokenText(info.missingMaterial, "material"));
    if (info.picturesPending) {
        addRow(info, texts, Problem::Checking, "Checking the textures' pictures...");
    } else {
        std::size_t count = 0;
        std::string names;
        ed.doc.textures.forEach([&](const document::Texture& texture) {
            const auto found = info.pictures.find(texture.serial);
            if (found == info.pictures.end() || found->second) return;
            if (count < kShownNames) names += (count == 0 ? "" : ", ") + texture.name;
            ++count;
        });
        if (count > 0) {
            if (count > kShownNames) names += ", ...";
            addRow(info, texts, Problem::NoPicture,
                   plural(count, "texture holds", "textures hold") + " no picture: " + names);
        }
    }
    if (info.folderMissing) {
        addRow(info, texts, Problem::NoTextureFolder,
               std::string("The texture folder ") + kTextureFolder + " is missing from the working directory");
    }
    if (texts.empty()) addRow(info, texts, Problem::None, "No problems found");
    if (texts != info.shownRows) {
        platform::ProblemListOf(ed.gadgets(), gadget::Problems).setRows(texts);
        info.shownRows = std::move(texts);
    }
}

void setLabel(Editor& ed, int id, const std::string& text) {
    platform::Label& label = ed.gadgets().label(id);
    if (label.text() != text) label.setText(text);
}

std::uint64_t textureBytes(const Editor& ed) {
    std::uint64_t total = 0;
    ed.doc.textures.forEach([&](const document::Texture& t) { total += t.data().size(); });
    return total;
}

}  // namespace

std::string SizeText(std::uint64_t bytes) {
    if (bytes < 1024) return plural(static_cast<std::size_t>(bytes), "byte", "bytes");
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

void CreateInfoPanel(Editor& ed) {
    platform::Window& w = ed.window;
    w.createFrame(kDocumentFrame, "Tile set");
    w.createTextLabel(gadget::InfoFile, kFileRect, "");
    w.createTextLabel(gadget::InfoChanges, kChangesRect, "");
    w.createTextLabel(gadget::InfoCounts, kCountsRect, "");
    w.createFrame(kProblemsFrame, "Problems");
    w.createProblemList(gadget::Problems, kProblemsRect);
}

void ResetInfoPanel(Editor& ed) {
    ed.info.dirty = ~0u;
    ed.info.pictures.clear();
}

void UpdateInfoPanel(Editor& ed) {
    InfoPanel& info = ed.info;
    info.dirty |= ed.history.takeChanges();
    if (ed.gadgets().find(gadget::Problems) == nullptr) return;   // not built (no window)
    if (ed.gadgets().panel(gadget::Panel).state() != 0) return;  // looked at when shown

    const Clock::time_point now = Clock::now();
    const bool folderDue = now - info.folderCheckedAt >= kFolderInterval;
    if (info.dirty == 0 && !info.picturesPending && !folderDue) return;

    if (info.dirty != 0) {
        setLabel(ed, gadget::InfoFile,
                 "File: " + (ed.documentPath.empty() ? std::string("not saved yet") : ed.documentPath));
        // What Close would find: edits that cancel out leave nothing to save. The
        // fingerprint walks the tiles, so it is taken only here, once a cycle at most.
        setLabel(ed, gadget::InfoChanges, std::string("Unsaved changes: ") + (HasUnsavedChanges(ed) ? "yes" : "none"));
    }
    if (info.dirty & kScanParts) {
        const document::TileGroup* group = document::LookUpTileGroup(ed.doc, kTileGroup);
        setLabel(ed, gadget::InfoCounts,
                 "Materials: " + document::NumberToText(static_cast<std::int64_t>(ed.doc.materials.size())) +
                     "    Textures: " + document::NumberToText(static_cast<std::int64_t>(ed.doc.textures.size())) +
                     " (" + SizeText(textureBytes(ed)) + ")    Tiles: " +
                     document::NumberToText(group ? static_cast<std::int64_t>(group->tiles.size()) : 0));
        scanTiles(ed);
    }
    if (info.dirty & part::Textures) info.picturesPending = true;
    if (info.picturesPending) info.picturesPending = !checkPictures(ed);
    if (folderDue || info.dirty != 0) {
        std::error_code ec;
        info.folderMissing = !std::filesystem::is_directory(kTextureFolder, ec);
        info.folderCheckedAt = now;
    }
    info.dirty = 0;
    showProblems(ed);
}

void HandleProblemsGadget(Editor& ed) {
    const int row = platform::ProblemListOf(ed.gadgets(), gadget::Problems).activatedRow();
    InfoPanel& info = ed.info;
    if (row < 0 || static_cast<std::size_t>(row) >= info.rows.size()) return;
    const Problem problem = info.rows[static_cast<std::size_t>(row)];
    if (problem != Problem::MissingTexture && problem != Problem::MissingMaterial) return;
    // The list is up to date unless a change came in this very cycle.
    info.dirty |= ed.history.takeChanges();
    if (info.dirty & kScanParts) scanTiles(ed);
    const BrokenTiles& broken = problem == Problem::MissingTexture ? info.missingTexture : info.missingMaterial;
    if (broken.firstRow < 0) return;
    platform::Gadgets& g = ed.gadgets();
    g.panel(gadget::Panel).setState(3);
    // The selection reaches the tile selection handler in a later cycle, which loads the
    // editors from the tile; with the focus the list shows the selected row.
    g.listView(gadget::TilesList).selectRow(static_cast<int>(broken.firstRow));
    g.listView(gadget::TilesList).setFocus();
}

}  // namespace marquetor::editor
