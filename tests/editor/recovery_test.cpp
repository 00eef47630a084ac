// Recovery after a crash: real editor processes killed with SIGKILL, their copies offered at
// the next start; the copies' folder, files and modes on disk.

#include "fixture.h"

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "editor/filecommands.h"
#include "editor/eventloop.h"
#include "tilesetfile/format.h"

namespace fs = std::filesystem;
using namespace editor::gadget;

namespace {

constexpr char kChildState[] = "MARQUETOR_RECOVERY_CHILD_STATE";
constexpr char kChildFile[] = "MARQUETOR_RECOVERY_CHILD_FILE";
constexpr char kChildMaterial[] = "MARQUETOR_RECOVERY_CHILD_MATERIAL";
constexpr char kChildOut[] = "MARQUETOR_RECOVERY_CHILD_OUT";

std::string question(const std::string& name) {
    return "Marquetor was not closed normally. Restore the unsaved changes to " + name + "?";
}

std::vector<fs::path> entriesIn(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

unsigned modeOf(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFF;
}

std::vector<std::string> questionsShown(const platform::ScriptedDialogs& dialogs) {
    std::vector<std::string> texts;
    for (const auto& shown : dialogs.shown)
        if (shown.kind == "question") texts.push_back(shown.title + " | " + shown.text);
    return texts;
}

// A running program, ended with SIGKILL when the object goes.
struct Process {
    pid_t pid = -1;
    ~Process() { kill(); }
    void kill() {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
    }
    bool running() {
        int status = 0;
        return pid > 0 && ::waitpid(pid, &status, WNOHANG) == 0;
    }
};

// Starts a program with these variables added to the environment, in the working directory.
void spawn(Process& process, const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    // Ours first: the first of two same names is the one a program sees.
    std::vector<std::string> environment = env;
    for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    process.pid = ::fork();
    if (process.pid == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 1);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
}

bool waitFor(const std::function<bool()>& done, Process* process = nullptr) {
    for (int i = 0; i < 600; ++i) {
        if (done()) return true;
        if (process != nullptr && !process->running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class RecoveryTest : public EditorFixture {
protected:
    fs::path recoveryDir() const { return stateDir / "marquetor" / "recovery"; }

    // Copies are begun at once: the test need not wait for the editor to be left alone.
    void quickCopies() { ed->recovery.timing = {std::chrono::milliseconds(0), std::chrono::milliseconds(0)}; }
    // Runs idle cycles until the copy is the document as it is now.
    void keepCopy() {
        for (int i = 0; i < 10000 && !ed->recovery.upToDate(ed->session); ++i) {
            editor::RunCycle(*ed);
            ed->recovery.waitForFinish();
        }
        EXPECT_TRUE(ed->recovery.upToDate(ed->session));
    }
    void addMaterial(const std::string& name) {
        typeInto(MaterialName, name);
        typeInto(Red, "12");
        click(MaterialAdd);
    }
    // A tile set on disk with one material, as another session saved it.
    fs::path savedTileSet(const std::string& name) {
        document::TileSet set;
        set.tileWidth = 32;
        set.tileHeight = 32;
        document::AddTileGroup(set, document::kTileGroup);
        document::AddMaterial(set, "Old", 7, "saved before");
        const fs::path path = tileSetDir / name;
        EXPECT_TRUE(marquetor::tilesetfile::SaveTileSet(set, path).ok);
        return path;
    }

    // An editor in a process of its own (this test program, running RecoveryChild.Edit):
    // opens `file`, adds a material, keeps its copy, then runs until it is killed. The bytes
    // its document saves to are in `expected` once it is ready.
    void startEditorProcess(Process& process, const fs::path& file, const std::string& material,
                            const fs::path& expected) {
        spawn(process, {"/proc/self/exe", "--gtest_filter=RecoveryChild.Edit"},
              {std::string(kChildState) + "=" + stateDir.string(), std::string(kChildFile) + "=" + file.string(),
               std::string(kChildMaterial) + "=" + material, std::string(kChildOut) + "=" + expected.string()});
        ASSERT_TRUE(waitFor([&] { return fs::exists(expected.string() + ".ready"); }, &process))
            << "the editor process did not get ready";
    }
    // Kills it and removes the workspace it leaves behind.
    void killEditorProcess(Process& process, const fs::path& expected) {
        process.kill();
        std::ifstream in(expected.string() + ".root");
        std::string childRoot;
        std::getline(in, childRoot);
        if (childRoot.rfind("/tmp/", 0) == 0 || childRoot.find("marquetor-test-") != std::string::npos)
            fs::remove_all(childRoot);
    }
};

// The other side: the editor process of the tests above.
class RecoveryChild : public RecoveryTest {};

TEST_F(RecoveryChild, Edit) {
    const char* state = std::getenv(kChildState);
    if (state == nullptr) GTEST_SKIP() << "run by RecoveryTest as an editor process of its own";
    const std::string out = std::getenv(kChildOut);
    { std::ofstream(out + ".root") << root.string() << "\n"; }
    ::setenv("XDG_STATE_HOME", state, 1);
    stateDir = state;
    restart(std::getenv(kChildFile));
    quickCopies();
    addMaterial(std::getenv(kChildMaterial));
    typeInto(TileWidth, "96");
    settle();
    keepCopy();
    writeFile(out, marquetor::tilesetfile::SaveTileSetToMemory(ed->doc()));
    writeFile(out + ".ready", "");
    for (int i = 0; i < 12'000; ++i) editor::RunCycle(*ed);   // killed long before
    std::_Exit(1);
}

TEST_F(RecoveryTest, AKilledEditorsChangesComeBackAsTheFileWithUnsavedChanges) {
    const fs::path level = savedTileSet("level.mrqt");
    const fs::path expected = root / "expected.mrqt";
    Process child;
    startEditorProcess(child, level, "Brick", expected);
    killEditorProcess(child, expected);
    ASSERT_EQ(entriesIn(recoveryDir()).size(), 2u);   // this editor's and the killed one's

    // Yes: the killed editor's document, as that file with unsaved changes; the start-up
    // file is not opened.
    const fs::path other = savedTileSet("other.mrqt");
    dialogs.clearShown();
    dialogs.answers.push_back(platform::Answer::Yes);
    restart(other.string());
    EXPECT_EQ(questionsShown(dialogs),
              std::vector<std::string>{std::string(editor::kWindowTitle) + " | " + question(level.string())});
    EXPECT_EQ(g().label(InfoFile).text(), "File: " + level.string());
    EXPECT_EQ(g().label(InfoChanges).text(), "Unsaved changes: yes");
    EXPECT_EQ(ed->doc().materials.size(), 2u);
    EXPECT_EQ(ed->doc().tileWidth, 96);
    ASSERT_EQ(entriesIn(recoveryDir()).size(), 1u);   // the recovered entry is this editor's now

    // Save... proceeds as usual and writes what the killed editor's changes made.
    dialogs.paths.push_back(level.string());
    chooseMenu(editor::menu::Save);
    EXPECT_EQ(readFile(level), readFile(expected));
    EXPECT_EQ(g().label(InfoChanges).text(), "Unsaved changes: none");
    // Nothing unsaved: the copy goes; ending normally, the entry goes.
    settle();
    const fs::path entry = entriesIn(recoveryDir()).at(0);
    EXPECT_FALSE(fs::exists(entry / "document.mrqt"));
    ed.reset();
    EXPECT_TRUE(entriesIn(recoveryDir()).empty());

    // Nothing is offered again.
    dialogs.clearShown();
    restart("");
    EXPECT_TRUE(questionsShown(dialogs).empty());
}

TEST_F(RecoveryTest, TwoEditorsAtOnceFirstYesWinsTheRestStayNoDeletes) {
    const fs::path level = savedTileSet("level.mrqt");
    Process a;
    Process b;
    const fs::path expectedA = root / "a.mrqt";
    const fs::path expectedB = root / "b.mrqt";
    startEditorProcess(a, "", "Alpha", expectedA);
    startEditorProcess(b, level, "Beta", expectedB);

    // Both run, both have a copy: neither is offered, neither is touched.
    ASSERT_EQ(entriesIn(recoveryDir()).size(), 3u);
    std::vector<fs::path> before;
    for (const fs::path& entry : entriesIn(recoveryDir()))
        if (entry != ed->recovery.entry()->path()) before.push_back(entry);
    dialogs.clearShown();
    restart("");
    EXPECT_TRUE(questionsShown(dialogs).empty());
    for (const fs::path& entry : before) EXPECT_TRUE(fs::exists(entry / "document.mrqt")) << entry;

    killEditorProcess(a, expectedA);
    killEditorProcess(b, expectedB);
    // One question, the first answered Yes: the other stays.
    dialogs.clearShown();
    dialogs.answers.push_back(platform::Answer::Yes);
    restart("");
    auto asked = questionsShown(dialogs);
    ASSERT_EQ(asked.size(), 1u);
    const bool newFirst = asked[0].ends_with(question("the new tile set"));
    EXPECT_TRUE(newFirst || asked[0].ends_with(question(level.string()))) << asked[0];
    EXPECT_EQ(marquetor::tilesetfile::SaveTileSetToMemory(ed->doc()),
              [&] { std::string s = readFile(newFirst ? expectedA : expectedB); return std::vector<std::uint8_t>(s.begin(), s.end()); }());

    // The next start asks about the other one; No deletes it.
    dialogs.clearShown();
    restart("");
    asked = questionsShown(dialogs);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].ends_with(question(newFirst ? level.string() : "the new tile set"))) << asked[0];
    EXPECT_EQ(g().label(InfoFile).text(), "File: not saved yet");
    EXPECT_EQ(entriesIn(recoveryDir()).size(), 1u);   // only this editor's
    dialogs.clearShown();
    restart("");
    EXPECT_TRUE(questionsShown(dialogs).empty());
}

#ifdef MARQUETOR_PROGRAM
TEST_F(RecoveryTest, TheProgramsEntryIsNeverOfferedWhileItRunsAndGoesWhenItEnds) {
    ed.reset();
    Process program;
    spawn(program, {MARQUETOR_PROGRAM}, {"QT_QPA_PLATFORM=offscreen", "XDG_STATE_HOME=" + stateDir.string()});
    ASSERT_TRUE(waitFor([&] { return entriesIn(recoveryDir()).size() == 1; }, &program));
    const fs::path entry = entriesIn(recoveryDir()).at(0);
    // Its entry, made to look like one with unsaved changes: still never offered.
    writeFile(entry / "document.mrqt", marquetor::tilesetfile::SaveTileSetToMemory(document::TileSet{}));
    dialogs.clearShown();
    restart("");
    EXPECT_TRUE(questionsShown(dialogs).empty());
    EXPECT_TRUE(fs::exists(entry / "document.mrqt"));
    ASSERT_TRUE(program.running());

    // Killed, its entry is offered at the next start; No deletes it.
    program.kill();
    dialogs.clearShown();
    restart("");
    EXPECT_EQ(questionsShown(dialogs).size(), 1u);
    EXPECT_FALSE(fs::exists(entry));

    // An entry of a killed program that had nothing unsaved is removed without a word.
    ed.reset();
    Process second;
    spawn(second, {MARQUETOR_PROGRAM}, {"QT_QPA_PLATFORM=offscreen", "XDG_STATE_HOME=" + stateDir.string()});
    ASSERT_TRUE(waitFor([&] { return entriesIn(recoveryDir()).size() == 1; }, &second));
    second.kill();
    dialogs.clearShown();
    restart("");
    EXPECT_TRUE(questionsShown(dialogs).empty());
    EXPECT_EQ(entriesIn(recoveryDir()).size(), 1u);
}
#endif

TEST_F(RecoveryTest, TheCopyFollowsTheChangesAndIsTheUsersAloneWhateverTheUmask) {
    const mode_t oldMask = ::umask(0);
    ed.reset();
    fs::remove_all(stateDir);
    restart("");
    quickCopies();
    const fs::path entry = ed->recovery.entry()->path();
    const fs::path copy = entry / "document.mrqt";
    keepCopy();
    EXPECT_FALSE(fs::exists(copy));   // nothing unsaved, nothing copied

    addMaterial("Sand");
    keepCopy();
    EXPECT_EQ(readFile(copy), [&] { auto b = marquetor::tilesetfile::SaveTileSetToMemory(ed->doc()); return std::string(b.begin(), b.end()); }());
    EXPECT_EQ(modeOf(stateDir / "marquetor"), 0700u);
    EXPECT_EQ(modeOf(recoveryDir()), 0700u);
    EXPECT_EQ(modeOf(entry), 0700u);
    for (const char* file : {"lock", "document.mrqt", "note"}) EXPECT_EQ(modeOf(entry / file), 0600u) << file;
    // Only the entry's three files: no temporary file is left.
    EXPECT_EQ(entriesIn(entry).size(), 3u);

    // The next change is copied too; edits that cancel out leave nothing to copy.
    addMaterial("Clay");
    keepCopy();
    EXPECT_NE(readFile(copy).find("Clay"), std::string::npos);
    QTest::keyClick(window(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(window(), Qt::Key_Z, Qt::ControlModifier);
    settle();
    keepCopy();
    EXPECT_FALSE(fs::exists(copy));
    ::umask(oldMask);
}

}  // namespace
