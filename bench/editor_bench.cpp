// The editor offscreen with a large tile set: the refresh; Add, Update, Delete and Sort on
// the Tiles tab, and the undo and redo of a Delete and of a Sort; the material of a thousand
// tiles set, and a thousand tiles deleted, at once (the Tile Palette's commands); a
// tile-size edit with the TileSet tab's account; Add, Update and Delete on the Materials tab
// (list rebuilds and repaint included); Open against loading the same file alone; the tile
// palette (opening it, a scroll by a screen, a click on a tile, a keystroke in its filter, a
// change of a thousand selected tiles, its memory). The file comes from
// MARQUETOR_BENCH_FILE (run.sh generates it); table.py picks the benchmarks per file.
//
// Each operation is timed until the editor has come to rest: the handler, then loop cycles
// (without the idle sleep) until the events its own changes raised have been handled and
// Qt has painted.

#include <benchmark/benchmark.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QtGlobal>

#include <malloc.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "editor/command.h"
#include "editor/editmenu.h"
#include "editor/editor.h"
#include "editor/eventloop.h"
#include "editor/filecommands.h"
#include "editor/mainwindow.h"
#include "editor/materialstab.h"
#include "editor/palette.h"
#include "editor/refresh.h"
#include "editor/tilecommands.h"
#include "editor/tilestab.h"
#include "document/restore.h"
#include "platform/cellgrid.h"
#include "platform/dialogs.h"
#include "tilesetfile/format.h"

namespace {

using namespace marquetor;

platform::ScriptedDialogs* g_dialogs = nullptr;
editor::Editor* g_editor = nullptr;
const char* g_file = nullptr;

// Cycles until a cycle finds nothing to do.
void settle(editor::Editor& ed) {
    for (int i = 0; i < 50; ++i) {
        editor::RunCycle(ed);
        if (ed.frame.events.empty() && ed.queue.empty()) return;
    }
}

void openLargeFile(editor::Editor& ed) {
    g_dialogs->paths.push_back(g_file);
    editor::OpenCommand(ed);
    settle(ed);
}

bool ready(benchmark::State& state) {
    if (g_file && g_editor) return true;
    state.SkipWithError("no file given (MARQUETOR_BENCH_FILE)");
    return false;
}

void BM_LoadAlone(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state) {
        state.PauseTiming();
        auto set = std::make_unique<document::TileSet>();
        document::AddTileGroup(*set, document::kTileGroup);
        state.ResumeTiming();
        tilesetfile::LoadTileSet(*set, g_file);
        state.PauseTiming();
        set.reset();
        state.ResumeTiming();
    }
}

void BM_Open(benchmark::State& state) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    for (auto _ : state) openLargeFile(ed);
}

// From the Tiles tab, so that showing the TileSet tab and painting it are part of it.
void BM_RefreshGadgets(benchmark::State& state) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    for (auto _ : state) {
        state.PauseTiming();
        ed.gadgets().panel(editor::gadget::Panel).setState(3);
        settle(ed);
        state.ResumeTiming();
        editor::RefreshGadgets(ed);
        settle(ed);
    }
}

// The Tiles tab in front, a texture and a material chosen, a fresh ID typed.
void prepareAdd(editor::Editor& ed, std::int32_t id) {
    platform::Gadgets& g = ed.gadgets();
    g.panel(editor::gadget::Panel).setState(3);
    if (g.choiceBox(editor::gadget::TileTexture).state() < 0) g.choiceBox(editor::gadget::TileTexture).setState(0);
    if (g.choiceBox(editor::gadget::TileMaterial).state() < 0) g.choiceBox(editor::gadget::TileMaterial).setState(0);
    g.textField(editor::gadget::TileId).setText(std::to_string(id));
    settle(ed);
}

void BM_TilesAdd(benchmark::State& state) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    static std::int32_t id = 50'000'000;   // IDs the set does not hold, new in every repetition
    for (auto _ : state) {
        state.PauseTiming();
        prepareAdd(ed, ++id);
        state.ResumeTiming();
        editor::HandleTilesGadget(ed, editor::gadget::TileAdd);
        settle(ed);
    }
    if (!g_dialogs->shown.empty() && g_dialogs->shown.back().kind == "message") state.SkipWithError("Add was refused");
}

