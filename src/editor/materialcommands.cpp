#include "editor/materialcommands.h"

#include <utility>

#include "document/restore.h"
#include "editor/session.h"

namespace marquetor::editor {

namespace {

using document::Material;

// Add and Delete: a record that one side of the change has in the list and the other has
// not. Taken out, the command holds it, so that the same record comes back.
class MaterialRecordCommand final : public Command {
public:
    MaterialRecordCommand(bool add, std::unique_ptr<Material> held, std::size_t position)
        : m_add(add), m_held(std::move(held)), m_position(position) {
        if (m_held) m_name = m_held->name;
    }
    std::string name() const override { return (m_add ? "Add Material " : "Delete Material ") + ShortName(m_name); }

protected:
    unsigned apply(Session& session) override {
        m_cursorBefore = session.doc().materials.cursor();
        return m_add ? putIn(session) : takeOut(session);
    }
    unsigned revert(Session& session) override {
        const unsigned parts = m_add ? takeOut(session) : putIn(session);
        session.documentToChange().materials.selectAt(m_cursorBefore);
        return parts;
    }

private:
    unsigned takeOut(Session& session) {
        m_held = document::TakeMaterial(session.documentToChange(), m_position);
        if (!m_held) return 0;
        m_name = m_held->name;
        return part::Materials;
    }
    unsigned putIn(Session& session) {
        if (!m_held || !document::PutMaterial(session.documentToChange(), m_position, std::move(m_held))) return 0;
        m_held.reset();
        return part::Materials;
    }

    bool m_add;
    std::unique_ptr<Material> m_held;   // null while the document holds the record
    std::size_t m_position;
    std::string m_name;
    int m_cursorBefore = -1;   // the list's cursor before the change
};

void setValues(document::TileSet& doc, Material& material, const MaterialValues& values) {
    // The name is free: Update checked it, and the history puts back only names that were
    // there at this point.
    if (material.name != values.name) document::RenameMaterial(doc, material, values.name);
    material.color = values.color;
    material.description = values.description;
}

class EditMaterialCommand final : public Command {
public:
    EditMaterialCommand(std::size_t position, MaterialValues after) : m_position(position), m_after(std::move(after)) {}
    std::string name() const override { return "Update Material " + ShortName(m_after.name); }

protected:
    unsigned apply(Session& session) override {
        document::TileSet& doc = session.documentToChange();
        if (m_position >= doc.materials.size()) return 0;
        Material& material = doc.materials.at(m_position);
        m_before = ValuesOf(material);
        if (m_after == m_before) return 0;
        // Two materials never share a name: Delete finds its material through the index.
        if (m_after.name != material.name && document::FindMaterial(doc, m_after.name) != nullptr) return 0;
        setValues(doc, material, m_after);
        return part::Materials;
    }
    unsigned revert(Session& session) override {
        document::TileSet& doc = session.documentToChange();
        setValues(doc, doc.materials.at(m_position), m_before);
        return part::Materials;
    }

private:
    std::size_t m_position;
    MaterialValues m_after;
    MaterialValues m_before;
};

// A sort: the command holds the other order of the same records, the sorted one until it
// is done and the one before it while it is applied, so each way costs one pass.
class SortMaterialsCommand final : public Command {
public:
    explicit SortMaterialsCommand(std::vector<Material*> order) : m_other(std::move(order)) {}
    std::string name() const override { return "Sort Materials"; }
    std::size_t heldBytes() const override { return m_other.size() * sizeof(m_other[0]); }

protected:
    unsigned apply(Session& session) override { return swap(session); }
    unsigned revert(Session& session) override { return swap(session); }

private:
    unsigned swap(Session& session) {
        document::TileSet& doc = session.documentToChange();
        std::vector<Material*> current = document::MaterialOrder(doc);
        if (!document::ReorderMaterials(doc, m_other)) return 0;
        m_other = std::move(current);
        return part::Materials;
    }
    std::vector<Material*> m_other;
};

}  // namespace

MaterialValues ValuesOf(const Material& material) { return {material.name, material.color, material.description}; }

std::unique_ptr<Command> InsertMaterial(MaterialValues values, std::size_t position) {
    auto material = std::make_unique<Material>();
    material->name = std::move(values.name);
    material->color = values.color;
    material->description = document::CutDescription(values.description);
    return std::make_unique<MaterialRecordCommand>(true, std::move(material), position);
}

std::unique_ptr<Command> EditMaterial(std::size_t position, MaterialValues values) {
    return std::make_unique<EditMaterialCommand>(position, std::move(values));
}

std::unique_ptr<Command> RemoveMaterial(std::size_t position) {
    return std::make_unique<MaterialRecordCommand>(false, nullptr, position);
}

std::unique_ptr<Command> SortMaterialList(std::vector<Material*> order) {
    return std::make_unique<SortMaterialsCommand>(std::move(order));
}

}  // namespace marquetor::editor
