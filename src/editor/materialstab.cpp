#include "editor/materialstab.h"

#include <algorithm>
#include <string_view>

#include "document/restore.h"
#include "document/text.h"
#include "editor/materialcommands.h"
#include "editor/refresh.h"

namespace marquetor::editor {

namespace {

constexpr int kComponentMax = 255;

// Whether a component field's text stands for a number above 255. The fields take digits
// only, so the text is a decimal number; one of more than three significant digits is
// above 255 even when reading it into 64 bits would wrap around to something small.
bool componentTooLarge(std::string_view text) {
    if (document::TextToNumber(text) > kComponentMax) return true;
    std::size_t first = 0;
    while (first < text.size() && text[first] == '0') ++first;
    std::size_t digits = 0;
    while (first + digits < text.size() && text[first + digits] >= '0' && text[first + digits] <= '9') ++digits;
    return digits > 3;
}

// A component as the colour takes it: never outside 0..255, so that one component can
// never spill into the bits of its neighbour.
std::int64_t componentOf(std::string_view text) {
    if (componentTooLarge(text)) return kComponentMax;
    const std::int64_t value = document::TextToNumber(text);
    return value < 0 ? 0 : value;
}

// Red + 256 x green + 65536 x blue from the R, G and B fields; an empty field counts 0.
std::int32_t colorFromFields(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    return document::MakeColor(componentOf(g.textField(gadget::Red).text()),
                               componentOf(g.textField(gadget::Green).text()),
                               componentOf(g.textField(gadget::Blue).text()));
}

void showColorInFields(Editor& ed, std::int32_t color) {
    platform::Gadgets& g = ed.gadgets();
    g.textField(gadget::Red).setText(document::NumberToText(document::ColorRed(color)));
    g.textField(gadget::Green).setText(document::NumberToText(document::ColorGreen(color)));
    g.textField(gadget::Blue).setText(document::NumberToText(document::ColorBlue(color)));
}

// The description as the document stores it. Typed text is UTF-8: when the 64-byte cut
// would split a character, the cut moves back to that character's first byte. Text the
// user did not edit comes from a stored description and is never longer than 64 bytes, so
// it goes back as it is.
std::string descriptionFromField(std::string_view text) {
    std::string cut = document::CutDescription(text);
    if (cut.size() == document::kDescriptionSize && text.size() > document::kDescriptionSize &&
        document::IsValidUtf8(text)) {
        std::size_t end = document::kDescriptionSize;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u) --end;
        cut.resize(end);
    }
    return cut;
}

// The material of a row, or null when the row does not denote one.
const document::Material* materialAt(const Editor& ed, int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= ed.doc().materials.size()) return nullptr;
    return &ed.doc().materials.at(static_cast<std::size_t>(row));
}

// What the edit fields hold, as a material stores it.
MaterialValues valuesFromFields(Editor& ed, std::string name) {
    const std::string description = descriptionFromField(ed.gadgets().textField(gadget::Description).text());
    return {std::move(name), colorFromFields(ed), description};
}

// Gadget 4: the selected row becomes the current row and fills the edit buffer.
void selectionChanged(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    const int row = g.listView(gadget::MaterialsList).selectedRow();
    const document::Material* material = materialAt(ed, row);
    ed.currentMaterialRow = material ? row : -1;
    if (!material) return;   // nothing selected: the fields keep what they hold
    g.textField(gadget::MaterialName).setText(material->name);
    showColorInFields(ed, material->color);
    PaintSwatch(ed, material->color);
    g.textField(gadget::Description).setText(material->description);
}

// Gadget 6: the colour chooser, starting from the fields' colour. It changes only the
// edit buffer.
void chooseColor(Editor& ed) {
    const std::int32_t chosen = ed.dialogs.chooseColor(colorFromFields(ed));
    if (chosen < 0) return;   // cancelled
    const std::int32_t color = chosen & 0xFFFFFF;
    showColorInFields(ed, color);
    PaintSwatch(ed, color);
}

// Gadgets 8, 9, 10: no field keeps a value above 255, and the swatch follows every change.
// An empty field stays empty.
void componentChanged(Editor& ed, int field) {
    platform::TextField& text = ed.gadgets().textField(field);
    if (componentTooLarge(text.text())) text.setText("255");
    PaintSwatch(ed, colorFromFields(ed));
}

