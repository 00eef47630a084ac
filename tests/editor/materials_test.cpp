// The Materials tab: selection, the colour fields and chooser, Add, Update, Delete, Sort,
// and the material choice box of the Tiles tab that follows every change.

#include <QAbstractItemView>
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "document/text.h"
#include "editor/eventloop.h"
#include "editor/refresh.h"
#include "fixture.h"
#include "tilesetfile/format.h"

using namespace editor::gadget;
namespace fs = std::filesystem;
namespace tsf = marquetor::tilesetfile;

namespace {

constexpr char kNoName[] = "No material name!";
constexpr char kTaken[] = "The material already exists!";

struct Rgb {
    int r, g, b;
};

class MaterialsTest : public EditorFixture {
protected:
    // Types UTF-8 text into a field as the keyboard would, letters beyond ASCII included
    // (the QTest helpers know only ASCII keys); the field is emptied first.
    void type(int id, const std::string& utf8) {
        const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; });
        if (ascii) {
            typeInto(id, utf8);
            return;
        }
        typeInto(id, "");
        auto* edit = qobject_cast<QLineEdit*>(widgetOf(id));
        ASSERT_NE(edit, nullptr);
        const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        for (const QChar c : text) QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
        settle();
    }
    // Fills the edit buffer as a user types it; an empty component text clears that field.
    void fillFields(const std::string& name, const std::string& r, const std::string& gr, const std::string& b,
                    const std::string& description = "") {
        type(MaterialName, name);
        typeInto(Red, r);
        typeInto(Green, gr);
        typeInto(Blue, b);
        type(Description, description);
    }
    void add(const std::string& name, Rgb c = {0, 0, 0}, const std::string& description = "") {
        fillFields(name, std::to_string(c.r), std::to_string(c.g), std::to_string(c.b), description);
        click(MaterialAdd);
    }
    // Adds each name at the end of the list.
    void addAll(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            clickBelowRows(MaterialsList);
            add(name);
        }
    }

    std::vector<std::string> docNames() const {
        std::vector<std::string> out;
        for (const auto& m : ed->doc().materials.items()) out.push_back(m->name);
        return out;
    }
    std::vector<std::string> listNames() {
        std::vector<std::string> out;
        auto& list = g().listView(MaterialsList);
        for (int i = 0; i < list.rowCount(); ++i) out.push_back(list.cellText(i, 0));
        return out;
    }
    std::vector<std::string> choiceItems() {
        std::vector<std::string> out;
        auto& box = g().choiceBox(TileMaterial);
        for (int i = 0; i < box.count(); ++i) out.push_back(box.itemText(i));
        return out;
    }
    int selectedRow() { return g().listView(MaterialsList).selectedRow(); }
    std::string field(int id) { return g().textField(id).text(); }

    // The list, its colour column, the index and the Tiles tab's material choice box all
    // show the document's materials in order, with nothing chosen in the choice box.
    void expectListsFollowDocument() {
        const std::vector<std::string> names = docNames();
        EXPECT_EQ(listNames(), names);
        auto& list = g().listView(MaterialsList);
        for (std::size_t i = 0; i < names.size() && i < static_cast<std::size_t>(list.rowCount()); ++i)
            EXPECT_EQ(list.cellText(static_cast<int>(i), 1), document::ColorText(ed->doc().materials.at(i).color));
        EXPECT_EQ(ed->doc().materialIndex.size(), names.size());
        for (const auto& m : ed->doc().materials.items()) EXPECT_EQ(document::FindMaterial(ed->doc(), m->name), m.get());
        EXPECT_EQ(choiceItems(), names);
        EXPECT_EQ(g().choiceBox(TileMaterial).state(), -1);
    }

    // The fields show this material.
    void expectFields(const std::string& name, const std::string& r, const std::string& gr, const std::string& b,
                      const std::string& description) {
        EXPECT_EQ(field(MaterialName), name);
        EXPECT_EQ(field(Red), r);
        EXPECT_EQ(field(Green), gr);
        EXPECT_EQ(field(Blue), b);
        EXPECT_EQ(field(Description), description);
    }

    // The swatch picture and what the swatch gadget shows are filled with the colour.
    void expectSwatch(Rgb c) {
        const auto& p = ed->swatch.pixels();
        ASSERT_EQ(p.width, 216);
        ASSERT_EQ(p.height, 54);
        for (const std::size_t at : {std::size_t{0}, (p.pixels.size() / 2) & ~std::size_t{3}, p.pixels.size() - 4}) {
            EXPECT_EQ(p.pixels[at], c.r) << "byte " << at;
            EXPECT_EQ(p.pixels[at + 1], c.g) << "byte " << at;
            EXPECT_EQ(p.pixels[at + 2], c.b) << "byte " << at;
        }
        auto* label = qobject_cast<QLabel*>(widgetOf(ColorSwatch));
        ASSERT_NE(label, nullptr);
        const QImage shown = label->pixmap().toImage();
        ASSERT_EQ(shown.size(), QSize(216, 54));
        for (const QPoint at : {QPoint(0, 0), QPoint(108, 27), QPoint(215, 53)})
            EXPECT_EQ(shown.pixelColor(at), QColor(c.r, c.g, c.b)) << at.x() << "," << at.y();
    }

    // A file holding these materials (and nothing else), in the tile set folder; returns
    // the path as the user would pick it.
    std::string writeTileSet(const std::string& fileName, document::TileSet& set) {
        const auto bytes = tsf::SaveTileSetToMemory(set);
        writeFile(tileSetDir / fileName, std::span<const std::uint8_t>(bytes));
        return "../../Data/TileSets/" + fileName;
    }
    void open(const std::string& path) {
        dialogs.paths.push_back(path);
        chooseMenu(editor::menu::Open);
        showTab(1);
    }
};

}  // namespace

