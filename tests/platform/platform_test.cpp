// The platform layer through the real widgets: what the user does and what the program
// sets must reach the event queue exactly as the editor's loop expects.
#include <QApplication>
#include <QBuffer>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "platform/dialogs.h"
#include "platform/events.h"
#include "platform/gadgets.h"
#include "platform/image.h"
#include "platform/textcodec.h"
#include "platform/window.h"
#include "tempfolder.h"

namespace mp = marquetor::platform;

namespace {

// "513" for a mouse button, "g4" for a gadget event of gadget 4, "m2" for menu item 2.
std::string describe(const mp::FrameEvent& e) {
    if (e.kind == mp::kEventGadget) return "g" + std::to_string(e.gadget);
    if (e.kind == mp::kEventMenu) return "m" + std::to_string(e.menuItem);
    return std::to_string(e.kind);
}

using Events = std::vector<std::string>;

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<mp::Window>(queue);
        ASSERT_TRUE(window->open({"Platform test", 512, 768}));
        ASSERT_TRUE(QTest::qWaitForWindowActive(window->widget()));
    }

    void TearDown() override {
        window.reset();
        mp::ProcessPendingToolkitEvents();
    }

    // Lets Qt finish what is pending, then takes every queued event.
    Events events() {
        mp::ProcessPendingToolkitEvents();
        Events out;
        while (!queue.empty()) out.push_back(describe(queue.pop()));
        return out;
    }

    void forget() { events(); }

    mp::Gadgets& gadgets() { return window->gadgets(); }

    mp::EventQueue queue;
    std::unique_ptr<mp::Window> window;
};

QTableView* tableOf(const mp::Gadget& g) { return static_cast<QTableView*>(g.widget()); }

QPoint cellCentre(const mp::Gadget& g, int row, int column) {
    QTableView* view = tableOf(g);
    return view->visualRect(view->model()->index(row, column)).center();
}

QString shownCell(const mp::Gadget& g, int row, int column) {
    QTableView* view = tableOf(g);
    return view->model()->index(row, column).data().toString();
}

// Runs `act` on the first modal dialog that appears (the caller then opens one).
class WhenModal {
public:
    explicit WhenModal(std::function<void(QWidget*)> act) : m_act(std::move(act)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || !modal->isVisible()) return;
            m_timer.stop();
            m_act(modal);
            // A dialog the test failed to close would block the run for good.
            if (QApplication::activeModalWidget() == modal && modal->isVisible()) {
                ADD_FAILURE() << "the dialog is still open";
                if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
            }
        });
        m_timer.start(10);
    }

private:
    std::function<void(QWidget*)> m_act;
    QTimer m_timer;
};


// What the user types into a file requester's name field.
void typeFileName(QFileDialog* dialog, const QString& name) {
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClicks(edit, name);
}

}  // namespace

TEST(TextCodec, Utf8IsShownAsUtf8AndOtherBytesAsWindows1252) {
    using namespace mp::textcodec;
    EXPECT_TRUE(isValidUtf8("plain"));
    EXPECT_TRUE(isValidUtf8("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("Caf\xE9"));               // Windows-1252 e acute
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));              // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));          // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));      // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));              // cut short

    EXPECT_EQ(fromBytes("Caf\xC3\xA9"), QString::fromUtf8("Café"));
    EXPECT_EQ(fromBytes("Caf\xE9"), QString::fromUtf8("Café"));
    EXPECT_EQ(fromBytes("\x80 \x99 \x9F"), QString::fromUtf8("€ ™ Ÿ"));
    EXPECT_EQ(fromBytes("\x81"), QString(QChar(0x81)));
    EXPECT_EQ(fromBytes(std::string("a\0b", 3)).size(), 3);
    EXPECT_EQ(toBytes(QString::fromUtf8("Café €")), "Caf\xC3\xA9 \xE2\x82\xAC");
}

TEST_F(PlatformTest, TextFieldGivesBackUneditedBytesAndTypedTextAsUtf8) {
    mp::TextField& field = window->createTextField(5, {10, 10, 200, 20}, "");
    auto* edit = static_cast<QLineEdit*>(field.widget());

    field.setText("Caf\xE9");   // written on a Windows-1252 system
    EXPECT_EQ(edit->text(), QString::fromUtf8("Café"));
    EXPECT_EQ(field.text(), "Caf\xE9");

    field.setText("Caf\xC3\xA9");
    EXPECT_EQ(field.text(), "Caf\xC3\xA9");

    field.setText("Caf\xE9");
    edit->setFocus();
    edit->end(false);
    QTest::keyClicks(edit, "!");
    EXPECT_EQ(field.text(), "Caf\xC3\xA9!");
    // Back to the text shown for the original bytes: those bytes again.
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(field.text(), "Caf\xE9");

    mp::Label& label = window->createTextLabel(18, {10, 40, 128, 20}, "", true);
    label.setText("\x93quoted\x94");
    EXPECT_EQ(static_cast<QLabel*>(label.widget())->text(), QString::fromUtf8("“quoted”"));
    EXPECT_EQ(label.text(), "\x93quoted\x94");
    EXPECT_TRUE(static_cast<QLabel*>(label.widget())->alignment() & Qt::AlignHCenter);
}