// Gadget 12: a new material behind the current row (at the end when none is current).
void addMaterial(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    const std::string name = g.textField(gadget::MaterialName).text();
    if (name.empty()) {
        ed.message("No material name!");
        return;
    }
    if (!materialAt(ed, ed.currentMaterialRow)) ed.currentMaterialRow = -1;
    if (document::FindMaterial(ed.doc(), name) != nullptr) {
        ed.message("The material already exists!");
        return;
    }
    const std::size_t position =
        ed.currentMaterialRow != -1 ? static_cast<std::size_t>(ed.currentMaterialRow) + 1 : ed.doc().materials.size();
    Refresh(ed, ed.session.run(InsertMaterial(valuesFromFields(ed, name), position)));
    ed.currentMaterialRow = static_cast<int>(position);
    // The selection reaches the selection handler in a later cycle, which loads the fields
    // from the material as stored.
    g.listView(gadget::MaterialsList).selectRow(ed.currentMaterialRow);
}

// Gadget 13: the current material takes the fields' values in place.
void updateMaterial(Editor& ed) {
    const document::Material* material = materialAt(ed, ed.currentMaterialRow);
    if (!material) return;
    platform::Gadgets& g = ed.gadgets();
    // An unedited field gives back the stored bytes, so a plain comparison tells whether
    // the user changed the name.
    const std::string name = g.textField(gadget::MaterialName).text();
    if (name.empty()) {
        ed.message("No material name!");
        return;
    }
    // Two materials never share a name: Delete finds its material through the index.
    if (name != material->name && document::FindMaterial(ed.doc(), name) != nullptr) {
        ed.message("The material already exists!");
        return;
    }
    // An Update that leaves everything as it was is no change (and no step).
    ed.session.run(EditMaterial(static_cast<std::size_t>(ed.currentMaterialRow), valuesFromFields(ed, name)));
    // The lists are rebuilt either way, which leaves no row selected; the current row stays,
    // so a further Update or Delete acts on the same material.
    Refresh(ed, part::Materials);
}

// Gadget 14: the current material goes; the row above becomes current and selected.
void deleteMaterial(Editor& ed) {
    if (!materialAt(ed, ed.currentMaterialRow)) return;
    // Removed as DeleteMaterial removes it (the name's one material, the cursor to the one
    // before), but kept by the history so that Undo puts the same record back.
    Refresh(ed, ed.session.run(RemoveMaterial(static_cast<std::size_t>(ed.currentMaterialRow))));
    ed.currentMaterialRow -= 1;
    // Selecting row -1 clears the selection; the fields then keep the deleted material.
    ed.gadgets().listView(gadget::MaterialsList).selectRow(ed.currentMaterialRow);
}

// Gadget 15: by name in unsigned byte order; no row is current afterwards.
void sortMaterials(Editor& ed) {
    std::vector<document::Material*> sorted = document::SortedMaterialOrder(ed.doc());
    // A list already in order is no change; otherwise the old order is kept as pointers.
    const auto& items = ed.doc().materials.items();
    const bool moves = !std::equal(sorted.begin(), sorted.end(), items.begin(), items.end(),
                                   [](const document::Material* a, const auto& b) { return a == b.get(); });
    if (moves) ed.session.run(SortMaterialList(std::move(sorted)));
    // Rebuilt either way.
    Refresh(ed, part::Materials);
    ed.currentMaterialRow = -1;
    ed.gadgets().listView(gadget::MaterialsList).selectRow(-1);
}

}  // namespace

void HandleMaterialsGadget(Editor& ed, int gadget) {
    switch (gadget) {
    case gadget::MaterialsList: selectionChanged(ed); break;
    case gadget::ColorButton: chooseColor(ed); break;
    case gadget::Red:
    case gadget::Green:
    case gadget::Blue: componentChanged(ed, gadget); break;
    case gadget::MaterialAdd: addMaterial(ed); break;
    case gadget::MaterialUpdate: updateMaterial(ed); break;
    case gadget::MaterialDelete: deleteMaterial(ed); break;
    case gadget::MaterialSort: sortMaterials(ed); break;
    default: break;
    }
}

}  // namespace marquetor::editor