TEST_F(MaterialsTest, AddGoesIntoAnEmptyListAndBehindTheCurrentRow) {
    // Into the empty document: row 0, selected, and the fields reloaded from the material
    // (an emptied component field shows "0" again).
    fillFields("Grass", "86", "", "60", "green");
    click(MaterialAdd);
    EXPECT_EQ(docNames(), (std::vector<std::string>{"Grass"}));
    EXPECT_EQ(ed->currentMaterialRow, 0);
    EXPECT_EQ(selectedRow(), 0);
    EXPECT_EQ(ed->doc().materials.at(0).color, document::MakeColor(86, 0, 60));
    expectFields("Grass", "86", "0", "60", "green");
    expectSwatch({86, 0, 60});
    expectListsFollowDocument();

    // Adds made one after another each land behind the previous one.
    add("B", {1, 2, 3});
    add("C");
    add("D");
    add("E");
    ASSERT_EQ(docNames(), (std::vector<std::string>{"Grass", "B", "C", "D", "E"}));

    // Row 2 of five current: the new material becomes row 3, the old rows 3 and 4 move down.
    clickRow(MaterialsList, 2);
    EXPECT_EQ(ed->currentMaterialRow, 2);
    expectFields("C", "0", "0", "0", "");
    add("New", {255, 128, 0}, "between");
    EXPECT_EQ(docNames(), (std::vector<std::string>{"Grass", "B", "C", "New", "D", "E"}));
    EXPECT_EQ(ed->currentMaterialRow, 3);
    EXPECT_EQ(selectedRow(), 3);
    expectFields("New", "255", "128", "0", "between");
    expectSwatch({255, 128, 0});
    expectListsFollowDocument();
    EXPECT_TRUE(messages().empty());
}

TEST_F(MaterialsTest, NamesAreExactKeysAndDuplicatesAreRefused) {
    add("Grass", {10, 20, 30}, "first");
    add("grass", {40, 50, 60});
    add(" ");
    EXPECT_EQ(docNames(), (std::vector<std::string>{"Grass", "grass", " "}));
    EXPECT_TRUE(messages().empty());
    expectListsFollowDocument();

    // Grass again, from a current row: refused, and nothing at all changes.
    clickRow(MaterialsList, 1);
    const document::Material* before = &ed->doc().materials.at(0);
    fillFields("Grass", "1", "2", "3", "other");
    click(MaterialAdd);
    EXPECT_EQ(messages(), (std::vector<std::string>{kTaken}));
    EXPECT_EQ(dialogs.shown.back().title, "Marquetor [Build 2011-01-10]");
    EXPECT_EQ(docNames(), (std::vector<std::string>{"Grass", "grass", " "}));
    EXPECT_EQ(&ed->doc().materials.at(0), before);
    EXPECT_EQ(before->color, document::MakeColor(10, 20, 30));
    EXPECT_EQ(before->description, "first");
    EXPECT_EQ(ed->currentMaterialRow, 1);
    EXPECT_EQ(selectedRow(), 1);
    expectFields("Grass", "1", "2", "3", "other");
    expectListsFollowDocument();

    // An empty name field: refused before anything is looked at.
    dialogs.clearShown();
    typeInto(MaterialName, "");
    click(MaterialAdd);
    EXPECT_EQ(messages(), (std::vector<std::string>{kNoName}));
    EXPECT_EQ(docNames().size(), 3u);
    EXPECT_EQ(ed->currentMaterialRow, 1);
}

