// List views and choice boxes that read their rows from a row source, through the real
// widgets: what a rebuild shows, what a row refresh touches, the bytes and letter-case
// rules of the choice box, and that a huge drop-down never asks for every entry.
#include <QAbstractItemView>
#include <QComboBox>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/events.h"
#include "platform/gadgets.h"
#include "platform/window.h"

namespace mp = marquetor::platform;

namespace {

// Rows the test changes behind the list's back, as the document changes behind the
// editor's lists; counts what the widgets ask for.
class TestRows final : public mp::RowSource {
public:
    std::vector<std::vector<std::string>> rows;
    std::size_t generated = 0;   // > 0: that many rows "row N" instead of `rows`
    mutable std::size_t asked = 0;

    std::size_t rowCount() const override { return generated ? generated : rows.size(); }
    std::string cellText(std::size_t row, int column) const override {
        ++asked;
        if (generated) return row < generated && column == 0 ? "row " + std::to_string(row) : std::string();
        if (row >= rows.size() || column < 0 || static_cast<std::size_t>(column) >= rows[row].size()) return {};
        return rows[row][static_cast<std::size_t>(column)];
    }
};

class RowSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<mp::Window>(queue);
        ASSERT_TRUE(window->open({"Row source test", 512, 768}));
        ASSERT_TRUE(QTest::qWaitForWindowActive(window->widget()));
    }
    void TearDown() override {
        window.reset();
        mp::ProcessPendingToolkitEvents();
    }
    // Gadget events raised since the last call.
    int events() {
        mp::ProcessPendingToolkitEvents();
        int n = 0;
        for (; !queue.empty(); queue.pop()) ++n;
        return n;
    }

    mp::EventQueue queue;
    std::unique_ptr<mp::Window> window;
};

QTableView* tableOf(const mp::ListView& list) { return static_cast<QTableView*>(list.widget()); }

// The text the view is given to paint for a cell.
std::string shown(const mp::ListView& list, int row, int column) {
    const QAbstractItemModel* model = tableOf(list)->model();
    return model->data(model->index(row, column), Qt::DisplayRole).toString().toStdString();
}

std::vector<std::string> firstColumn(const mp::ListView& list) {
    std::vector<std::string> cells;
    for (int r = 0; r < list.rowCount(); ++r) cells.push_back(shown(list, r, 0));
    return cells;
}

}  // namespace