void BM_TilesSort(benchmark::State& state) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    // The tiles in the file's (shuffled) order, put back before each sort.
    struct Record {
        std::int32_t id;
        document::SharedText texture, material;
        std::int16_t layer, collision;
    };
    std::vector<Record> shuffled;
    for (const auto& t : document::LookUpTileGroup(ed.doc(), document::kTileGroup)->tiles.items())
        shuffled.push_back({t->id, t->texture, t->material, t->layer, t->collision});
    for (auto _ : state) {
        state.PauseTiming();
        // Outside the history: the document as a load would leave it.
        document::TileSet& doc = ed.session.documentToChange();
        document::ClearTileGroup(doc, document::kTileGroup);
        document::TileGroup* group = document::LookUpTileGroup(doc, document::kTileGroup);
        for (const Record& r : shuffled) document::AddTile(*group, r.id, r.texture, r.material, r.layer, r.collision);
        editor::Refresh(ed, editor::part::Tiles);
        ed.gadgets().panel(editor::gadget::Panel).setState(3);
        settle(ed);
        state.ResumeTiming();
        editor::HandleTilesGadget(ed, editor::gadget::TileSort);
        settle(ed);
    }
}

// A row in the middle of the list, a different one each repetition.
int middleRow(editor::Editor& ed, int list, int k) {
    const int rows = ed.gadgets().listView(list).rowCount();
    return rows > 0 ? (rows / 2 + 97 * k) % rows : -1;
}

// One change made on a row in the middle of a list, again and again: untimed, the row is
// selected as a click would (its tab in front), the selection handled and the editors set
// by `prepare`; timed, the button's handler and the cycles until the editor is at rest.
template <class Prepare>
void changeMiddleRows(benchmark::State& state, int tab, int list, void (*handle)(editor::Editor&, int), int button,
                      Prepare prepare) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    int k = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ed.gadgets().panel(editor::gadget::Panel).setState(tab);
        ed.gadgets().listView(list).selectRow(middleRow(ed, list, ++k));
        settle(ed);
        prepare(ed, k);
        settle(ed);
        state.ResumeTiming();
        handle(ed, button);
        settle(ed);
    }
}

// Update with another texture, material and layer in the editors; the row is shown again.
void BM_TilesUpdate(benchmark::State& state) {
    changeMiddleRows(state, 3, editor::gadget::TilesList, editor::HandleTilesGadget, editor::gadget::TileUpdate,
                     [](editor::Editor& ed, int k) {
                         platform::Gadgets& g = ed.gadgets();
                         for (const int box : {editor::gadget::TileTexture, editor::gadget::TileMaterial})
                             g.choiceBox(box).setState(k % std::max(1, g.choiceBox(box).count()));
                         g.spinBox(editor::gadget::TileLayer).setValue(k % 256);
                     });
}

// Delete, the selection of the row above and its handler loading the editors.
void BM_TilesDelete(benchmark::State& state) {
    changeMiddleRows(state, 3, editor::gadget::TilesList, editor::HandleTilesGadget, editor::gadget::TileDelete,
                     [](editor::Editor&, int) {});
    if (g_editor && g_editor->currentTileRow < 0) state.SkipWithError("Delete left no current row");
}

// Add behind the selected row, the rebuild of the list and of the Tiles tab's material
// choice box, and the selection of the new row loading the fields.
void BM_MaterialsAdd(benchmark::State& state) {
    static int serial = 0;   // names the set does not hold, new in every repetition
    changeMiddleRows(state, 1, editor::gadget::MaterialsList, editor::HandleMaterialsGadget,
                     editor::gadget::MaterialAdd, [](editor::Editor& ed, int) {
                         ed.gadgets().textField(editor::gadget::MaterialName).setText("bench material " +
                                                                                      std::to_string(++serial));
                     });
    if (!g_dialogs->shown.empty() && g_dialogs->shown.back().kind == "message") state.SkipWithError("Add was refused");
}

