#pragma once
// Changes of the document. Every change the editor makes is a command handed to the session
// (session.h): its first do runs the same code as each redo, its undo is the inverse, both
// act on the document and the session only (never on gadgets), and each says which parts
// of the document it changed so that the screen can follow (refresh.h).

#include <string>
#include <string_view>

#include "editor/history.h"

namespace marquetor::editor {

class Session;

// What a change touched: the parts of the document the tabs show, and the saved mark.
namespace part {
inline constexpr unsigned TileSize = 1u;     // the tile width or height
inline constexpr unsigned Materials = 2u;    // materials added, removed, changed or reordered
inline constexpr unsigned Textures = 4u;     // textures added or removed
inline constexpr unsigned Tiles = 8u;        // tiles added, removed or reordered
inline constexpr unsigned TileValues = 16u;  // tiles' texture, material, layer or collision
inline constexpr unsigned Everything = 31u;  // the whole content (New)
inline constexpr unsigned File = 32u;        // the saved mark: the file, what counts as saved
}  // namespace part

class Command : public Step {
public:
    unsigned redo() final { return m_session ? apply(*m_session) : 0; }
    unsigned undo() final { return m_session ? revert(*m_session) : 0; }

protected:
    // Makes the change, the first time and at every redo; the parts it changed. 0 when it
    // cannot be made (the document is then as it was) or changes nothing.
    virtual unsigned apply(Session& session) = 0;
    // Puts the document back as apply found it; the parts that changed.
    virtual unsigned revert(Session& session) = 0;

private:
    friend class Session;   // gives a command the session it runs in
    Session* m_session = nullptr;
};

// A name cut for a menu: at most maxCharacters characters, "..." where it was cut.
std::string ShortName(std::string_view bytes, std::size_t maxCharacters = 32);
// "1 Tile", "50 Tiles": how a step names a number of records.
std::string CountName(std::size_t count, std::string_view one, std::string_view many);

}  // namespace marquetor::editor
