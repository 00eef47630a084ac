// The cell grid on its own, over a source of a million cells that counts what it is asked:
// painting and scrolling read only the cells on screen, and the filter's rule.

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include "platform/cellgrid.h"
#include "platform/cellsource.h"
#include "platform/events.h"
#include "platform/toolwindow.h"
#include "platform/window.h"

namespace platform = marquetor::platform;

namespace {

// Cell n reads "cell n"; every hundredth has a picture, of ten different ones.
class CountingCells final : public platform::CellSource {
public:
    explicit CountingCells(std::size_t count) : m_count(count) {}
    std::size_t cellCount() const override { return m_count; }
    std::string caption(std::size_t cell, int) const override {
        note(cell);
        return "cell " + std::to_string(cell);
    }
    std::string tooltip(std::size_t cell) const override {
        note(cell);
        return "cell " + std::to_string(cell);
    }
    platform::CellLook look(std::size_t cell) const override {
        note(cell);
        platform::CellLook look;
        look.picture = cell % 100 == 0 ? 1 + cell % 1000 / 100 : 0;
        return look;
    }
    std::span<const std::uint8_t> pictureBytes(std::uint64_t) const override {
        ++bytesAsked;
        return {};
    }
    bool matches(std::size_t cell, const platform::TextMatcher& matcher) const override {
        return matcher.matchesNumber(static_cast<std::int64_t>(cell));
    }

    void note(std::size_t cell) const {
        ++calls;
        asked.insert(cell);
    }
    mutable std::size_t calls = 0;
    mutable std::size_t bytesAsked = 0;
    mutable std::set<std::size_t> asked;

private:
    std::size_t m_count;
};

class CellGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(main.open({"cell grid test", 512, 768}));
        tool.create(main, {"cells", 640, 480});
        grid = &tool.addCellGrid(1);
        auto source = std::make_unique<CountingCells>(1'000'000);
        cells = source.get();
        grid->setSource(std::move(source));
        tool.show(1);
        settle();
    }
    void settle() {
        for (int i = 0; i < 20; ++i) {
            platform::ProcessPendingToolkitEvents();
            queue.clear();
        }
    }
    QAbstractScrollArea* area() { return qobject_cast<QAbstractScrollArea*>(grid->widget()); }
    // Every cell asked for since the last look lies on screen now.
    void expectOnlyVisibleAsked() {
        const std::size_t first = grid->firstVisible();
        const std::size_t end = grid->endVisible();
        ASSERT_FALSE(cells->asked.empty());
        EXPECT_GE(*cells->asked.begin(), first);
        EXPECT_LT(*cells->asked.rbegin(), end);
        EXPECT_LE(cells->asked.size(), end - first);
        cells->asked.clear();
    }

    platform::EventQueue queue;
    platform::Window main{queue};
    platform::ToolWindow tool{queue, main.gadgets()};
    platform::CellGrid* grid = nullptr;
    CountingCells* cells = nullptr;
};

}  // namespace