TEST_F(MaterialsTest, ComponentFieldsStayWithinAByteAndTheSwatchFollowsThem) {
    showTab(1);
    typeInto(Red, "300");
    EXPECT_EQ(field(Red), "255");
    expectSwatch({255, 0, 0});

    typeInto(Green, "77");
    expectSwatch({255, 77, 0});
    // A cleared field stays empty and counts 0.
    typeInto(Green, "");
    EXPECT_EQ(field(Green), "");
    expectSwatch({255, 0, 0});

    // A number too long for 64 bits must not wrap round to a small one (2^64 + 7).
    typeInto(Blue, "18446744073709551623");
    EXPECT_EQ(field(Blue), "255");
    expectSwatch({255, 0, 255});
    typeInto(Blue, "0000000000000000000000042");
    EXPECT_EQ(field(Blue), "0000000000000000000000042");
    expectSwatch({255, 0, 42});

    // The material takes what the fields say; the empty field reloads as "0".
    typeInto(MaterialName, "Hot");
    click(MaterialAdd);
    ASSERT_EQ(ed->doc().materials.size(), 1u);
    EXPECT_EQ(ed->doc().materials.at(0).color, document::MakeColor(255, 0, 42));
    EXPECT_EQ(field(Red), "255");
    EXPECT_EQ(field(Green), "0");
    EXPECT_EQ(field(Blue), "42");
    EXPECT_TRUE(messages().empty());
}

TEST_F(MaterialsTest, DescriptionsAreCutTo64BytesWithoutBreakingACharacter) {
    const std::string seventy(70, 'd');
    add("Long", {}, seventy);
    EXPECT_EQ(ed->doc().materials.at(0).description, seventy.substr(0, 64));
    const std::string sixtyFour(64, 'e');
    add("Exact", {}, sixtyFour);
    EXPECT_EQ(ed->doc().materials.at(1).description, sixtyFour);

    // "a" and forty two-byte letters: byte 64 falls inside a letter, which is left out.
    std::string accented = "a";
    for (int i = 0; i < 40; ++i) accented += "\xC3\xA9";
    add("Accent", {}, accented);
    const std::string stored = ed->doc().materials.at(2).description;
    EXPECT_EQ(stored, accented.substr(0, 63));
    EXPECT_TRUE(document::IsValidUtf8(stored));

    // Selecting the rows later shows what was stored.
    clickRow(MaterialsList, 0);
    EXPECT_EQ(field(Description), seventy.substr(0, 64));
    clickRow(MaterialsList, 2);
    EXPECT_EQ(field(Description), stored);

    // Update cuts the same way.
    std::string euros = "ab";
    for (int i = 0; i < 30; ++i) euros += "\xE2\x82\xAC";   // three bytes each
    type(Description, euros);
    EXPECT_EQ(field(Description), euros);
    click(MaterialUpdate);
    EXPECT_EQ(ed->doc().materials.at(2).description, euros.substr(0, 62));
}

TEST_F(MaterialsTest, RowsShowTheNameAndTheColourText) {
    add("Lava", {255, 128, 0});
    add("Night", {0, 0, 7});
    auto& list = g().listView(MaterialsList);
    EXPECT_EQ(list.cellText(0, 0), "Lava");
    EXPECT_EQ(list.cellText(0, 1), "R255 G128 B0");
    EXPECT_EQ(list.cellText(1, 1), "R0 G0 B7");
    // What the list view itself displays.
    auto* view = qobject_cast<QAbstractItemView*>(widgetOf(MaterialsList));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->model()->data(view->model()->index(0, 0)).toString(), QStringLiteral("Lava"));
    EXPECT_EQ(view->model()->data(view->model()->index(0, 1)).toString(), QStringLiteral("R255 G128 B0"));
}

