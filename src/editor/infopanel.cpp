#include "editor/infopanel.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "document/text.h"
#include "editor/command.h"
#include "editor/editor.h"
#include "platform/image.h"
#include "platform/problemlist.h"

namespace marquetor::editor {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kShownIds = 5;
constexpr std::size_t kShownNames = 3;
// The walk over the tiles and the texture decoding, per idle cycle: a million tiles or a
// set of large pictures never hold the loop up.
constexpr auto kSliceBudget = std::chrono::milliseconds(6);
// The texture folder can come and go while the program runs.
constexpr auto kFolderInterval = std::chrono::seconds(1);
constexpr unsigned kScanParts = part::Materials | part::Textures | part::Tiles | part::TileValues;

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

// Walks the tiles on from where the last slice stopped, until the deadline; true when the
// walk is complete.
bool scanTiles(Editor& ed, Clock::time_point deadline) {
    InfoPanel& info = ed.info;
    const document::TileSet& doc = ed.doc();
    const document::TileGroup* group = document::LookUpTileGroup(doc, document::kTileGroup);
    if (group == nullptr) return true;
    const auto& tiles = group->tiles.items();
    for (std::size_t row = info.nextTile; row < tiles.size(); ++row) {
        if (row % 4096 == 0 && row > info.nextTile && Clock::now() > deadline) {
            info.nextTile = row;
            return false;
        }
        const document::Tile& tile = *tiles[row];
        if (!info.names.textureHeld(doc, tile)) note(info.missingTexture, tile, row);
        if (!info.names.materialHeld(doc, tile)) note(info.missingMaterial, tile, row);
    }
    info.nextTile = tiles.size();
    return true;
}

// The walk starts again from the first tile (the tiles or the names they may name changed).
void restartScan(InfoPanel& info) {
    info.missingTexture = {};
    info.missingMaterial = {};
    info.nextTile = 0;
    info.names.clear();
    info.tilesPending = true;
}

// Decodes the textures not seen before, until the deadline. True when every texture has
// its answer.
bool checkPictures(Editor& ed, Clock::time_point deadline) {
    bool done = true;
    ed.doc().textures.forEach([&](const document::Texture& texture) {
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
    const document::TileSet& doc = ed.doc();
    info.rows.clear();
    std::vector<std::string> texts;
    // What was read of a file that ended early is only part of the tile set: said as mrqt
    // check says it, until the document is saved or replaced.
    if (ed.session.savedMark().dataEndedEarly) {
        addRow(info, texts, Problem::DataEndedEarly,
               problems::FindingText(problems::Finding{problems::Problem::DataEndedEarly}));
    }
    if (!problems::TileSideUsable(doc.tileWidth) || !problems::TileSideUsable(doc.tileHeight)) {
        addRow(info, texts, Problem::TileSize,
               "The tile size " + document::NumberToText(doc.tileWidth) + " x " +
                   document::NumberToText(doc.tileHeight) + " has a side of 0 or less");
    }
    if (info.tilesPending) {
        addRow(info, texts, Problem::Checking, "Checking the tiles...");
    } else {
        if (info.missingTexture.count > 0)
            addRow(info, texts, Problem::MissingTexture, brokenText(info.missingTexture, "texture"));
        if (info.missingMaterial.count > 0)
            addRow(info, texts, Problem::MissingMaterial, brokenText(info.missingMaterial, "material"));
    }
    if (info.picturesPending) {
        addRow(info, texts, Problem::Checking, "Checking the textures' pictures...");
    } else {
        std::size_t count = 0;
        std::string names;
        doc.textures.forEach([&](const document::Texture& texture) {
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
    ed.doc().textures.forEach([&](const document::Texture& t) { total += t.data().size(); });
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
    info.dirty |= ed.session.takeChanges();
    if (ed.gadgets().find(gadget::Problems) == nullptr) return;   // not built (no window)
    if (ed.gadgets().panel(gadget::Panel).state() != 0) return;  // looked at when shown

    const Clock::time_point now = Clock::now();
    const bool folderDue = now - info.folderCheckedAt >= kFolderInterval;
    // The slices run only in a cycle that handled no event: what a cycle's handlers changed
    // is painted at the start of the next one, and that must not wait behind them.
    const bool idle = ed.frame.events.empty();
    const bool slicesDue = idle && (info.tilesPending || info.picturesPending);
    if (info.dirty == 0 && !slicesDue && !folderDue) return;

    if (info.dirty != 0) {
        const std::string& path = ed.session.savedMark().path;
        setLabel(ed, gadget::InfoFile, "File: " + (path.empty() ? std::string("not saved yet") : path));
        // What Close would find: edits that cancel out leave nothing to save.
        const bool unsaved = ed.session.hasUnsavedChanges();
        setLabel(ed, gadget::InfoChanges, std::string("Unsaved changes: ") + (unsaved ? "yes" : "none"));
    }
    if (info.dirty & kScanParts) {
        const document::TileSet& doc = ed.doc();
        const document::TileGroup* group = document::LookUpTileGroup(doc, document::kTileGroup);
        setLabel(ed, gadget::InfoCounts,
                 "Materials: " + document::NumberToText(static_cast<std::int64_t>(doc.materials.size())) +
                     "    Textures: " + document::NumberToText(static_cast<std::int64_t>(doc.textures.size())) +
                     " (" + SizeText(textureBytes(ed)) + ")    Tiles: " +
                     document::NumberToText(group ? static_cast<std::int64_t>(group->tiles.size()) : 0));
        restartScan(info);
    }
    if (info.dirty & part::Textures) info.picturesPending = true;
    if (idle && (info.tilesPending || info.picturesPending)) {
        const Clock::time_point deadline = Clock::now() + kSliceBudget;
        if (info.tilesPending) info.tilesPending = !scanTiles(ed, deadline);
        if (!info.tilesPending && info.picturesPending) info.picturesPending = !checkPictures(ed, deadline);
    }
    if (folderDue || info.dirty != 0) {
        std::error_code ec;
        info.folderMissing = !std::filesystem::is_directory(kTextureFolder, ec);
        info.folderCheckedAt = now;
    }
    info.dirty = 0;
    showProblems(ed);
}

long long FirstTileOfProblem(Editor& ed, int problemRow) {
    InfoPanel& info = ed.info;
    if (problemRow < 0 || static_cast<std::size_t>(problemRow) >= info.rows.size()) return -1;
    const Problem problem = info.rows[static_cast<std::size_t>(problemRow)];
    if (problem != Problem::MissingTexture && problem != Problem::MissingMaterial) return -1;
    // The list is up to date unless a change came in this very cycle.
    info.dirty |= ed.session.takeChanges();
    if (info.dirty & kScanParts) restartScan(info);
    if (info.tilesPending) info.tilesPending = !scanTiles(ed, Clock::time_point::max());
    const BrokenTiles& broken = problem == Problem::MissingTexture ? info.missingTexture : info.missingMaterial;
    return broken.firstRow;
}

}  // namespace marquetor::editor