TEST_F(CellGridTest, AMillionCellsAreReadOnlyWhereTheyAreShown) {
    EXPECT_EQ(grid->cellCount(), 1'000'000u);
    EXPECT_EQ(grid->shownCount(), 1'000'000u);
    const std::size_t onScreen = grid->endVisible() - grid->firstVisible();
    EXPECT_GT(onScreen, 10u);
    EXPECT_LT(onScreen, 500u);
    expectOnlyVisibleAsked();
    // Each paint reads each cell's picture key and caption once.
    EXPECT_LE(cells->calls, 20 * onScreen);

    // A screen further down: only the cells now shown are read.
    cells->calls = 0;
    area()->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    settle();
    EXPECT_GT(grid->firstVisible(), 0u);
    expectOnlyVisibleAsked();
    EXPECT_LE(cells->calls, 20 * onScreen);

    // The last cell, by key: the grid goes there without reading what lies between.
    cells->calls = 0;
    grid->setCurrentCell(0);
    QTest::keyClick(grid->widget(), Qt::Key_End);
    settle();
    EXPECT_EQ(grid->currentCell(), 999'999);
    EXPECT_EQ(grid->endVisible(), 1'000'000u);
    expectOnlyVisibleAsked();
    EXPECT_LE(cells->calls, 20 * onScreen);
    // Ctrl+A selects them all at a bit each, without reading one.
    cells->calls = 0;
    QTest::keyClick(grid->widget(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(grid->selectedCount(), 1'000'000u);
    EXPECT_TRUE(grid->isSelected(123'456));
    settle();
    EXPECT_LE(cells->calls, 20 * onScreen);

    // Pictures: the ten keys on screen or not, each picture's bytes asked once at most.
    EXPECT_LE(cells->bytesAsked, 10u);
}

TEST_F(CellGridTest, AFilterOverAMillionCellsScansInSlicesBetweenCycles) {
    grid->setFilter("77777");
    // The first slice ran at once; the rest comes in later passes of the toolkit's loop.
    EXPECT_TRUE(grid->filtering());
    EXPECT_EQ(grid->shownCount(), 1'000'000u);   // the cells shown stay until it is done
    for (int i = 0; i < 1000 && grid->filtering(); ++i) platform::ProcessPendingToolkitEvents();
    ASSERT_FALSE(grid->filtering());
    // 77777, 177777, ..., 977777 and 777770 .. 777779.
    std::size_t expected = 0;
    for (int n = 0; n < 1'000'000; ++n) expected += std::to_string(n).find("77777") != std::string::npos;
    EXPECT_EQ(grid->shownCount(), expected);
    EXPECT_EQ(grid->shownCell(0), 77777);
    // Typed further: only what was found is looked at, and it is done at once.
    grid->setFilter("777777");
    EXPECT_FALSE(grid->filtering());
    EXPECT_EQ(grid->shownCount(), 1u);
    EXPECT_EQ(grid->shownCell(0), 777777);
    // Space never selects the current cell while the filter hides it.
    grid->setCurrentCell(5);
    grid->clearSelection();
    QTest::keyClick(grid->widget(), Qt::Key_Space);
    EXPECT_EQ(grid->selectedCount(), 0u);
    QTest::keyClick(grid->widget(), Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(grid->selectedCount(), 0u);
    grid->setFilter("");
    EXPECT_EQ(grid->shownCount(), 1'000'000u);
}

TEST(TextMatcher, MatchesTextsIgnoringCaseAsTheyAreShown) {
    const platform::TextMatcher ascii("GrAs", 1);
    EXPECT_TRUE(ascii.matches("grass.png"));
    EXPECT_TRUE(ascii.matches("Tall GRASS"));
    EXPECT_FALSE(ascii.matches("gra"));
    EXPECT_FALSE(ascii.matches("stone"));
    EXPECT_FALSE(ascii.matchesNumber(1234));
    // Beyond ASCII: Unicode case folding, on UTF-8 and on Windows-1252 bytes alike.
    const platform::TextMatcher umlaut("\xC3\x84S", 2);   // "ÄS"
    EXPECT_TRUE(umlaut.matches("k\xC3\xA4se"));          // "käse" in UTF-8
    EXPECT_TRUE(umlaut.matches("K\xE4SE"));              // "KÄSE" in Windows-1252
    EXPECT_FALSE(umlaut.matches("kase"));
    // Numbers by their decimal text, the sign included.
    const platform::TextMatcher number("-12", 3);
    EXPECT_TRUE(number.matchesNumber(-123));
    EXPECT_FALSE(number.matchesNumber(123));
    EXPECT_TRUE(platform::TextMatcher().matches("anything"));
    // Narrowing: a text that holds the other's, whatever the case.
    EXPECT_TRUE(platform::TextMatcher("grass", 4).narrows(platform::TextMatcher("RAS", 5)));
    EXPECT_FALSE(platform::TextMatcher("gra", 4).narrows(platform::TextMatcher("grass", 5)));
}