void BM_MaterialsUpdate(benchmark::State& state) {
    changeMiddleRows(state, 1, editor::gadget::MaterialsList, editor::HandleMaterialsGadget,
                     editor::gadget::MaterialUpdate, [](editor::Editor& ed, int k) {
                         ed.gadgets().textField(editor::gadget::Red).setText(std::to_string(k % 256));
                         ed.gadgets().textField(editor::gadget::Description).setText("updated " + std::to_string(k));
                     });
}

void BM_MaterialsDelete(benchmark::State& state) {
    changeMiddleRows(state, 1, editor::gadget::MaterialsList, editor::HandleMaterialsGadget,
                     editor::gadget::MaterialDelete, [](editor::Editor&, int) {});
}

// Undo and redo of a step over the tiles, each with the Tiles tab shown again, its list
// rebuilt and painted. The Tiles tab in front, nothing pending:
void tilesTab(editor::Editor& ed) {
    ed.gadgets().panel(editor::gadget::Panel).setState(3);
    settle(ed);
}

// A tile in the middle of the list deleted, a different one each repetition.
bool deleteMiddleTile(editor::Editor& ed, int k) {
    tilesTab(ed);
    ed.gadgets().listView(editor::gadget::TilesList).selectRow(middleRow(ed, editor::gadget::TilesList, k));
    settle(ed);
    editor::HandleTilesGadget(ed, editor::gadget::TileDelete);
    settle(ed);
    return ed.session.history().undoName().rfind("Delete Tile", 0) == 0;
}

// Puts the tiles out of order, outside the history, so that a Sort has work.
void shuffleTiles(editor::Editor& ed) {
    document::TileGroup& group = *document::LookUpTileGroup(ed.session.documentToChange(), document::kTileGroup);
    std::vector<document::Tile*> order = document::TileOrder(group);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    document::ReorderTiles(group, order);
    editor::Refresh(ed, editor::part::Tiles);
    settle(ed);
}

// A Sort of tiles out of order is the last step done.
bool sortStepDone(editor::Editor& ed, int) {
    tilesTab(ed);
    for (int attempt = 0; attempt < 2 && ed.session.history().undoName() != "Sort Tiles"; ++attempt) {
        // The tiles may be in order already (an earlier benchmark sorted them).
        if (attempt > 0) shuffleTiles(ed);
        editor::HandleTilesGadget(ed, editor::gadget::TileSort);
        settle(ed);
    }
    return ed.session.history().undoName() == "Sort Tiles";
}

// Edit > Undo (or Redo) of the step `make` made, untimed (for a redo undone untimed too),
// until the editor is at rest.
void undoOrRedo(benchmark::State& state, bool redo, bool (*make)(editor::Editor&, int)) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    int k = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const bool made = make(ed, ++k);
        if (made && redo) {
            editor::UndoCommand(ed);
            settle(ed);
        }
        state.ResumeTiming();
        if (!made) {
            state.SkipWithError("the step to undo could not be made");
            break;
        }
        if (redo) {
            editor::RedoCommand(ed);
        } else {
            editor::UndoCommand(ed);
        }
        settle(ed);
    }
}

// A thousand tiles spread over the whole list, a different thousand each time (the k-th
// thousand starts at k modulo the spacing): what a selection in the Tile Palette hands to
// one command.
constexpr std::size_t kSelected = 1000;

std::size_t spacing(const editor::Editor& ed) {
    return document::LookUpTileGroup(ed.doc(), document::kTileGroup)->tiles.size() / kSelected;
}

std::vector<std::size_t> spreadTiles(const editor::Editor& ed, std::size_t k) {
    const std::size_t step = spacing(ed);
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; step > 0 && i < kSelected; ++i) positions.push_back(i * step + k % step);
    return positions;
}

