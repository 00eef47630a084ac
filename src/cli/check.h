#pragma once
// mrqt check: the findings of the shared rules (problems/problems.h), one line each or as a
// JSON array.

#include <functional>
#include <string>

#include "document/tileset.h"
#include "problems/problems.h"

namespace marquetor::cli {

using problems::AppendFindingText;
using problems::Finding;
using problems::Problem;
using problems::ProblemName;

// Every finding of the tile set, each texture decoded at full size as a game shows it.
void CheckTileSet(const document::TileSet& set, bool dataEndedEarly, const std::function<void(const Finding&)>& report);

// A finding as one JSON object: "problem", "record", what identifies the record, "message".
void AppendFindingJson(std::string& out, const Finding& finding);

}  // namespace marquetor::cli