TEST_F(MaterialsTest, ColourChooserFillsTheEditBufferOrChangesNothing) {
    add("Sea", {1, 2, 3}, "wet");
    // Accepted: starts from the fields' colour, fills the fields and the swatch only.
    dialogs.colors.push_back(document::MakeColor(10, 200, 30));
    click(ColorButton);
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().kind, "chooseColor");
    EXPECT_EQ(dialogs.shown.back().text, std::to_string(document::MakeColor(1, 2, 3)));
    expectFields("Sea", "10", "200", "30", "wet");
    expectSwatch({10, 200, 30});
    EXPECT_EQ(ed->doc().materials.at(0).color, document::MakeColor(1, 2, 3));

    // Cancelled: fields and swatch as they were.
    click(ColorButton);
    EXPECT_EQ(dialogs.shown.back().kind, "chooseColor");
    EXPECT_EQ(dialogs.shown.back().text, std::to_string(document::MakeColor(10, 200, 30)));
    expectFields("Sea", "10", "200", "30", "wet");
    expectSwatch({10, 200, 30});

    // The material takes the chosen colour with Update.
    click(MaterialUpdate);
    EXPECT_EQ(ed->doc().materials.at(0).color, document::MakeColor(10, 200, 30));
    EXPECT_EQ(g().listView(MaterialsList).cellText(0, 1), "R10 G200 B30");
    EXPECT_TRUE(messages().empty());
}

TEST_F(MaterialsTest, DeleteMakesTheRowAboveCurrent) {
    add("A");
    add("B");
    add("C", {9, 8, 7});
    add("D", {1, 1, 1}, "doomed");
    add("E");

    clickRow(MaterialsList, 3);
    click(MaterialDelete);
    EXPECT_EQ(docNames(), (std::vector<std::string>{"A", "B", "C", "E"}));
    EXPECT_EQ(document::FindMaterial(ed->doc(), "D"), nullptr);
    EXPECT_EQ(ed->currentMaterialRow, 2);
    EXPECT_EQ(selectedRow(), 2);
    expectFields("C", "9", "8", "7", "");
    expectSwatch({9, 8, 7});
    expectListsFollowDocument();

    // Row 0: no row is current or selected, the fields keep the deleted material.
    clickRow(MaterialsList, 0);
    click(MaterialDelete);
    EXPECT_EQ(docNames(), (std::vector<std::string>{"B", "C", "E"}));
    EXPECT_EQ(ed->currentMaterialRow, -1);
    EXPECT_EQ(selectedRow(), -1);
    expectFields("A", "0", "0", "0", "");
    expectListsFollowDocument();

    // Without a current row Delete and Update do nothing and say nothing.
    click(MaterialDelete);
    click(MaterialUpdate);
    EXPECT_EQ(docNames(), (std::vector<std::string>{"B", "C", "E"}));
    EXPECT_TRUE(messages().empty());
}

TEST_F(MaterialsTest, SortOrdersByUnsignedBytesAndLeavesNoRowCurrent) {
    addAll({"b", "\xC3\xA9t\xC3\xA9", "B", "a", "Ab", "A"});
    std::vector<const document::Material*> before;
    for (const auto& m : ed->doc().materials.items()) before.push_back(m.get());
    clickRow(MaterialsList, 2);
    typeInto(Description, "kept");

    click(MaterialSort);
    EXPECT_EQ(docNames(), (std::vector<std::string>{"A", "Ab", "B", "a", "b", "\xC3\xA9t\xC3\xA9"}));
    EXPECT_EQ(ed->currentMaterialRow, -1);
    EXPECT_EQ(selectedRow(), -1);
    expectFields("B", "0", "0", "0", "kept");
    expectListsFollowDocument();
    // The same records, only reordered.
    for (const document::Material* m : before) EXPECT_NE(ed->doc().materials.indexOf(m), -1);
    EXPECT_EQ(document::FindMaterial(ed->doc(), "b"), before[0]);

    // With no row current, Add appends.
    add("0");
    EXPECT_EQ(docNames().back(), "0");
    EXPECT_EQ(ed->currentMaterialRow, 6);
}