// One command over a thousand tiles handed to the session, then the one refresh from the
// parts it changed, until the editor is at rest (the Tiles tab in front); `undo` takes it
// back untimed, so that every repetition finds the document as it was.
template <class Make>
void changeManyTiles(benchmark::State& state, Make make, bool undo) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    static std::size_t k = 0;   // on from repetition to repetition
    for (auto _ : state) {
        state.PauseTiming();
        tilesTab(ed);
        ++k;
        auto command = make(spreadTiles(ed, k), k);
        state.ResumeTiming();
        const unsigned parts = ed.session.run(std::move(command));
        editor::Refresh(ed, parts);
        settle(ed);
        state.PauseTiming();
        if (parts == 0) {
            state.SkipWithError("the change of many tiles was refused");
            break;
        }
        if (undo) {
            editor::UndoCommand(ed);
            settle(ed);
        }
        state.ResumeTiming();
    }
}

void BM_TilesSetMaterialOfMany(benchmark::State& state) {
    changeManyTiles(
        state,
        [](std::vector<std::size_t> positions, std::size_t k) {
            // One of two materials the set holds, the other one each time the same thousand
            // comes round again: every repetition changes tiles.
            const auto& materials = g_editor->doc().materials;
            const std::size_t which = k / std::max<std::size_t>(1, spacing(*g_editor)) % 2;
            const std::string name = materials.size() < 2 ? std::string("bench") : materials.at(which).name;
            return editor::SetMaterialOfTiles(std::move(positions), name);
        },
        false);
}

void BM_TilesDeleteMany(benchmark::State& state) {
    changeManyTiles(
        state, [](std::vector<std::size_t> positions, std::size_t) { return editor::RemoveTiles(std::move(positions)); },
        true);
}

void BM_TilesUndoDelete(benchmark::State& state) { undoOrRedo(state, false, deleteMiddleTile); }
void BM_TilesRedoDelete(benchmark::State& state) { undoOrRedo(state, true, deleteMiddleTile); }
void BM_TilesUndoSort(benchmark::State& state) { undoOrRedo(state, false, sortStepDone); }
void BM_TilesRedoSort(benchmark::State& state) { undoOrRedo(state, true, sortStepDone); }

// The TileSet tab in front, a new tile width typed: the cycle stores it and brings the
// tab's account up to date, the unsaved-changes line comparing the document's fingerprint.
void BM_TileSetAccount(benchmark::State& state) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    platform::Gadgets& g = ed.gadgets();
    int k = 0;
    for (auto _ : state) {
        state.PauseTiming();
        g.panel(editor::gadget::Panel).setState(0);
        // The textures' pictures checked first: that work of idle cycles is not this one's.
        for (int i = 0; i < 10'000 && ed.info.picturesPending; ++i) editor::RunCycle(ed);
        settle(ed);
        state.ResumeTiming();
        g.editableChoiceBox(editor::gadget::TileWidth).setText(std::to_string(16 + (++k % 200)));
        settle(ed);
    }
    if (g.label(editor::gadget::InfoChanges).text() != "Unsaved changes: yes")
        state.SkipWithError("the account did not follow the edit");
}

// ---- The tile palette ----
//
// Timed as the main thread's processor time (its own clock): what the palette costs the
// loop, the decoding threads apart, and the same on a machine busy with other work. The
// wall-clock time goes into a counter beside it.

using Clock = std::chrono::steady_clock;

double mainThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs `act` as one timed repetition: its main-thread time is the iteration's time, its
// wall-clock time is added up in `wall`.
template <class Act>
void timeOnMainThread(benchmark::State& state, double& wall, Act act) {
    const double start = mainThreadSeconds();
    const Clock::time_point began = Clock::now();
    act();
    state.SetIterationTime(mainThreadSeconds() - start);
    wall += std::chrono::duration<double>(Clock::now() - began).count();
}

void reportWall(benchmark::State& state, double wall) {
    state.counters["wall_ms"] = benchmark::Counter(wall * 1e3 / static_cast<double>(std::max<std::int64_t>(1, state.iterations())));
}