TEST_F(RowSourceTest, ListShowsItsSourceWholeAfterEachRebuildWithNothingSelected) {
    mp::ListView& list = window->createListView(23, {16, 16, 208, 512}, {{"ID", 32}, {"Texture", 128}},
                                                {true, true, false});
    auto owned = std::make_unique<TestRows>();
    TestRows& rows = *owned;
    rows.rows = {{"1", "grass.png"}, {"2", "w\xE4ter.png"}, {"3", "stone.png"}};
    list.setSource(std::move(owned));
    EXPECT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.cellText(1, 1), "w\xE4ter.png");   // the source's bytes
    EXPECT_EQ(shown(list, 1, 1), "w\xC3\xA4ter.png");   // shown as Windows-1252
    EXPECT_EQ(list.cellText(3, 0), "");                  // past the rows

    list.selectRow(2);
    events();
    // The collection changes behind the list: a row in front, one gone at the end.
    rows.rows = {{"0", "sand.png"}, {"1", "grass.png"}, {"2", "w\xE4ter.png"}};
    rows.rows.push_back({"4", "moss.png"});
    list.rebuild();
    EXPECT_EQ(list.rowCount(), 4);
    EXPECT_EQ(firstColumn(list), (std::vector<std::string>{"0", "1", "2", "4"}));
    EXPECT_EQ(list.selectedRow(), -1);
    EXPECT_EQ(tableOf(list)->selectionModel()->selectedIndexes().size(), 0);

    // A source that shrank before the rebuild: the rows it no longer holds show nothing,
    // and painting them is safe.
    rows.rows.resize(1);
    EXPECT_EQ(list.cellText(3, 1), "");
    EXPECT_FALSE(tableOf(list)->grab().isNull());
    list.rebuild();
    EXPECT_EQ(list.rowCount(), 1);

    // Texts handed over replace the source; a source set again replaces those.
    list.setRows({"7\na.png"});
    EXPECT_EQ(list.cellText(0, 1), "a.png");
    auto again = std::make_unique<TestRows>();
    again->generated = 1'000'000;
    list.setSource(std::move(again));
    EXPECT_EQ(list.rowCount(), 1'000'000);
    list.selectRow(999'999);
    EXPECT_EQ(list.rowText(999'999), "row 999999");
    EXPECT_EQ(list.selectedRow(), 999'999);
}

TEST_F(RowSourceTest, RefreshingARowRepaintsThatRowAndKeepsTheSelection) {
    mp::ListView& list = window->createListView(23, {16, 16, 208, 512}, {{"ID", 32}, {"Texture", 128}, {"Layer", 48}},
                                                {true, true, false});
    auto owned = std::make_unique<TestRows>();
    TestRows& rows = *owned;
    rows.rows = {{"1", "a.png", "0"}, {"2", "b.png", "0"}, {"3", "c.png", "0"}};
    list.setSource(std::move(owned));
    list.selectRow(1);
    events();

    QSignalSpy changed(tableOf(list)->model(), &QAbstractItemModel::dataChanged);
    rows.rows[1] = {"2", "moss.png", "12"};
    list.refreshRow(1);
    ASSERT_EQ(changed.count(), 1);
    const auto from = changed.at(0).at(0).value<QModelIndex>();
    const auto to = changed.at(0).at(1).value<QModelIndex>();
    EXPECT_EQ(from.row(), 1);
    EXPECT_EQ(to.row(), 1);
    EXPECT_EQ(from.column(), 0);
    EXPECT_EQ(to.column(), 2);   // every cell of the row
    EXPECT_EQ(shown(list, 1, 1), "moss.png");
    EXPECT_EQ(shown(list, 1, 2), "12");
    EXPECT_EQ(list.selectedRow(), 1);
    EXPECT_EQ(list.rowCount(), 3);
    EXPECT_EQ(events(), 0);   // no selection event: nothing was rebuilt

    list.refreshRow(3);   // no such row: nothing
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(RowSourceTest, ChoiceBoxKeepsTheBytesAndTheLetterCaseRules) {
    mp::ChoiceBox& box = window->createChoiceBox(27, {260, 308, 216, 20});
    auto owned = std::make_unique<TestRows>();
    TestRows& rows = *owned;
    // "stone" before "Stone"; a Windows-1252 name; a KELVIN SIGN that folds to "k".
    rows.rows = {{"Grass"}, {"stone"}, {"Stone"}, {"Caf\xE9"}, {"\xE2\x84\xAAiln"}};
    box.setSource(std::move(owned));
    auto* combo = static_cast<QComboBox*>(box.widget());
    EXPECT_EQ(box.count(), 5);
    EXPECT_EQ(box.state(), -1);   // nothing chosen, although Qt chooses the first entry of a new model
    EXPECT_EQ(box.text(), "");
    EXPECT_EQ(combo->itemText(3).toStdString(), "Caf\xC3\xA9");

    box.setText("STONE");   // the first entry equal ignoring case
    EXPECT_EQ(box.state(), 1);
    EXPECT_TRUE(box.chooseExactly("Stone"));   // the exact bytes
    EXPECT_EQ(box.state(), 2);
    EXPECT_FALSE(box.chooseExactly("STONE"));
    EXPECT_EQ(box.state(), 2);
    box.setText("CAF\xC9");   // Windows-1252 capital E acute
    EXPECT_EQ(box.state(), 3);
    EXPECT_EQ(box.text(), "Caf\xE9");   // the original bytes, not their UTF-8
    box.setText("kiln");   // Unicode case folding, as the texts are shown
    EXPECT_EQ(box.state(), 4);
    EXPECT_EQ(box.text(), "\xE2\x84\xAAiln");
    box.setText("Sand");   // no such entry: the choice stays
    EXPECT_EQ(box.state(), 4);
    box.setState(0);
    EXPECT_EQ(events(), 0);   // the program's changes raise nothing

    // The collection changes: after the rebuild the box offers it as it is, nothing chosen,
    // no event.
    rows.rows.insert(rows.rows.begin(), {"Ash"});
    box.rebuild();
    EXPECT_EQ(box.count(), 6);
    EXPECT_EQ(box.itemText(0), "Ash");
    EXPECT_EQ(box.itemText(4), "Caf\xE9");
    EXPECT_EQ(box.state(), -1);
    EXPECT_EQ(events(), 0);

    // The user's choice is reported.
    box.setState(0);
    box.setFocus();
    QTest::keyClick(box.widget(), Qt::Key_Down);
    EXPECT_EQ(box.text(), "Grass");
    EXPECT_EQ(events(), 1);
}

TEST_F(RowSourceTest, AMillionEntryDropDownOpensAskingOnlyForWhatItShows) {
    mp::ChoiceBox& box = window->createChoiceBox(26, {306, 238, 128, 20});
    auto owned = std::make_unique<TestRows>();
    TestRows& rows = *owned;
    rows.generated = 1'000'000;
    box.setSource(std::move(owned));
    box.setState(500'000);
    auto* combo = static_cast<QComboBox*>(box.widget());
    rows.asked = 0;
    combo->showPopup();
    mp::ProcessPendingToolkitEvents();
    EXPECT_TRUE(combo->view()->isVisible());
    EXPECT_EQ(combo->view()->currentIndex().row(), 500'000);
    // Measuring every entry (as a drop-down laid over the box does) would ask a million times.
    EXPECT_LT(rows.asked, 1000u);
    combo->hidePopup();
    EXPECT_EQ(box.text(), "row 500000");
}

namespace {

// A million entries, one of them far longer than the rest; the source names it as its
// longest (as the editor's sources do from their names' lengths).
class OneLongRow final : public mp::RowSource {
public:
    static constexpr std::size_t kLong = 654'321;
    mutable std::size_t asked = 0;
    std::size_t rowCount() const override { return 1'000'000; }
    std::string cellText(std::size_t row, int) const override {
        ++asked;
        return row == kLong ? "row " + std::to_string(row) + " with a name much longer than its box is wide"
                            : "row " + std::to_string(row);
    }
    std::vector<std::size_t> longestRows(std::size_t count) const override {
        return count > 0 ? std::vector<std::size_t>{kLong, 999'999} : std::vector<std::size_t>{};
    }
};

}  // namespace

TEST_F(RowSourceTest, AMillionEntryDropDownOpensAsWideAsItsLongestEntryMeasuringOnlyThat) {
    mp::ChoiceBox& box = window->createChoiceBox(26, {306, 238, 128, 20});
    auto owned = std::make_unique<OneLongRow>();
    OneLongRow& rows = *owned;
    box.setSource(std::move(owned));
    auto* combo = static_cast<QComboBox*>(box.widget());
    rows.asked = 0;
    combo->showPopup();
    mp::ProcessPendingToolkitEvents();
    QAbstractItemView* list = combo->view();
    ASSERT_TRUE(list->isVisible());
    EXPECT_LT(rows.asked, 1000u);
    const QModelIndex longest = combo->model()->index(static_cast<int>(OneLongRow::kLong), 0);
    EXPECT_GE(list->viewport()->width(), list->sizeHintForIndex(longest).width());
    EXPECT_GT(list->window()->width(), 128);
    combo->hidePopup();
}