TEST_F(PlatformTest, TextFieldReportsEveryChangeAndFocus) {
    mp::TextField& name = window->createTextField(5, {10, 10, 200, 20}, "start");
    mp::TextField& red = window->createTextField(8, {10, 40, 72, 20}, "0", true);
    EXPECT_EQ(red.text(), "0");
    EXPECT_EQ(name.text(), "start");
    forget();

    red.setText("12");   // the program's own change is reported too
    EXPECT_EQ(events(), (Events{"g8"}));
    red.setText("12");   // no change, no event
    EXPECT_EQ(events(), Events{});

    red.setFocus();
    EXPECT_EQ(events(), (Events{"g8"}));
    name.setFocus();
    EXPECT_EQ(events(), (Events{"g8", "g5"}));

    auto* redEdit = static_cast<QLineEdit*>(red.widget());
    redEdit->selectAll();
    QTest::keyClicks(redEdit, "3x4-5 ");
    EXPECT_EQ(red.text(), "345");   // digits only: the rest is refused
    EXPECT_EQ(events(), (Events{"g8", "g8", "g8"}));

    QTest::keyClicks(static_cast<QLineEdit*>(name.widget()), "ab");
    EXPECT_EQ(name.text(), "startab");
    EXPECT_EQ(events(), (Events{"g5", "g5"}));

    // No length limit on digits.
    red.setText("");
    QTest::keyClicks(redEdit, "12345678901234567890");
    EXPECT_EQ(red.text(), "12345678901234567890");
}

TEST_F(PlatformTest, ListViewReportsUserClicksAndEveryChangeOfTheSelection) {
    mp::ListView& list = window->createListView(4, {16, 16, 208, 300}, {{"Material", 128}, {"Color", 96}},
                                                {true, true, true});
    list.setRows({"Stone\nR1 G2 B3", "Grass\nR4 G5 B6", "Water\nR7 G8 B9"});
    EXPECT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.selectedRow(), -1);
    EXPECT_EQ(list.rowText(1), "Grass");
    EXPECT_EQ(list.cellText(1, 1), "R4 G5 B6");
    EXPECT_EQ(shownCell(list, 2, 1), "R7 G8 B9");
    forget();

    QWidget* viewport = tableOf(list)->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, cellCentre(list, 1, 1));
    EXPECT_EQ(list.selectedRow(), 1);
    EXPECT_EQ(events(), (Events{"513", "g4", "514", "g4"}));

    // The same row again: a click, no change of the selection.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, cellCentre(list, 1, 0));
    EXPECT_EQ(events(), (Events{"513", "514", "g4"}));

    QTest::mouseClick(viewport, Qt::RightButton, {}, cellCentre(list, 2, 0));
    EXPECT_EQ(list.selectedRow(), 2);
    EXPECT_EQ(events(), (Events{"516", "g4", "517", "g4"}));

    // A double click: press, release, double click, release.
    const QPoint row0 = cellCentre(list, 0, 0);
    QTest::mousePress(viewport, Qt::LeftButton, {}, row0);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, row0);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, row0);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, row0);
    EXPECT_EQ(list.selectedRow(), 0);
    EXPECT_EQ(events(), (Events{"513", "g4", "514", "g4", "g4", "514"}));

    // A click on the empty space below the rows clears the selection, as in a file list.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(8, tableOf(list)->visualRect(
                                                                 tableOf(list)->model()->index(2, 0)).bottom() + 10));
    EXPECT_EQ(list.selectedRow(), -1);
    EXPECT_EQ(events(), (Events{"513", "g4", "514", "g4"}));
    list.selectRow(0);
    forget();

    // The keyboard moves the selection.
    list.setFocus();
    QTest::keyClick(tableOf(list), Qt::Key_Down);
    EXPECT_EQ(list.selectedRow(), 1);
    EXPECT_EQ(events(), (Events{"g4"}));

    // The program's own selections are reported like the user's.
    list.selectRow(2);
    EXPECT_EQ(list.selectedRow(), 2);
    EXPECT_EQ(events(), (Events{"g4"}));
    list.selectRow(2);
    EXPECT_EQ(events(), Events{});
    list.selectRow(-1);
    EXPECT_EQ(list.selectedRow(), -1);
    EXPECT_EQ(events(), (Events{"g4"}));
    list.selectRow(-1);
    list.selectRow(7);   // no such row: nothing selected
    EXPECT_EQ(list.selectedRow(), -1);
    EXPECT_EQ(events(), Events{});
}

TEST_F(PlatformTest, ListViewRebuildsLeaveNothingSelectedAndCellsChangeAlone) {
    mp::ListView& list = window->createListView(23, {16, 16, 208, 512},
                                                {{"ID", 32}, {"Texture", 128}, {"Material", 64}, {"Layer", 48},
                                                 {"Collision", 64}},
                                                {true, true, false});
    list.addRow("1\ngrass.png\nGrass\n0\n0");
    list.addRow("2\nstone.png\nStone\n1\n1");
    list.addRow("3");   // a short row: the missing cells are empty
    EXPECT_EQ(list.cellText(2, 0), "3");
    EXPECT_EQ(list.cellText(2, 3), "");
    EXPECT_EQ(list.cellText(9, 0), "");

    list.selectRow(1);
    list.setCellText(1, 2, "Sand");
    EXPECT_EQ(list.cellText(1, 2), "Sand");
    EXPECT_EQ(list.cellText(1, 1), "stone.png");
    EXPECT_EQ(list.cellText(1, 3), "1");
    EXPECT_EQ(shownCell(list, 1, 2), "Sand");
    EXPECT_EQ(list.selectedRow(), 1);
    list.setCellText(2, 4, "5");
    EXPECT_EQ(list.cellText(2, 4), "5");
    EXPECT_EQ(list.cellText(2, 0), "3");

    forget();
    list.clear();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.selectedRow(), -1);

    std::vector<std::string> rows;
    for (int i = 0; i < 100000; ++i) rows.push_back(std::to_string(i) + "\nt.png\nm\n0\n" + std::to_string(i % 6));
    list.setRows(rows);
    list.selectRow(99999);
    EXPECT_EQ(list.selectedRow(), 99999);
    EXPECT_EQ(list.cellText(99999, 4), "3");
    EXPECT_EQ(shownCell(list, 99999, 0), "99999");
    list.setRows(std::move(rows));
    EXPECT_EQ(list.rowCount(), 100000);
    EXPECT_EQ(list.selectedRow(), -1);
    EXPECT_FALSE(tableOf(list)->grab().isNull());   // painting a screenful of many rows
    // Emptying a list is no selection event (the handlers read -1 afterwards anyway).
    EXPECT_EQ(events(), (Events{"g23"}));
}

