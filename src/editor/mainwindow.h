#pragma once
// Start-up: the frame, the main window with its menu, banner and the four tabs with every
// gadget, the empty document and the start-up file.

#include <string>
#include <string_view>
#include <vector>

#include "editor/editor.h"

namespace marquetor::editor {

// Runs the start-up in order, up to (not including) the event loop. False when the main
// window could not be opened; the "ERROR!!" box has been shown then and nothing was built.
bool StartEditor(Editor& ed, std::string_view firstArgument);

// The items of the tile-size boxes: 32, 48, ... 256.
std::vector<std::string> TileSizeItems();

// One row of the layout: where a gadget sits on the client area or on its tab's page.
enum class LayoutKind {
    Frame, Label, TextField, DigitsField, TextLabel, ListView, Explorer, EditableChoice, Choice,
    Spin, Image, SunkenImage, Button,
};

struct LayoutRow {
    LayoutKind kind;
    int id;                 // 0 for gadgets without identifier (frames, plain labels)
    platform::Rect rect;
    std::string_view text = {};
    std::vector<platform::ListColumn> columns = {};   // list views only
    platform::ListViewOptions options = {};           // list views only
};

struct LayoutTab {
    std::string_view title;
    std::vector<LayoutRow> rows;
};

// The four tabs in order, each with its gadgets in creation (and Tab key) order.
const std::vector<LayoutTab>& LayoutTabs();

inline constexpr platform::Rect kBannerRect{0, 0, 512, 128};
inline constexpr platform::Rect kPanelRect{0, 128, 512, 616};
inline constexpr int kSwatchWidth = 216;
inline constexpr int kSwatchHeight = 54;

}  // namespace marquetor::editor
