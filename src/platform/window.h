#pragma once
// The one main window: fixed client area with the menu bar inside it, a "File" menu,
// gadgets placed at fixed positions, and the events they raise.
//
// Gadgets are created in order, like a form: createPanel() starts a panel, addTab() makes
// the following gadgets children of that tab's page, closeGadgetList() returns to the
// client area. Positions are relative to the current parent (a tab page's inside, or the
// client area below the menu bar).

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/events.h"
#include "platform/filedrops.h"
#include "platform/gadgets.h"

class QWidget;

namespace marquetor::platform {

class Image;
class ProblemList;

struct WindowSettings {
    std::string title;
    int clientWidth = 512;    // the menu bar takes its height from this area
    int clientHeight = 768;
};

struct ListColumn {
    std::string title;
    int width = 0;
};

struct ListViewOptions {
    bool gridLines = true;
    bool fullRowSelect = true;
    bool alwaysShowSelection = true;   // false: the selection is hidden while the list has no focus
};

class Window {
public:
    explicit Window(EventQueue& queue);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Opens the window centred on the screen (cut to the screen when larger); false when no
    // window can be opened (no display).
    bool open(const WindowSettings& settings);
    bool isOpen() const;
    // Whether the main window is the program's active window.
    bool isActive() const;
    void close();
    QWidget* widget() const;       // the top-level window, for tests and dialogs
    // The picture the window manager shows for the window (title bar, task list), one
    // image per size; dialogs of the window show it too. Empty images are left out.
    void setIcon(std::span<const Image> sizes);
    QWidget* clientArea() const;   // the area below the menu bar that the gadgets live in

    // Menu: a title, then its items and separators in order; then the next title. A chosen
    // item raises a menu event with its id. The shortcut is a key sequence text such as
    // "Ctrl+S" (may be empty); alternatives are separated by "; " ("Ctrl+Shift+Z; Ctrl+Y").
    // A "&" in a title marks its Alt key ("&File" reads "File" and opens on Alt+F).
    void addMenuTitle(std::string_view title);
    void addMenuItem(int item, std::string_view text, std::string_view shortcut = {});
    void addMenuSeparator();
    // An item's text, shown as it is ("&" included); a disabled item is greyed and its
    // shortcuts do nothing.
    void setMenuItemText(int item, std::string_view text);
    void setMenuItemEnabled(int item, bool enabled);
    // The menu items' shortcuts work in another window of the program too (a tool window).
    void lendShortcuts(QWidget* other) const;

    // The oldest drop of files on the window not yet taken (each raised one kEventDropFiles).
    DroppedFiles takeDroppedFiles();

    // Gadgets without identifier.
    void createFrame(const Rect& rect, std::string_view caption);
    void createLabel(const Rect& rect, std::string_view text, bool centred = false);
    void createImage(const Rect& rect, const Image* image, bool sunkenBorder = false);   // banner

    Panel& createPanel(int id, const Rect& rect);
    void addTab(std::string_view text);   // following gadgets go on this tab's page
    void closeGadgetList();                // following gadgets go on the client area again

    ListView& createListView(int id, const Rect& rect, const std::vector<ListColumn>& columns,
                             const ListViewOptions& options);
    ExplorerList& createExplorerList(int id, const Rect& rect, std::string_view folder);
    TextField& createTextField(int id, const Rect& rect, std::string_view text, bool digitsOnly = false);
    Label& createTextLabel(int id, const Rect& rect, std::string_view text, bool centred = false);
    ChoiceBox& createChoiceBox(int id, const Rect& rect);
    EditableChoiceBox& createEditableChoiceBox(int id, const Rect& rect, int dropDownHeight = 350);
    SpinBox& createSpinBox(int id, const Rect& rect, int minimum, int maximum);
    ImageGadget& createImageGadget(int id, const Rect& rect, bool sunkenBorder);
    Button& createButton(int id, const Rect& rect, std::string_view text);
    ProblemList& createProblemList(int id, const Rect& rect);

    Gadgets& gadgets();
    const Gadgets& gadgets() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace marquetor::platform
