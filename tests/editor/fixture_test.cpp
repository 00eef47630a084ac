// The fixture's user actions reach the real widgets the way a user's would.

#include "editor/command.h"
#include "editor/refresh.h"
#include "fixture.h"
#include "sampletileset.h"

using namespace editor::gadget;

TEST_F(EditorFixture, UserActionsReachTheWidgets) {
    ed->session.documentToChange() = SampleTileSet();
    editor::Refresh(*ed, editor::part::Materials);
    editor::Refresh(*ed, editor::part::Textures);
    settle();

    // Rows are clicked on their tab, which comes to the front first.
    clickRow(MaterialsList, 2);
    EXPECT_EQ(g().panel(Panel).state(), 1);
    EXPECT_EQ(g().listView(MaterialsList).selectedRow(), 2);
    clickRow(MaterialsList, 0);
    EXPECT_EQ(g().listView(MaterialsList).selectedRow(), 0);
    clickBelowRows(MaterialsList);
    EXPECT_EQ(g().listView(MaterialsList).selectedRow(), -1);

    writeFile(textureDir / "b.png", "x");
    writeFile(textureDir / "a.png", "x");
    g().explorerList(Explorer).reload();
    clickRow(Explorer, 1);
    EXPECT_EQ(g().panel(Panel).state(), 2);
    EXPECT_EQ(g().explorerList(Explorer).selectedRow(), 1);
    EXPECT_EQ(g().explorerList(Explorer).rowText(1), "b.png");

    // Choice boxes take the user's choice; fields and the spin box take typing.
    chooseItem(TileCollision, 1);
    EXPECT_EQ(g().panel(Panel).state(), 3);
    EXPECT_EQ(g().choiceBox(TileCollision).text(), "True");
    chooseItem(TileTexture, 2);
    EXPECT_EQ(g().choiceBox(TileTexture).state(), 2);
    typeInto(TileLayer, "42");
    EXPECT_EQ(g().spinBox(TileLayer).value(), 42);
    typeInto(TileId, "12x3");   // digits only
    EXPECT_EQ(g().textField(TileId).text(), "123");
    typeInto(TileId, "", true);
    EXPECT_EQ(g().textField(TileId).text(), "");
    typeInto(MaterialName, "Gr\xC3\xA4s");
    typeInto(MaterialName, "s", false);
    EXPECT_EQ(g().textField(MaterialName).text(), "Gr\xC3\xA4ss");

    showTab(0);
    EXPECT_EQ(g().panel(Panel).state(), 0);
    EXPECT_TRUE(messages().empty());
}
