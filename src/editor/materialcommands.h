#pragma once
// The Materials tab's changes as commands (command.h): Add, Update, Delete and Sort. Each
// names its material by its position in the list, which stays right while the history is
// undone and redone in order.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/tileset.h"
#include "editor/command.h"

namespace marquetor::editor {

struct MaterialValues {
    std::string name;
    std::int32_t color = 0;
    std::string description;   // cut as the document stores it (CutDescription)
    bool operator==(const MaterialValues&) const = default;
};
MaterialValues ValuesOf(const document::Material& material);

// Add: a new material with these values at a position (the end when past it), the cursor on
// it. Refused (no step) when its name is taken. "Add Material Grass".
std::unique_ptr<Command> InsertMaterial(MaterialValues values, std::size_t position);
// Update: the material at a position takes these values; a new name must be free. No step
// when it already has them. "Update Material Grass" (the new name).
std::unique_ptr<Command> EditMaterial(std::size_t position, MaterialValues values);
// Delete: the material at a position goes, the cursor to the one before it (as
// DeleteMaterial). "Delete Material Grass".
std::unique_ptr<Command> RemoveMaterial(std::size_t position);
// Sort: the list takes an order of its own records (SortedMaterialOrder), the cursor staying
// at its position. "Sort Materials".
std::unique_ptr<Command> SortMaterialList(std::vector<document::Material*> order);

}  // namespace marquetor::editor
