#include "editor/materialstab.h"

#include <vector>

#include "document/text.h"

namespace marquetor::editor {

void HandleMaterialsGadget(Editor& /*ed*/, int /*gadget*/) {
    // The tab's handlers join with the Materials tab; until then its gadgets only show.
}

std::string MaterialRowText(const document::Material& material) {
    return material.name + "\n" + document::ColorText(material.color);
}

void RebuildMaterialLists(Editor& ed) {
    std::vector<std::string> rows;
    std::vector<std::string> names;
    rows.reserve(ed.doc.materials.size());
    names.reserve(ed.doc.materials.size());
    for (const auto& material : ed.doc.materials.items()) {
        rows.push_back(MaterialRowText(*material));
        names.push_back(material->name);
    }
    ed.gadgets().listView(gadget::MaterialsList).setRows(std::move(rows));
    ed.gadgets().choiceBox(gadget::TileMaterial).setItems(std::move(names));
}

void PaintSwatch(Editor& ed, std::int32_t color) {
    ed.swatch.fill(color);
    ed.gadgets().image(gadget::ColorSwatch).setImage(&ed.swatch);
}

void ResetMaterialFields(Editor& ed) {
    platform::Gadgets& g = ed.gadgets();
    g.textField(gadget::MaterialName).setText("");
    g.textField(gadget::Red).setText("0");
    g.textField(gadget::Green).setText("0");
    g.textField(gadget::Blue).setText("0");
    PaintSwatch(ed, 0);
    g.textField(gadget::Description).setText("");
}

}  // namespace marquetor::editor