platform::CellGrid& paletteTiles(editor::Editor& ed) {
    return platform::CellGridOf(ed.gadgets(), editor::gadget::PaletteTiles);
}

// View > Tile Palette, as the menu item raises it.
void choosePalette(editor::Editor& ed) {
    ed.queue.push({platform::kEventMenu, editor::menu::Palette, 0});
    settle(ed);
}

// The filter field emptied as the user would, and nothing pending.
void emptyFilter(editor::Editor& ed) {
    ed.gadgets().textField(editor::gadget::PaletteFilter).setText("");
    settle(ed);
}

// The main window on its Tiles tab, where a click in the palette takes it. (On the TileSet
// tab its account checks the textures' pictures in the idle cycles: work of its own.)
void tilesTabInFront(editor::Editor& ed) {
    ed.gadgets().panel(editor::gadget::Panel).setState(3);
    settle(ed);
}

// The palette open on its Tiles page, with no filter.
void paletteReady(editor::Editor& ed) {
    tilesTabInFront(ed);
    if (!ed.palette.window || !ed.palette.window->isVisible()) choosePalette(ed);
    ed.gadgets().panel(editor::gadget::PalettePages).setState(0);
    emptyFilter(ed);
}

// A key typed into a widget, as the keyboard gives it.
void typeKey(QWidget* widget, Qt::Key key, const QString& text) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &up);
}

// The palette made and shown afresh, until it is painted (the pictures decode elsewhere).
void BM_PaletteOpen(benchmark::State& state) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    double wall = 0;
    tilesTabInFront(ed);
    for (auto _ : state) {
        ed.palette.window.reset();
        settle(ed);
        timeOnMainThread(state, wall, [&] { choosePalette(ed); });
    }
    reportWall(state, wall);
    if (!ed.palette.window || paletteTiles(ed).cellCount() == 0) state.SkipWithError("the palette shows no tiles");
}

// The Tiles page scrolled by a screen and painted.
void BM_PaletteScroll(benchmark::State& state) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    paletteReady(ed);
    QScrollBar* bar = qobject_cast<QAbstractScrollArea*>(paletteTiles(ed).widget())->verticalScrollBar();
    double wall = 0;
    for (auto _ : state) {
        if (bar->value() + bar->pageStep() > bar->maximum()) {
            bar->setValue(0);
            settle(ed);
        }
        timeOnMainThread(state, wall, [&] {
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            settle(ed);
        });
    }
    reportWall(state, wall);
}

// A click on a tile on screen: the Tiles tab follows (its row selected, its fields and
// preview loaded).
void BM_PaletteClick(benchmark::State& state) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    paletteReady(ed);
    platform::CellGrid& tiles = paletteTiles(ed);
    QWidget* viewport = qobject_cast<QAbstractScrollArea*>(tiles.widget())->viewport();
    int k = 0;
    double wall = 0;
    for (auto _ : state) {
        const std::size_t first = tiles.firstVisible();
        const std::size_t shown = std::max<std::size_t>(1, tiles.endVisible() - first);
        const platform::Rect r = tiles.cellRect(first + static_cast<std::size_t>(7 * ++k) % shown);
        const QPointF at(r.x + r.width / 2.0, r.y + r.height / 2.0);
        QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        timeOnMainThread(state, wall, [&] {
            QApplication::sendEvent(viewport, &press);
            QApplication::sendEvent(viewport, &release);
            settle(ed);
        });
    }
    reportWall(state, wall);
    if (ed.gadgets().listView(editor::gadget::TilesList).selectedRow() < 0) state.SkipWithError("no row followed");
}

