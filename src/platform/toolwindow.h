#pragma once
// A window of its own beside the main window (the tile palette): resizable, its gadgets in
// rows that follow its size, built in order like a form. Its gadgets join the main
// window's registry (and leave it when the tool window goes) and raise their events into
// the same queue, so the editor handles them
// in its loop like every other gadget. It belongs to the main window: it goes when that
// goes, and the main window's menu shortcuts work in it too. Its close box hides it.
//
// Rows go from top to bottom; beginRow() .. endRow() puts gadgets side by side. A cell grid
// takes the height left over. addPages() starts tabbed pages: addPage() makes the following
// rows part of that page, closePages() returns to the window.

#include <memory>
#include <string>
#include <string_view>

#include "platform/cellgrid.h"
#include "platform/events.h"
#include "platform/gadgets.h"

class QWidget;

namespace marquetor::platform {

class Window;

struct ToolWindowSettings {
    std::string title;
    int width = 640;    // the size it opens with (cut to the screen)
    int height = 600;
};

class ToolWindow {
public:
    ToolWindow(EventQueue& queue, Gadgets& gadgets);
    ~ToolWindow();
    ToolWindow(const ToolWindow&) = delete;
    ToolWindow& operator=(const ToolWindow&) = delete;

    // Builds the window, hidden. `owner` must be open.
    void create(const Window& owner, const ToolWindowSettings& settings);
    bool created() const;
    // Shows the window (the first time beside the owner: to its right where the screen has
    // room, else to its left) and brings it to the front, the keyboard focus on `focus`.
    void show(int focus);
    void hide();
    bool isVisible() const;
    bool isActive() const;
    QWidget* widget() const;

    void beginRow();
    void endRow();
    void addLabel(std::string_view text);
    void addStretch();
    // A text field for a filter: Escape empties it, Ctrl+F (anywhere in the window) puts the
    // focus back in it. `placeholder` shows while it is empty.
    TextField& addFilterField(int id, std::string_view placeholder);
    Panel& addPages(int id);
    void addPage(std::string_view title);
    void closePages();
    // Its pictures come from the window's one cache, shared by its grids. The window's zoom
    // keys (Ctrl++, Ctrl+=, Ctrl+-) zoom the grid that is shown.
    CellGrid& addCellGrid(int id);
    // Nothing chosen shows `placeholder`.
    ChoiceBox& addChoiceBox(int id, std::string_view placeholder, int width);
    // The minimum shows `minimumText` instead of its number.
    SpinBox& addSpinBox(int id, int minimum, int maximum, std::string_view minimumText, int width);
    Button& addButton(int id, std::string_view text);
    Label& addTextLabel(int id);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace marquetor::platform