TEST_F(PlatformTest, ListViewRowsFromOneBlock) {
    mp::ListView& list = window->createListView(23, {16, 16, 208, 512}, {{"ID", 32}, {"Texture", 128}, {"Material", 64}},
                                                {true, true, false});
    mp::RowTexts rows;
    rows.reserve(3, 64);
    rows.buffer() += "1\ngrass.png\nGrass";
    rows.endRow();
    rows.addRow("");   // an empty row is a row
    rows.addRow("3\nw\xE4ter.png\nWater");
    EXPECT_EQ(rows.size(), 3u);
    list.setRows(std::move(rows));
    EXPECT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.cellText(0, 1), "grass.png");
    EXPECT_EQ(list.cellText(1, 0), "");
    EXPECT_EQ(list.cellText(2, 1), "w\xE4ter.png");   // bytes kept as given
    EXPECT_EQ(shownCell(list, 2, 2), "Water");

    // A cell rewritten in place; the rows around it and rows added later stay as they were.
    list.setCellText(0, 2, "Sand");
    list.addRow("4\nx.png\nStone");
    EXPECT_EQ(list.cellText(0, 2), "Sand");
    EXPECT_EQ(list.cellText(0, 1), "grass.png");
    EXPECT_EQ(shownCell(list, 0, 2), "Sand");
    EXPECT_EQ(list.cellText(2, 0), "3");
    EXPECT_EQ(list.cellText(3, 2), "Stone");
    list.setCellText(3, 0, "40");
    EXPECT_EQ(list.rowText(3), "40");

    // A rebuild replaces everything, rewritten cells included.
    mp::RowTexts again;
    again.addRow("7\na\nb");
    list.setRows(std::move(again));
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.cellText(0, 2), "b");
    EXPECT_EQ(list.cellText(3, 0), "");
    list.setRows(std::vector<std::string>{"8\nc\nd", "9"});
    EXPECT_EQ(list.cellText(0, 1), "c");
    EXPECT_EQ(list.rowText(1), "9");
}

TEST_F(PlatformTest, ListViewSelectionOptions) {
    mp::ListView& rows = window->createListView(4, {0, 0, 200, 100}, {{"A", 60}, {"B", 60}}, {true, true, true});
    mp::ListView& first = window->createListView(16, {0, 110, 200, 100}, {{"Textures", 100}, {"B", 60}},
                                                 {false, false, true});
    mp::ListView& hidden = window->createListView(23, {0, 220, 200, 100}, {{"A", 60}, {"B", 60}}, {true, true, false});
    for (mp::ListView* l : {&rows, &first, &hidden}) l->setRows({"a\n1", "b\n2", "c\n3"});
    rows.selectRow(1);
    first.selectRow(1);
    hidden.selectRow(1);

    auto selected = [](const mp::ListView& l, int row, int column) {
        QTableView* view = tableOf(l);
        return view->selectionModel()->isSelected(view->model()->index(row, column));
    };
    EXPECT_TRUE(selected(rows, 1, 1));
    EXPECT_TRUE(selected(first, 1, 0));
    EXPECT_FALSE(selected(first, 1, 1));   // the selection covers the first column only
    EXPECT_EQ(first.selectedRow(), 1);
    EXPECT_TRUE(tableOf(first)->showGrid() == false);
    EXPECT_EQ(tableOf(rows)->horizontalHeader()->sectionSize(0), 60);
    EXPECT_FALSE(tableOf(rows)->verticalHeader()->isVisible());

    // Without the focus a list that keeps its selection visible paints the selected row
    // differently from the others; the one that hides it paints them alike.
    window->createTextField(5, {300, 0, 100, 20}, "").setFocus();
    auto rowColour = [](const mp::ListView& l, int row) {
        QTableView* view = tableOf(l);
        const QImage shot = view->viewport()->grab().toImage();
        return shot.pixelColor(view->visualRect(view->model()->index(row, 0)).topLeft() + QPoint(2, 2));
    };
    EXPECT_NE(rowColour(rows, 1), rowColour(rows, 0));
    EXPECT_EQ(rowColour(hidden, 1), rowColour(hidden, 0));
    EXPECT_EQ(hidden.selectedRow(), 1);
    hidden.setFocus();
    EXPECT_NE(rowColour(hidden, 1), rowColour(hidden, 0));
}

