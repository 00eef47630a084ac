#pragma once
// mrqt export and mrqt import: tile sets to and from Tiled (src/tiled does the work).

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace marquetor::cli {

struct TiledArguments {
    CLI::App* exportCommand = nullptr;
    CLI::App* importCommand = nullptr;
    std::string in, out, images, tile;
    int margin = 0, spacing = 0;
    bool png = false, renumber = false;
};

// Adds the two commands to mrqt's parser; their values land in `args`.
void AddTiledCommands(CLI::App& app, TiledArguments& args);

// Runs the command that was parsed, if it is one of the two: true with its exit status.
bool RunTiledCommand(const TiledArguments& args, std::ostream& out, std::ostream& err, int& status);

}  // namespace marquetor::cli
