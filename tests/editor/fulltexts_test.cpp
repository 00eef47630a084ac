// Full texts: a row of a list or of the explorer shows all its texts as a tooltip when the
// pointer rests on it, and the Tiles tab's drop-down lists open as wide as their widest
// entry.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>

#include <string>

#include "editor/eventloop.h"
#include "editor/refresh.h"
#include "fixture.h"
#include "sampletileset.h"
#include "testpicture.h"

using namespace editor::gadget;

namespace {

constexpr char kLongMaterial[] = "Polished marble with veins of dark green serpentine";
constexpr char kLongTexture[] = "ruins_of_the_old_harbour_wall_north_side.png";

class FullTextsTest : public EditorFixture {
protected:
    // The sample set with a material and a texture whose names are longer than their
    // columns and boxes are wide.
    void loadSample() {
        ed->session.documentToChange() = SampleTileSet();
        ed->session.documentToChange().materials.moveToLast();
        document::AddMaterial(ed->session.documentToChange(), kLongMaterial, document::MakeColor(1, 2, 3), "");
        PutSampleTexture(ed->session.documentToChange(), kLongTexture, "not a picture");
        editor::RefreshGadgets(*ed);
        settle();
    }

    QAbstractItemView* viewOf(int gadgetId) { return qobject_cast<QAbstractItemView*>(widgetOf(gadgetId)); }

    // The pointer moved onto a row and resting there: the tooltip Qt shows for it.
    std::string tooltipOf(int gadgetId, int tab, int row) {
        showTab(tab);
        QAbstractItemView* view = viewOf(gadgetId);
        EXPECT_NE(view, nullptr);
        if (view == nullptr) return {};
        QToolTip::hideText();
        const QModelIndex index = view->model()->index(row, 0);
        view->scrollTo(index);
        const QPoint at = view->visualRect(index).center();
        QTest::mouseMove(view->viewport(), at);
        QHelpEvent rest(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &rest);
        return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
    }

    int rowOfTexture(const std::string& name) {
        for (int r = 0; r < g().listView(TexturesList).rowCount(); ++r)
            if (g().listView(TexturesList).rowText(r) == name) return r;
        return -1;
    }
};

}  // namespace

TEST_F(FullTextsTest, ARowUnderThePointerShowsAllItsTextsAsATooltip) {
    writeFile(textureDir / "grass.png", PngOfColour(Qt::green));
    g().explorerList(Explorer).reload();
    loadSample();

    EXPECT_EQ(tooltipOf(MaterialsList, 1, 2), "Material: Water\nColor: R255 G128 B0");
    EXPECT_EQ(tooltipOf(MaterialsList, 1, 3), std::string("Material: ") + kLongMaterial + "\nColor: R1 G2 B3");
    EXPECT_EQ(tooltipOf(TilesList, 3, 2), "ID: 3\nTexture: gone.png\nMaterial: Lava\nLayer: 255\nCollision: 5");
    // One column: the text alone.
    const int longTexture = rowOfTexture(kLongTexture);
    ASSERT_GE(longTexture, 0);
    EXPECT_EQ(tooltipOf(TexturesList, 2, longTexture), kLongTexture);
    const std::string file = tooltipOf(Explorer, 2, 0);
    EXPECT_EQ(file.substr(0, 45), "Name: grass.png\nSize: 1 KB\nType: PNG File\nMod") << file;

    // The texts come from the document when the tooltip is asked for.
    clickRow(MaterialsList, 2);
    typeInto(Red, "12");
    click(MaterialUpdate);
    EXPECT_EQ(tooltipOf(MaterialsList, 1, 2), "Material: Water\nColor: R12 G128 B0");

    // A name that reads like markup is shown as it is typed.
    showTab(1);
    typeInto(MaterialName, "<b>Bold</b>");
    click(MaterialAdd);
    const std::string markup = tooltipOf(MaterialsList, 1, 3);
    EXPECT_NE(markup.find("&lt;b&gt;Bold&lt;/b&gt;"), std::string::npos) << markup;
}

TEST_F(FullTextsTest, DropDownListsOpenAsWideAsTheirWidestEntry) {
    loadSample();
    showTab(3);
    for (const auto& [box, name] : {std::pair{TileMaterial, std::string(kLongMaterial)},
                                    std::pair{TileTexture, std::string(kLongTexture)}}) {
        auto* combo = qobject_cast<QComboBox*>(widgetOf(box));
        ASSERT_NE(combo, nullptr);
        const int row = combo->findText(QString::fromStdString(name));
        ASSERT_GE(row, 0) << name;
        combo->showPopup();
        QAbstractItemView* list = combo->view();
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->isVisible(); }, 2000));
        const QModelIndex longest = combo->model()->index(row, 0);
        // Room for the entry as the list draws it, and no less than the box.
        EXPECT_GE(list->viewport()->width(), list->sizeHintForIndex(longest).width()) << name;
        EXPECT_GT(list->viewport()->width(), list->fontMetrics().horizontalAdvance(QString::fromStdString(name))) << name;
        EXPECT_GE(list->window()->width(), combo->width());
        combo->hidePopup();
    }
    // Entries that fit leave the list as wide as its box.
    auto* collision = qobject_cast<QComboBox*>(widgetOf(TileCollision));
    collision->showPopup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return collision->view()->isVisible(); }, 2000));
    EXPECT_EQ(collision->view()->window()->width(), collision->width());
    collision->hidePopup();
    settle();
    EXPECT_TRUE(dialogs.shown.empty());
}