TEST_F(MaterialsTest, UpdateRenamesInPlaceAndDeleteFindsTheNewName) {
    addAll({"Grass", "Stone", "Water"});
    document::AddTile(ed->session.documentToChange(), 1, 7, "rock.png", "Stone", 0, 0);
    const document::Material* stone = document::FindMaterial(ed->doc(), "Stone");

    clickRow(MaterialsList, 1);
    fillFields("Rock", "120", "110", "100", "hard");
    click(MaterialUpdate);
    EXPECT_EQ(docNames(), (std::vector<std::string>{"Grass", "Rock", "Water"}));
    EXPECT_EQ(document::FindMaterial(ed->doc(), "Rock"), stone);
    EXPECT_EQ(document::FindMaterial(ed->doc(), "Stone"), nullptr);
    EXPECT_EQ(stone->color, document::MakeColor(120, 110, 100));
    EXPECT_EQ(stone->description, "hard");
    EXPECT_EQ(g().listView(MaterialsList).cellText(1, 1), "R120 G110 B100");
    // The row stays current, but none is selected; the fields keep their contents.
    EXPECT_EQ(ed->currentMaterialRow, 1);
    EXPECT_EQ(selectedRow(), -1);
    expectFields("Rock", "120", "110", "100", "hard");
    expectListsFollowDocument();
    // Tiles name materials by name and keep the old one.
    EXPECT_EQ(document::LookUpTileGroup(ed->doc(), 1)->tileIndex.at(7)->material, "Stone");

    // A second Update acts on the same material.
    typeInto(Green, "5");
    click(MaterialUpdate);
    EXPECT_EQ(stone->color, document::MakeColor(120, 5, 100));
    EXPECT_EQ(docNames(), (std::vector<std::string>{"Grass", "Rock", "Water"}));

    // Delete finds it under its new name.
    click(MaterialDelete);
    EXPECT_EQ(docNames(), (std::vector<std::string>{"Grass", "Water"}));
    EXPECT_EQ(document::FindMaterial(ed->doc(), "Rock"), nullptr);
    EXPECT_EQ(ed->currentMaterialRow, 0);
    EXPECT_EQ(selectedRow(), 0);
    expectFields("Grass", "0", "0", "0", "");
    expectListsFollowDocument();
    EXPECT_EQ(document::LookUpTileGroup(ed->doc(), 1)->tileIndex.at(7)->material, "Stone");
    EXPECT_TRUE(messages().empty());
}

TEST_F(MaterialsTest, UpdateWithTheNameUnchangedReplacesColourAndDescription) {
    addAll({"Grass", "Stone"});
    const document::Material* grass = &ed->doc().materials.at(0);
    clickRow(MaterialsList, 0);
    typeInto(Red, "33");
    typeInto(Description, "greener");
    click(MaterialUpdate);
    EXPECT_EQ(&ed->doc().materials.at(0), grass);
    EXPECT_EQ(grass->name, "Grass");
    EXPECT_EQ(grass->color, document::MakeColor(33, 0, 0));
    EXPECT_EQ(grass->description, "greener");
    EXPECT_EQ(document::FindMaterial(ed->doc(), "Grass"), grass);
    EXPECT_EQ(ed->currentMaterialRow, 0);
    expectListsFollowDocument();
    EXPECT_TRUE(messages().empty());
}

TEST_F(MaterialsTest, UpdateRefusesAnEmptyNameAndATakenOne) {
    addAll({"Grass", "Stone"});
    clickRow(MaterialsList, 1);
    typeInto(Red, "99");

    // The name of another material: refused, nothing changes.
    typeInto(MaterialName, "Grass");
    click(MaterialUpdate);
    EXPECT_EQ(messages(), (std::vector<std::string>{kTaken}));
    EXPECT_EQ(docNames(), (std::vector<std::string>{"Grass", "Stone"}));
    EXPECT_EQ(ed->doc().materials.at(1).color, 0);
    EXPECT_EQ(ed->doc().materials.at(0).color, 0);
    EXPECT_EQ(ed->currentMaterialRow, 1);
    EXPECT_EQ(selectedRow(), 1);
    expectListsFollowDocument();

    // An empty name field: refused, nothing changes.
    dialogs.clearShown();
    typeInto(MaterialName, "");
    click(MaterialUpdate);
    EXPECT_EQ(messages(), (std::vector<std::string>{kNoName}));
    EXPECT_EQ(docNames(), (std::vector<std::string>{"Grass", "Stone"}));
    EXPECT_EQ(ed->doc().materials.at(1).color, 0);

    // A stored material without a name (as a file may hold) can be given one.
    ed->session.documentToChange().materials.moveToLast();
    document::AddMaterial(ed->session.documentToChange(), "", document::MakeColor(4, 5, 6), "nameless");
    editor::RefreshGadgets(*ed);
    showTab(1);
    clickRow(MaterialsList, 2);
    expectFields("", "4", "5", "6", "nameless");
    dialogs.clearShown();
    typeInto(MaterialName, "Named");
    click(MaterialUpdate);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(docNames(), (std::vector<std::string>{"Grass", "Stone", "Named"}));
    EXPECT_EQ(document::FindMaterial(ed->doc(), ""), nullptr);
    expectListsFollowDocument();
}