TEST_F(PlatformTest, ChoiceBoxChoosesIgnoringCaseWithoutEvents) {
    mp::ChoiceBox& box = window->createChoiceBox(27, {260, 308, 216, 20});
    EXPECT_EQ(box.state(), -1);
    box.addItem("Stone");
    EXPECT_EQ(box.state(), -1);   // adding chooses nothing
    box.setItems({"Grass", "stone", "Stone", "Caf\xE9"});
    EXPECT_EQ(box.count(), 4);
    EXPECT_EQ(box.state(), -1);
    EXPECT_EQ(box.text(), "");
    forget();

    box.setText("STONE");
    EXPECT_EQ(box.state(), 1);
    EXPECT_EQ(box.text(), "stone");
    box.setText("Sand");   // no such entry: the choice stays
    EXPECT_EQ(box.state(), 1);
    box.setText("CAF\xC9");   // Windows-1252 capital E acute
    EXPECT_EQ(box.state(), 3);
    EXPECT_EQ(box.text(), "Caf\xE9");
    EXPECT_EQ(box.itemText(3), "Caf\xE9");
    box.setText("");
    EXPECT_EQ(box.state(), -1);
    box.setState(2);
    EXPECT_EQ(box.text(), "Stone");
    box.setState(9);
    EXPECT_EQ(box.state(), -1);
    EXPECT_EQ(events(), Events{});

    // The user choosing an entry is reported.
    box.setState(0);
    box.setFocus();
    QTest::keyClick(box.widget(), Qt::Key_Down);
    EXPECT_EQ(box.state(), 1);
    EXPECT_EQ(events(), (Events{"g27"}));

    box.clear();
    EXPECT_EQ(box.count(), 0);
    EXPECT_EQ(box.state(), -1);
    EXPECT_EQ(box.text(), "");
}

TEST_F(PlatformTest, EditableChoiceBoxReportsEveryNotification) {
    mp::EditableChoiceBox& box = window->createEditableChoiceBox(2, {28, 36, 200, 20}, 350);
    for (int n = 2; n <= 16; ++n) box.addItem(std::to_string(16 * n));
    EXPECT_EQ(box.count(), 15);
    EXPECT_EQ(box.text(), "");   // adding items leaves the text alone
    auto* combo = static_cast<QComboBox*>(box.widget());
    EXPECT_EQ(combo->insertPolicy(), QComboBox::NoInsert);
    EXPECT_EQ(combo->completer(), nullptr);
    forget();

    box.setText("64");
    EXPECT_EQ(box.text(), "64");
    EXPECT_EQ(events(), (Events{"g2"}));

    box.setFocus();
    Events focus = events();
    ASSERT_FALSE(focus.empty());
    EXPECT_EQ(focus.front(), "g2");

    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), "1");
    EXPECT_EQ(box.text(), "1");   // no completion from "128" or "112"
    QTest::keyClicks(combo->lineEdit(), "00");
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(box.text(), "100");
    EXPECT_EQ(box.count(), 15);   // typed text is no new item
    Events typed = events();
    EXPECT_GE(typed.size(), 3u);
    for (const std::string& e : typed) EXPECT_EQ(e, "g2");

    combo->showPopup();
    EXPECT_EQ(events().front(), "g2");
    combo->hidePopup();
    EXPECT_EQ(events().front(), "g2");
    EXPECT_GT(combo->maxVisibleItems(), 15);   // a 350-pixel drop-down shows them all

    // Choosing an entry with the keyboard: its text.
    combo->setCurrentIndex(6);
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(box.text(), "144");
    EXPECT_FALSE(events().empty());

    window->createTextField(5, {0, 100, 100, 20}, "").setFocus();
    EXPECT_EQ(events(), (Events{"g2", "g5"}));   // focus out of the box, into the field

    box.setText("Caf\xE9");
    EXPECT_EQ(box.text(), "Caf\xE9");
}

TEST_F(PlatformTest, SpinBoxKeepsToItsRange) {
    mp::SpinBox& spin = window->createSpinBox(28, {260, 372, 216, 20}, 0, 255);
    EXPECT_EQ(spin.value(), 0);
    EXPECT_EQ(spin.minimum(), 0);
    EXPECT_EQ(spin.maximum(), 255);
    spin.setValue(300);
    EXPECT_EQ(spin.value(), 255);
    spin.setValue(-4);
    EXPECT_EQ(spin.value(), 0);
    auto* box = static_cast<QSpinBox*>(spin.widget());
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, "42");
    EXPECT_EQ(spin.value(), 42);
}

namespace {

// Runs a test in a fresh folder as the working directory.
class InFolder {
public:
    InFolder() : m_previous(std::filesystem::current_path()) { std::filesystem::current_path(m_dir.path()); }
    ~InFolder() { std::filesystem::current_path(m_previous); }

private:
    testsupport::TempFolder m_dir;   // removed after the working directory went back
    std::filesystem::path m_previous;
};

void touch(const std::filesystem::path& path, std::size_t size = 0) {
    std::ofstream out(path, std::ios::binary);
    out << std::string(size, 'x');
}

}  // namespace