// The first key typed into the empty filter ("7": a scan of every tile). Reported: the
// longest stretch of the main thread in one cycle from the key until the filter is done;
// the counters hold the main thread's whole time, the wall-clock time and the cycles.
void BM_PaletteFilterKey(benchmark::State& state) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    paletteReady(ed);
    platform::CellGrid& tiles = paletteTiles(ed);
    auto* field = qobject_cast<QLineEdit*>(ed.gadgets().textField(editor::gadget::PaletteFilter).widget());
    double total = 0;
    double wall = 0;
    double cycles = 0;
    for (auto _ : state) {
        emptyFilter(ed);
        field->setFocus();
        double longest = 0;
        const Clock::time_point began = Clock::now();
        double start = mainThreadSeconds();
        typeKey(field, Qt::Key_7, QStringLiteral("7"));
        for (int i = 0; i < 100000; ++i) {
            editor::RunCycle(ed);
            const double now = mainThreadSeconds();
            longest = std::max(longest, now - start);
            total += now - start;
            start = now;
            cycles += 1;
            if (!tiles.filtering() && ed.frame.events.empty() && ed.queue.empty()) break;
        }
        wall += std::chrono::duration<double>(Clock::now() - began).count();
        state.SetIterationTime(longest);
    }
    if (tiles.filter() != "7" || tiles.filtering()) state.SkipWithError("the filter did not finish");
    const auto n = static_cast<double>(std::max<std::int64_t>(1, state.iterations()));
    state.counters["done_ms"] = benchmark::Counter(total * 1e3 / n);
    state.counters["wall_ms"] = benchmark::Counter(wall * 1e3 / n);
    state.counters["cycles"] = benchmark::Counter(cycles / n);
}

std::size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// What the palette adds to the heap, per tile: made afresh, shown, then at its largest:
// two filters one after the other (a scan's buffer kept beside the shown cells) and every
// shown tile selected. What it takes whatever the number of tiles (the window, its
// widgets and the window system's picture of it) is measured when it has just opened and
// counted apart, as are the decoded pictures (a cache of at most 128 MiB).
void BM_PaletteMemory(benchmark::State& state) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    const std::size_t tileCount = document::LookUpTileGroup(ed.doc(), document::kTileGroup)->tiles.size();
    tilesTabInFront(ed);
    for (auto _ : state) {
        ed.palette.window.reset();
        settle(ed);
        malloc_trim(0);
        const std::size_t before = heapInUse();
        choosePalette(ed);
        platform::CellGrid& tiles = paletteTiles(ed);
        // Just opened, the one thing it holds per tile is the selection's bit.
        const double fixed = static_cast<double>(heapInUse()) - static_cast<double>(before) -
                             static_cast<double>(tiles.pictureBytes()) - static_cast<double>(tileCount) / 8;
        for (const char* filter : {"7", "70"}) {
            ed.gadgets().textField(editor::gadget::PaletteFilter).setText(filter);
            for (int i = 0; i < 100000 && (tiles.filtering() || !ed.queue.empty()); ++i) editor::RunCycle(ed);
        }
        tiles.widget()->setFocus();
        QKeyEvent all(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
        QApplication::sendEvent(tiles.widget(), &all);
        settle(ed);
        const std::size_t after = heapInUse();
        const std::size_t pictures = tiles.pictureBytes();
        const double added = static_cast<double>(after) - static_cast<double>(before) - static_cast<double>(pictures);
        state.SetIterationTime(0);
        state.counters["bytes_per_tile"] = benchmark::Counter((added - fixed) / static_cast<double>(tileCount));
        state.counters["all_in_per_tile"] = benchmark::Counter(added / static_cast<double>(tileCount));
        state.counters["fixed_mib"] = benchmark::Counter(fixed / (1 << 20));
        state.counters["picture_mib"] = benchmark::Counter(static_cast<double>(pictures) / (1 << 20));
        state.counters["selected"] = benchmark::Counter(static_cast<double>(tiles.selectedCount()));
        emptyFilter(ed);
    }
}