TEST_F(MaterialsTest, AClickBelowTheRowsClearsTheSelectionAndAddAppends) {
    addAll({"A", "B", "C"});
    clickRow(MaterialsList, 1);
    EXPECT_EQ(ed->currentMaterialRow, 1);
    clickBelowRows(MaterialsList);
    EXPECT_EQ(ed->currentMaterialRow, -1);
    EXPECT_EQ(selectedRow(), -1);
    expectFields("B", "0", "0", "0", "");   // the fields keep their contents

    typeInto(MaterialName, "Last");
    click(MaterialAdd);
    EXPECT_EQ(docNames(), (std::vector<std::string>{"A", "B", "C", "Last"}));
    EXPECT_EQ(ed->currentMaterialRow, 3);
    EXPECT_EQ(selectedRow(), 3);
    expectListsFollowDocument();
}

TEST_F(MaterialsTest, SavedMaterialsComeBackWithOpen) {
    add("Grass", {86, 160, 60}, "green");
    add("Lava", {255, 128, 0}, "hot \xE2\x80\x93 avoid");
    add("Ice", {200, 230, 255});
    dialogs.paths.push_back("../../Data/TileSets/mats");
    chooseMenu(editor::menu::Save);
    ASSERT_TRUE(fs::exists(tileSetDir / "mats.mrqt"));

    dialogs.answers.push_back(platform::Answer::Yes);
    chooseMenu(editor::menu::New);
    ASSERT_TRUE(ed->doc().materials.empty());
    EXPECT_EQ(choiceItems().size(), 0u);

    // A current row from before does not survive the opening.
    add("Temp");
    ASSERT_EQ(ed->currentMaterialRow, 0);
    open("../../Data/TileSets/mats.mrqt");
    EXPECT_EQ(ed->currentMaterialRow, -1);
    EXPECT_EQ(docNames(), (std::vector<std::string>{"Grass", "Lava", "Ice"}));
    EXPECT_EQ(ed->doc().materials.at(1).color, document::MakeColor(255, 128, 0));
    EXPECT_EQ(ed->doc().materials.at(1).description, "hot \xE2\x80\x93 avoid");
    EXPECT_EQ(g().listView(MaterialsList).cellText(1, 1), "R255 G128 B0");
    expectListsFollowDocument();
    click(MaterialDelete);
    EXPECT_EQ(docNames().size(), 3u);

    clickRow(MaterialsList, 1);
    expectFields("Lava", "255", "128", "0", "hot \xE2\x80\x93 avoid");
    expectSwatch({255, 128, 0});
}

TEST_F(MaterialsTest, BytesFromAWindowsFileSurviveAnUpdateUnedited) {
    // "Café" and a quoted description, written on a Windows-1252 system.
    const std::string name = "Caf\xE9";
    const std::string description = "\x93quoted\x94 \xB0";
    document::TileSet set;
    document::AddTileGroup(set, 1);
    document::AddMaterial(set, name, document::MakeColor(1, 1, 1), description);
    set.materials.moveToLast();
    document::AddMaterial(set, "Plain", 0, "");
    open(writeTileSet("win.mrqt", set));
    ASSERT_EQ(docNames(), (std::vector<std::string>{name, "Plain"}));

    // Shown as Windows-1252 text.
    auto* view = qobject_cast<QAbstractItemView*>(widgetOf(MaterialsList));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->model()->data(view->model()->index(0, 0)).toString(), QString::fromUtf8("Caf\xC3\xA9"));

    clickRow(MaterialsList, 0);
    typeInto(Red, "200");
    click(MaterialUpdate);
    EXPECT_TRUE(messages().empty());
    const document::Material& m = ed->doc().materials.at(0);
    EXPECT_EQ(m.name, name);
    EXPECT_EQ(m.description, description);
    EXPECT_EQ(m.color, document::MakeColor(200, 1, 1));
    EXPECT_EQ(document::FindMaterial(ed->doc(), name), &m);
    expectListsFollowDocument();
    EXPECT_EQ(choiceItems().front(), name);
}