TEST_F(PlatformTest, ExplorerListBrowsesBelowItsStartingFolder) {
    InFolder here;
    namespace fs = std::filesystem;
    fs::create_directories("TileSets/Textures/sub10/deeper");
    fs::create_directories("TileSets/Textures/sub2");
    fs::create_directories("TileSets/Textures/Alpha");
    touch("TileSets/Textures/b.png", 2000);
    touch("TileSets/Textures/a10.png");
    touch("TileSets/Textures/A2.png");
    touch("TileSets/Textures/.hidden.png");
    touch("TileSets/Textures/caf\xE9.png");   // a name that is not UTF-8
    touch("TileSets/Textures/sub2/inner.tga");
    ASSERT_EQ(::mkfifo("TileSets/Textures/pipe.png", 0600), 0);   // no file to list

    mp::ExplorerList& list = window->createExplorerList(19, {16, 16, 208, 512}, "TileSets/Textures/");
    EXPECT_EQ(list.folder(), "TileSets/Textures/");
    std::vector<std::string> names;
    for (int r = 0; r < list.rowCount(); ++r) names.push_back(list.rowText(r));
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "sub2", "sub10", "A2.png", "a10.png", "b.png",
                                               "caf\xE9.png"}));
    EXPECT_TRUE(list.isFolder(1));
    EXPECT_FALSE(list.isFolder(3));
    EXPECT_EQ(shownCell(list, 6, 0), QString::fromUtf8("café.png"));
    EXPECT_EQ(shownCell(list, 5, 1), "2 KB");
    EXPECT_EQ(shownCell(list, 5, 2), "PNG File");
    QHeaderView* header = tableOf(list)->horizontalHeader();
    EXPECT_EQ(header->sectionSize(0), 128);
    EXPECT_EQ(header->sectionSize(3), 100);
    forget();

    // A click selects and is reported.
    QWidget* viewport = tableOf(list)->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, cellCentre(list, 5, 0));
    EXPECT_EQ(list.selectedRow(), 5);
    EXPECT_EQ(events(), (Events{"513", "g19", "514", "g19"}));

    // A double click on a folder opens it.
    const QPoint sub2 = cellCentre(list, 1, 0);
    QTest::mousePress(viewport, Qt::LeftButton, {}, sub2);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, sub2);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, sub2);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, sub2);
    EXPECT_EQ(list.folder(), "TileSets/Textures/sub2/");
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.rowText(0), "inner.tga");
    EXPECT_EQ(list.selectedRow(), -1);
    forget();

    // Backspace goes up, never above the starting folder.
    list.setFocus();
    QTest::keyClick(tableOf(list), Qt::Key_Backspace);
    EXPECT_EQ(list.folder(), "TileSets/Textures/");
    QTest::keyClick(tableOf(list), Qt::Key_Backspace);
    EXPECT_EQ(list.folder(), "TileSets/Textures/");
    EXPECT_EQ(list.rowCount(), 7);

    // Enter opens the selected folder; a file is not opened.
    list.selectRow(3);
    QTest::keyClick(tableOf(list), Qt::Key_Return);
    EXPECT_EQ(list.folder(), "TileSets/Textures/");
    list.selectRow(2);
    QTest::keyClick(tableOf(list), Qt::Key_Return);
    EXPECT_EQ(list.folder(), "TileSets/Textures/sub10/");
    list.openSubFolder(0);
    EXPECT_EQ(list.folder(), "TileSets/Textures/sub10/deeper/");
    list.goUp();
    list.goUp();
    list.goUp();
    EXPECT_EQ(list.folder(), "TileSets/Textures/");

    // The folder changes on disk: reload shows it.
    touch("TileSets/Textures/c.bmp");
    list.reload();
    EXPECT_EQ(list.rowCount(), 8);

    list.setFolder("missing");
    EXPECT_EQ(list.folder(), "missing/");
    EXPECT_EQ(list.rowCount(), 0);
}

TEST_F(PlatformTest, ExplorerListFollowsItsFolderOnDisk) {
    InFolder here;
    namespace fs = std::filesystem;
    fs::create_directories("TileSets/Textures");
    touch("TileSets/Textures/m.png");
    mp::ExplorerList& list = window->createExplorerList(19, {16, 16, 208, 512}, "TileSets/Textures/");
    ASSERT_EQ(list.rowCount(), 1);
    list.selectRow(0);
    forget();

    // A file appears (an export, a copy from elsewhere): it is listed without any reload,
    // and the selected entry stays selected, now one row further down. The selection is
    // the same entry, so nothing is reported.
    touch("TileSets/Textures/a.png");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.rowCount() == 2; }, 5000));
    EXPECT_EQ(list.rowText(0), "a.png");
    EXPECT_EQ(list.selectedRow(), 1);
    EXPECT_EQ(list.rowText(list.selectedRow()), "m.png");
    EXPECT_EQ(events(), (Events{}));

    // The selected file goes away: nothing is selected any more, and the editor hears of it.
    fs::remove("TileSets/Textures/m.png");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.rowCount() == 1; }, 5000));
    EXPECT_EQ(list.selectedRow(), -1);
    EXPECT_EQ(events(), (Events{"g19"}));
}

