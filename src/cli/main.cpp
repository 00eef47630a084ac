// mrqt: the command-line companion of the Marquetor editor.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return marquetor::cli::RunMrqt(args, std::cout, std::cerr);
}