// The recovery copy of the loaded set after one change, written in slices in idle cycles:
// the figure is the longest time one cycle spent on it (the main thread's longest stop),
// not the time the whole copy took.
void BM_RecoveryCopySlice(benchmark::State& state) {
    if (!ready(state)) return;
    editor::Editor& ed = *g_editor;
    platform::Gadgets& g = ed.gadgets();
    ed.recovery.timing.quiet = std::chrono::milliseconds(0);
    ed.recovery.timing.longest = std::chrono::milliseconds(0);
    int k = 0;
    long long cycles = 0;
    double longestWork = 0;
    for (auto _ : state) {
        g.editableChoiceBox(editor::gadget::TileWidth).setText(std::to_string(16 + (++k % 200)));
        settle(ed);
        // Counted from the change on: the copy may begin while the account does its own idle
        // work, which comes first so that the unsaved-changes answer is known.
        ed.recovery.longestSlice = std::chrono::nanoseconds(0);
        ed.recovery.longestSliceWork = std::chrono::nanoseconds(0);
        for (int i = 0; i < 10'000 && (ed.info.tilesPending || ed.info.picturesPending); ++i) editor::RunCycle(ed);
        for (int i = 0; i < 100'000 && !ed.recovery.upToDate(ed.session); ++i) {
            editor::RunCycle(ed);
            ++cycles;
            if (i % 64 == 63) ed.recovery.waitForFinish();
        }
        ed.recovery.waitForFinish();
        state.SetIterationTime(std::chrono::duration<double>(ed.recovery.longestSlice).count());
        longestWork = std::max(longestWork, std::chrono::duration<double, std::milli>(ed.recovery.longestSliceWork).count());
    }
    if (!ed.recovery.upToDate(ed.session)) state.SkipWithError("the copy was not brought up to date");
    state.counters["work_ms"] = longestWork;
    state.counters["cycles"] = benchmark::Counter(static_cast<double>(cycles) / static_cast<double>(state.iterations()));
}

}  // namespace

BENCHMARK(BM_LoadAlone)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_RefreshGadgets)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);
BENCHMARK(BM_TilesAdd)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);
BENCHMARK(BM_TilesSort)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_TilesUpdate)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);
BENCHMARK(BM_TilesDelete)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);
BENCHMARK(BM_TilesUndoDelete)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);
BENCHMARK(BM_TilesRedoDelete)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);
BENCHMARK(BM_TilesUndoSort)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_TilesRedoSort)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_TilesSetMaterialOfMany)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);
BENCHMARK(BM_TilesDeleteMany)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);
BENCHMARK(BM_TileSetAccount)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);
BENCHMARK(BM_RecoveryCopySlice)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3)->Repetitions(3);
BENCHMARK(BM_MaterialsAdd)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);
BENCHMARK(BM_MaterialsUpdate)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);
BENCHMARK(BM_MaterialsDelete)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);
BENCHMARK(BM_PaletteOpen)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3)->Repetitions(5);
BENCHMARK(BM_PaletteScroll)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5)->Repetitions(5);
BENCHMARK(BM_PaletteClick)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5)->Repetitions(5);
BENCHMARK(BM_PaletteFilterKey)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3)->Repetitions(5);
BENCHMARK(BM_PaletteMemory)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(1);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    // The recovery copies go to a folder of the run's own, removed at the end.
    std::string stateHome = (std::filesystem::temp_directory_path() / "marquetor-bench-XXXXXX").string();
    if (::mkdtemp(stateHome.data()) == nullptr) return 1;
    ::setenv("XDG_STATE_HOME", stateHome.c_str(), 1);

    const char* file = std::getenv("MARQUETOR_BENCH_FILE");
    g_file = file && *file ? file : nullptr;
    platform::ScriptedDialogs dialogs;
    auto ed = std::make_unique<editor::Editor>(dialogs);
    if (!editor::StartEditor(*ed, "")) {
        std::fprintf(stderr, "marquetor_bench_editor: the main window could not be opened\n");
        return 1;
    }
    ed->frame.idleDelay = 0;   // the cycles here measure work, not the idle sleep
    g_dialogs = &dialogs;
    g_editor = ed.get();
    if (g_file) openLargeFile(*ed);   // the other figures work on the loaded set

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_editor = nullptr;
    ed.reset();
    std::error_code ignored;
    std::filesystem::remove_all(stateHome, ignored);
    return 0;
}
