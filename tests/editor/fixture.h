#pragma once
// A whole editor for each test: a fresh workspace on disk, the real window and widgets
// offscreen, the real event loop, and scripted modal dialogs. Helpers act as a user would
// (clicks, keys, menu) and then run loop cycles until nothing is left to handle.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "editor/editor.h"
#include "platform/dialogs.h"
#include "tempfolder.h"

class QWidget;

// Short names for the tests.
namespace editor = marquetor::editor;
namespace platform = marquetor::platform;
namespace document = marquetor::document;

class EditorFixture : public ::testing::Test {
protected:
    // A temporary workspace root/{Data/TileSets, Tools/Marquetor/TileSets/Textures}; the
    // working directory becomes root/Tools/Marquetor, XDG_STATE_HOME root/state (the
    // recovery copies) and the editor starts without argument.
    void SetUp() override;
    // Back to the old working directory; the workspace is removed.
    void TearDown() override;

    // Ends the editor and starts a new one with this first command-line argument (the
    // scripted dialogs and their records are kept).
    void restart(std::string_view firstArgument);
    // Runs loop cycles until the queue is empty and a cycle dispatched nothing, or the
    // running flag is 0. Fails the test when it does not come to rest in maxCycles.
    void settle(int maxCycles = 100);

    // A left click on a button (its tab is brought to the front first, as a user must).
    void click(int gadgetId);
    // Focus, select all, type (text fields, editable choice boxes, the spin box).
    void typeInto(int gadgetId, std::string_view utf8, bool clearFirst = true);
    // A left click on a row of a list view or of the explorer list.
    void clickRow(int listGadgetId, int row);
    // A left click on the empty space below the last row: clears the selection.
    void clickBelowRows(int listGadgetId);
    // Chooses an entry through the drop-down list with the keyboard, so the box reports it
    // as a user's choice.
    void chooseItem(int choiceGadgetId, int index);
    // Triggers a "File" menu item as a click on it would.
    void chooseMenu(int item);
    // Clicks the tab at this position.
    void showTab(int index);

    platform::Gadgets& g() { return ed->gadgets(); }
    QWidget* widgetOf(int gadgetId);
    QWidget* window();

    void writeFile(const std::filesystem::path& path, std::string_view bytes);
    void writeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
    std::string readFile(const std::filesystem::path& path);
    std::vector<std::string> messages() const { return dialogs.messages(); }

    std::filesystem::path root;      // the workspace
    std::filesystem::path workDir;   // root/Tools/Marquetor, the working directory
    std::filesystem::path tileSetDir;   // root/Data/TileSets
    std::filesystem::path textureDir;   // workDir/TileSets/Textures
    std::filesystem::path stateDir;     // root/state, XDG_STATE_HOME

    platform::ScriptedDialogs dialogs;
    std::unique_ptr<editor::Editor> ed;

private:
    void bringTabForward(QWidget* widget);
    std::filesystem::path m_oldCwd;
    std::optional<std::string> m_oldStateHome;
    std::optional<testsupport::TempFolder> m_root;
};
