// What every command of mrqt shares: help, version, usage errors, standard input and
// output, messages; and the places that list the commands.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

#include "document/tileset.h"
#include "process.h"
#include "tilesetfile/format.h"

using namespace marquetor;
using namespace mrqttest;

namespace {

const std::vector<std::string> kCommands{"dump", "build", "check", "resave", "extract", "export", "import", "help"};

}  // namespace

class Conventions : public ScratchFolder {};

TEST_F(Conventions, HelpForEveryCommandAndTheVersion) {
    const Outcome overview = run({"--help"});
    EXPECT_EQ(overview.status, 0);
    for (const std::string& command : kCommands) {
        EXPECT_NE(overview.out.find("  mrqt " + command + " "), std::string::npos) << command;
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {command, "--help"}, {command, "-h"}, {"help", command}}) {
            if (command == "help" && args[0] == "help" && args.size() == 2 && args[1] == "help") continue;
            const Outcome r = run(args);
            EXPECT_EQ(r.status, 0) << args[0] << " " << args[1] << r.err;
            EXPECT_EQ(r.out.find("Usage: mrqt " + command), r.out.find('\n') + 1) << r.out;
            EXPECT_EQ(r.err, "");
        }
    }
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("mrqt ") + MRQT_EXPECTED_VERSION + "\n");
}

TEST_F(Conventions, UsageErrorsSayWhatAndHowInTwoLines) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--frob"}, {"dump", "--frob", "x"}, {"check", "-j", "x"}, {"build", "a", "b"}, {"resave", "a", "b", "c"},
             {"extract"}, {"frobnicate"}, {"help", "frobnicate"}, {"--version", "x"}}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(lines(r.err), 2u) << r.err;
        EXPECT_EQ(r.err.rfind("mrqt: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("\nUsage: mrqt "), std::string::npos) << r.err;
    }
    EXPECT_NE(run({"dump", "--frob", "x"}).err.find("unknown option \"--frob\""), std::string::npos);
    EXPECT_NE(run({"frobnicate"}).err.find("unknown command \"frobnicate\""), std::string::npos);
    // "--" ends the options: a file may start with a dash.
    const Outcome dashed = run({"dump", "--", "-x.mrqt"});
    EXPECT_EQ(dashed.status, 1);
    EXPECT_NE(dashed.err.find("-x.mrqt"), std::string::npos);
}

TEST_F(Conventions, DashIsStandardInputAndOutput) {
    document::TileSet set;
    document::AddTileGroup(set, 1);
    document::AddMaterial(set, "Stone", 7, "grey");
    document::PutTexture(set, "rock.png", block("rock"), 4);
    document::AddTile(set, 1, 3, "rock.png", "Stone", 1, 1);
    const std::string bytes = text(tilesetfile::SaveTileSetToMemory(set));
    writeFile(dir / "set.mrqt", bytes);

    EXPECT_EQ(run({"dump", "-"}, bytes).out, run({"dump", "set.mrqt"}).out);
    const Outcome resaved = run({"resave", "-", "-"}, bytes);
    EXPECT_EQ(resaved.status, 0);
    EXPECT_EQ(resaved.out, bytes);
    EXPECT_EQ(run({"resave", "set.mrqt", "-"}).out, bytes);
    EXPECT_EQ(run({"extract", "-", "out"}, bytes).status, 0);
    EXPECT_EQ(readFile(dir / "out" / "rock.png"), "rock");
    EXPECT_EQ(run({"check", "-"}, bytes).status, 1);   // "rock" is no picture
    // A file named "-" is reached as ./-
    writeFile(dir / "-", bytes);
    EXPECT_EQ(run({"dump", "./-"}).status, 0);

    // Every failure is one message line that starts with "mrqt: ".
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"dump", "missing.mrqt"}, {"check", "missing.mrqt"}, {"resave", "missing.mrqt", "o.mrqt"},
             {"extract", "missing.mrqt", "d"}, {"build", "missing.json", ".", "o.mrqt"}, {"dump", "-"}}) {
        const Outcome r = run(args, "not a tile set");
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(lines(r.err), 1u) << r.err;
        EXPECT_EQ(r.err.rfind("mrqt: ", 0), 0u) << r.err;
        EXPECT_FALSE(fs::exists(dir / "o.mrqt"));
    }
}

TEST(Documentation, ReadmeManPageAndHelpListEveryCommand) {
    const std::string readme = readFile(MRQT_README);
    const std::string man = readFile(MRQT_MAN_PAGE);
    ASSERT_FALSE(readme.empty());
    ASSERT_FALSE(man.empty());
    for (const std::string& command : kCommands) {
        EXPECT_NE(readme.find("mrqt " + command), std::string::npos) << command;
        EXPECT_NE(man.find(".B mrqt " + command), std::string::npos) << command;
    }
    EXPECT_NE(readme.find("mrqt --version"), std::string::npos);
    EXPECT_NE(man.find("\\-\\-version"), std::string::npos);
}

#if MARQUETOR_INTEGRATION_TESTS
// git runs mrqt dump as the README sets it up: what git does is no matter for the
// sanitizers, so the sanitizer build leaves this out.
TEST_F(Conventions, GitDiffShowsTheChangedMaterialLine) {
    if (std::system("git --version > /dev/null 2>&1") != 0) GTEST_FAIL() << "git is missing (scripts/install-deps.sh installs it)";
    auto save = [&](std::int32_t color) {
        document::TileSet set;
        document::AddTileGroup(set, 1);
        document::AddMaterial(set, "Grass", 0x3CA056, "soft");
        document::AddMaterial(set, "Stone", color, "hard");
        document::PutTexture(set, "rock.png", block("rock"), 4);
        ASSERT_TRUE(tilesetfile::SaveTileSet(set, dir / "repo" / "level.mrqt").ok);
    };
    fs::create_directories(dir / "repo");
    // The recipe of the README: an attribute in the repository, the textconv in its config.
    writeFile(dir / "repo" / ".gitattributes", "*.mrqt diff=mrqt\n");
    const std::string git = "cd '" + (dir / "repo").string() +
                            "' && HOME='" + dir.string() + "' GIT_CONFIG_NOSYSTEM=1 git -c user.name=t -c user.email=t@t ";
    ASSERT_EQ(std::system((git + "init -q && " + git + "config diff.mrqt.textconv '" + MRQT_PROGRAM + " dump'").c_str()), 0);
    save(0x808080);
    ASSERT_EQ(std::system((git + "add -A && " + git + "commit -qm one").c_str()), 0);
    save(0x707070);
    ASSERT_EQ(std::system((git + "commit -qam two && " + git + "diff HEAD~1 HEAD > ../diff.txt").c_str()), 0);
    const std::string diff = readFile(dir / "diff.txt");
    EXPECT_NE(diff.find("\n-    {\"name\":\"Stone\",\"color\":8421504,\"red\":128,\"green\":128,\"blue\":128,"
                        "\"description\":\"hard\"}\n"), std::string::npos) << diff;
    EXPECT_NE(diff.find("\n+    {\"name\":\"Stone\",\"color\":7368816,\"red\":112,\"green\":112,\"blue\":112,"
                        "\"description\":\"hard\"}"), std::string::npos) << diff;
    // Only that line changed: the unchanged material is context, not a change.
    EXPECT_EQ(diff.find("-    {\"name\":\"Grass\""), std::string::npos) << diff;
}
#endif