TEST_F(PlatformTest, MenuItemsAndTheirShortcutsRaiseMenuEvents) {
    window->addMenuTitle("File");
    window->addMenuItem(1, "New", "Ctrl+N");
    window->addMenuSeparator();
    window->addMenuItem(2, "Save...", "Ctrl+S");
    window->addMenuItem(4, "Close");
    auto* bar = window->widget()->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isNativeMenuBar());
    ASSERT_EQ(bar->actions().size(), 1);
    EXPECT_EQ(bar->actions()[0]->text(), "File");
    QMenu* menu = bar->actions()[0]->menu();
    ASSERT_EQ(menu->actions().size(), 4);
    EXPECT_TRUE(menu->actions()[1]->isSeparator());
    EXPECT_EQ(menu->actions()[2]->shortcut(), QKeySequence("Ctrl+S"));
    forget();

    menu->actions()[3]->trigger();
    EXPECT_EQ(events(), (Events{"m4"}));
    QTest::keyClick(window->widget(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(events(), (Events{"m2"}));
    QTest::keyClick(window->widget(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(events(), (Events{"m1"}));
}

TEST_F(PlatformTest, TheCloseBoxAsksTheEditorEvenBehindAnotherWindow) {
    EXPECT_TRUE(window->isActive());
    window->widget()->close();
    EXPECT_TRUE(window->isOpen());
    EXPECT_EQ(events(), (Events{"16"}));

    QWidget other;
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_FALSE(window->isActive());
    window->widget()->close();
    EXPECT_TRUE(window->isOpen());
    EXPECT_EQ(events(), (Events{"16"}));

    window->close();   // the program's own close ends the window without asking
    EXPECT_FALSE(window->isOpen());
    EXPECT_EQ(events(), Events{});
}

TEST_F(PlatformTest, MouseButtonsInsideTheWindowAreQueuedBeforeTheGadgetsEvents) {
    mp::Button& add = window->createButton(12, {260, 536, 72, 30}, "Add");
    EXPECT_EQ(add.text(), "Add");
    window->createLabel({0, 0, 72, 20}, "R");
    auto* label = window->clientArea()->findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    forget();

    QTest::mouseClick(add.widget(), Qt::LeftButton);
    EXPECT_EQ(events(), (Events{"513", "514", "g12"}));
    // The label ignores the press, which goes on to its parents: still one event each.
    QTest::mouseClick(label, Qt::RightButton);
    EXPECT_EQ(events(), (Events{"516", "517"}));
    QTest::mouseClick(label, Qt::MiddleButton);
    EXPECT_EQ(events(), Events{});

    QPushButton elsewhere("Elsewhere");
    elsewhere.show();
    QTest::mouseClick(&elsewhere, Qt::LeftButton);
    EXPECT_EQ(events(), Events{});
}

TEST_F(PlatformTest, WindowHasAFixedClientAreaWithTheMenuBarInside) {
    window->addMenuTitle("File");
    window->addMenuItem(1, "New");
    mp::ProcessPendingToolkitEvents();
    QWidget* top = window->widget();
    EXPECT_EQ(top->size(), QSize(512, 768));
    EXPECT_EQ(top->minimumSize(), top->maximumSize());
    EXPECT_FALSE(top->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(top->windowTitle(), "Platform test");
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(top->x(), screen.x() + (screen.width() - 512) / 2);
    EXPECT_EQ(top->y(), screen.y() + (screen.height() - 768) / 2);

    auto* bar = top->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    QWidget* client = window->clientArea();
    EXPECT_EQ(client->mapTo(top, QPoint(0, 0)), QPoint(0, bar->height()));
    EXPECT_EQ(client->height(), 768 - bar->height());
    EXPECT_GE(client->height(), 128 + 616);   // banner and panel fit below the menu bar

    // Gadgets sit where they are put, on the client area or inside a tab page.
    mp::Panel& panel = window->createPanel(1, {0, 128, 512, 616});
    window->addTab("TileSet");
    mp::Button& first = window->createButton(40, {16, 36, 72, 30}, "A");
    window->addTab("Materials");
    mp::Button& second = window->createButton(41, {260, 536, 72, 30}, "B");
    window->closeGadgetList();
    mp::Button& outside = window->createButton(42, {5, 6, 20, 20}, "C");
    EXPECT_EQ(outside.widget()->parentWidget(), client);
    EXPECT_EQ(outside.widget()->geometry(), QRect(5, 6, 20, 20));
    EXPECT_EQ(first.widget()->geometry(), QRect(16, 36, 72, 30));
    EXPECT_EQ(panel.state(), 0);
    EXPECT_TRUE(first.widget()->isVisible());
    EXPECT_FALSE(second.widget()->isVisible());
    panel.setState(1);
    EXPECT_EQ(panel.state(), 1);
    EXPECT_TRUE(second.widget()->isVisible());
    // The lowest buttons of a tab fit inside its page.
    EXPECT_GE(second.widget()->parentWidget()->height(), 536 + 30);

    // A 20-pixel field shows the whole height of its text.
    mp::TextField& field = window->createTextField(43, {0, 0, 100, 20}, "Tg");
    EXPECT_LE(field.widget()->fontMetrics().height(), 20 - 4);

    mp::EventQueue otherQueue;
    mp::Window tall(otherQueue);
    ASSERT_TRUE(tall.open({"Tall", 512, 5000}));
    EXPECT_EQ(tall.widget()->height(), screen.height());   // cut to the screen
}

TEST(Image, CreateFillDecodeLoadAndScale) {
    mp::Image image(3, 2);
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(image.pixels().pixels, std::vector<std::uint8_t>({0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0,
                                                                 255, 0, 0, 0, 255, 0, 0, 0, 255}));
    image.fill(0x00332211);
    EXPECT_EQ(image.pixels().pixels[0], 0x11);
    EXPECT_EQ(image.pixels().pixels[1], 0x22);
    EXPECT_EQ(image.pixels().pixels[2], 0x33);
    EXPECT_EQ(image.pixels().pixels[23], 255);
    image.create(0, 5);
    EXPECT_TRUE(image.empty());
    image.create(-3, 5);
    EXPECT_TRUE(image.empty());

    QImage source(2, 2, QImage::Format_RGBA8888);
    source.setPixelColor(0, 0, QColor(255, 0, 0, 255));
    source.setPixelColor(1, 0, QColor(0, 255, 0, 128));
    source.setPixelColor(0, 1, QColor(0, 0, 255, 255));
    source.setPixelColor(1, 1, QColor(10, 20, 30, 0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(source.save(&buffer, "PNG"));
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(png.constData()),
                                             static_cast<std::size_t>(png.size()));
    ASSERT_TRUE(image.loadPng(data));
    EXPECT_EQ(image.width(), 2);
    EXPECT_EQ(image.height(), 2);
    EXPECT_EQ(image.pixels().pixels[4 + 1], 255);   // green
    EXPECT_EQ(image.pixels().pixels[4 + 3], 128);

    const std::uint8_t garbage[] = {1, 2, 3, 4, 5};
    EXPECT_FALSE(image.decode(garbage));
    EXPECT_TRUE(image.empty());
    image.scale(128, 128);   // nothing to scale
    EXPECT_TRUE(image.empty());

    testsupport::TempFolder dir;
    const std::filesystem::path file = dir.path() / "p.png";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(png.constData(), png.size());
    }
    ASSERT_TRUE(image.load(file));
    image.scale(128, 64);
    EXPECT_EQ(image.width(), 128);
    EXPECT_EQ(image.height(), 64);
    EXPECT_EQ(image.pixels().pixels.size(), 128u * 64u * 4u);
    EXPECT_FALSE(image.load(dir.path() / "missing.png"));
    EXPECT_TRUE(image.empty());
    EXPECT_FALSE(image.load(dir.path()));   // a folder is no image
    // A pipe with nobody writing is refused at once instead of blocking the editor.
    const std::string pipe = (dir.path() / "pipe.png").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(image.load(pipe));
    // A file too large to be any picture the decoders accept is refused by its size, before
    // a byte is read (a sparse file: it takes no room on disk).
    const std::filesystem::path huge = dir.path() / "huge.png";
    {
        std::ofstream out(huge, std::ios::binary);
        out.write(png.constData(), png.size());
    }
    std::filesystem::resize_file(huge, std::uintmax_t{600} << 20);
    ASSERT_TRUE(image.load(file));
    EXPECT_FALSE(image.load(huge));
    EXPECT_TRUE(image.empty());
}

TEST(Events, PendingWorkIsDoneWithoutWaiting) {
    // Nothing pending: returns at once (a wait here would hang the test).
    mp::ProcessPendingToolkitEvents();
    bool posted = false;
    QTimer::singleShot(0, [&posted] { posted = true; });
    auto* doomed = new QObject;
    QPointer<QObject> watch(doomed);
    doomed->deleteLater();
    mp::ProcessPendingToolkitEvents();
    EXPECT_TRUE(posted);
    EXPECT_TRUE(watch.isNull());   // no exec() loop, yet deferred deletes happen
    mp::SleepMilliseconds(1);
    mp::SleepMilliseconds(0);
    mp::SleepMilliseconds(-5);
}

TEST_F(PlatformTest, ImageGadgetShowsACopyOrNothing) {
    mp::ImageGadget& preview = window->createImageGadget(17, {306, 44, 128, 128}, true);
    EXPECT_FALSE(preview.hasImage());
    mp::Image swatch(216, 54);
    swatch.fill(0x0000FF);   // red
    preview.setImage(&swatch);
    EXPECT_TRUE(preview.hasImage());
    swatch.fill(0xFF0000);   // blue afterwards: the gadget keeps what it was handed
    const QImage shown = static_cast<QLabel*>(preview.widget())->pixmap().toImage();
    EXPECT_EQ(shown.size(), QSize(216, 54));
    EXPECT_EQ(shown.pixelColor(10, 10), QColor(255, 0, 0));
    EXPECT_EQ(static_cast<QLabel*>(preview.widget())->frameShadow(), QFrame::Sunken);

    preview.setImage(nullptr);
    EXPECT_FALSE(preview.hasImage());
    mp::Image empty;
    preview.setImage(&swatch);
    preview.setImage(&empty);
    EXPECT_FALSE(preview.hasImage());
    EXPECT_TRUE(static_cast<QLabel*>(preview.widget())->pixmap().isNull());
}

TEST(ScriptedDialogs, RecordsAndAnswersFromItsQueues) {
    mp::ScriptedDialogs dialogs;
    dialogs.answers = {mp::Answer::Yes, mp::Answer::Cancel, mp::Answer::Cancel};
    dialogs.paths = {"a.mrqt"};
    dialogs.colors = {0x123456};
    dialogs.message("T", "Hello");
    EXPECT_EQ(dialogs.question("T", "Sure?", false), mp::Answer::Yes);
    EXPECT_EQ(dialogs.question("T", "Sure?", true), mp::Answer::Cancel);
    EXPECT_EQ(dialogs.question("T", "Sure?", false), mp::Answer::No);   // no Cancel button to press
    EXPECT_EQ(dialogs.question("T", "Again?", true), mp::Answer::No);   // queue empty
    EXPECT_EQ(dialogs.saveFile("Save...", "../../Data/TileSets/", "TileSet (*.mrqt)|*.mrqt"), "a.mrqt");
    EXPECT_EQ(dialogs.openFile("Open...", "../../Data/TileSets/", "TileSet (*.mrqt)|*.mrqt"), "");
    EXPECT_EQ(dialogs.chooseColor(7), 0x123456);
    EXPECT_EQ(dialogs.chooseColor(7), -1);
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"Hello"});
    ASSERT_EQ(dialogs.shown.size(), 9u);
    EXPECT_EQ(dialogs.shown[2].withCancel, true);
    EXPECT_EQ(dialogs.shown[5].kind, "saveFile");
    EXPECT_EQ(dialogs.shown[5].text, "../../Data/TileSets/");
    EXPECT_EQ(dialogs.shown[5].patterns, "TileSet (*.mrqt)|*.mrqt");
    EXPECT_EQ(dialogs.shown[7].text, "7");
}

TEST(QtDialogs, MessageAndQuestionBoxes) {
    mp::QtDialogs dialogs;
    QString seenTitle;
    QString seenText;
    int buttons = 0;
    {
        WhenModal press([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            seenTitle = box->windowTitle();
            seenText = box->text();
            buttons = static_cast<int>(box->buttons().size());
            EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
            box->button(QMessageBox::Ok)->click();
        });
        dialogs.message("Marquetor", "Not in the correct format!");
    }
    EXPECT_EQ(seenTitle, "Marquetor");
    EXPECT_EQ(seenText, "Not in the correct format!");
    EXPECT_EQ(buttons, 1);

    {
        WhenModal press([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            buttons = static_cast<int>(box->buttons().size());
            box->button(QMessageBox::No)->click();
        });
        EXPECT_EQ(dialogs.question("Marquetor", "Create a new tile set?", false), mp::Answer::No);
        EXPECT_EQ(buttons, 2);
    }
    {
        WhenModal press([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click(); });
        EXPECT_EQ(dialogs.question("Marquetor", "Create a new tile set?", false), mp::Answer::Yes);
    }
    {
        // Escape on a box with Cancel: Cancel.
        WhenModal press([&](QWidget* w) {
            buttons = static_cast<int>(qobject_cast<QMessageBox*>(w)->buttons().size());
            QTest::keyClick(w, Qt::Key_Escape);
        });
        EXPECT_EQ(dialogs.question("Marquetor", "Save changes to the tile set?", true), mp::Answer::Cancel);
        EXPECT_EQ(buttons, 3);
    }
    {
        WhenModal press([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        EXPECT_EQ(dialogs.question("Marquetor", "Create a new tile set?", false), mp::Answer::No);
    }
}

TEST(QtDialogs, FileRequestersAndColourChooser) {
    testsupport::TempFolder dir;
    const QString folder = QString::fromStdString((dir.path() / "TileSets").string());
    ASSERT_TRUE(QDir().mkpath(folder));
    const std::string folderBytes = (folder + "/").toStdString();
    mp::QtDialogs dialogs;

    QString shownFolder;
    QStringList filters;
    {
        WhenModal choose([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(dialog, nullptr);
            shownFolder = dialog->directory().absolutePath();
            filters = dialog->nameFilters();
            EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
            typeFileName(dialog, "level");
            static_cast<QDialog*>(dialog)->accept();
        });
        const std::string chosen = dialogs.saveFile("Save...", folderBytes, "TileSet (*.mrqt)|*.mrqt");
        EXPECT_EQ(chosen, (folder + "/level").toStdString());
    }
    EXPECT_EQ(shownFolder, folder);
    EXPECT_EQ(filters, QStringList{"TileSet (*.mrqt)"});

    // Saving over an existing file is not questioned here.
    { std::ofstream((folder + "/old.mrqt").toStdString()) << "x"; }
    {
        WhenModal choose([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            typeFileName(dialog, "old.mrqt");
            static_cast<QDialog*>(dialog)->accept();
        });
        EXPECT_EQ(dialogs.saveFile("Save...", folderBytes, "TileSet (*.mrqt)|*.mrqt"),
                  (folder + "/old.mrqt").toStdString());
    }
    // The default file of a requester is proposed; "*.*" lists every file.
    {
        WhenModal choose([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            filters = dialog->nameFilters();
            static_cast<QDialog*>(dialog)->accept();
        });
        EXPECT_EQ(dialogs.saveFile("Save Texture...", folderBytes + "grass.png", "All (*.*)|*.*"),
                  (folder + "/grass.png").toStdString());
        EXPECT_EQ(filters, QStringList{"All (*)"});
    }
    // The open requester takes a name that does not exist; cancel gives nothing.
    {
        WhenModal choose([](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
            typeFileName(dialog, "nothing.mrqt");
            static_cast<QDialog*>(dialog)->accept();
        });
        EXPECT_EQ(dialogs.openFile("Open...", folderBytes, "TileSet (*.mrqt)|*.mrqt"),
                  (folder + "/nothing.mrqt").toStdString());
    }
    {
        WhenModal cancel([](QWidget* w) { qobject_cast<QFileDialog*>(w)->reject(); });
        EXPECT_EQ(dialogs.openFile("Open...", folderBytes, "TileSet (*.mrqt)|*.mrqt"), "");
    }

    QColor initial;
    {
        WhenModal pick([&](QWidget* w) {
            auto* dialog = qobject_cast<QColorDialog*>(w);
            ASSERT_NE(dialog, nullptr);
            initial = dialog->currentColor();
            dialog->setCurrentColor(QColor(1, 2, 3));
            static_cast<QDialog*>(dialog)->accept();
        });
        EXPECT_EQ(dialogs.chooseColor(0x30201A), 1 | (2 << 8) | (3 << 16));
    }
    EXPECT_EQ(initial, QColor(0x1A, 0x20, 0x30));
    {
        WhenModal cancel([](QWidget* w) { qobject_cast<QColorDialog*>(w)->reject(); });
        EXPECT_EQ(dialogs.chooseColor(0), -1);
    }
}
