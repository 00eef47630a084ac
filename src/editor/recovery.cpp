#include "editor/recovery.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "editor/editor.h"
#include "editor/recoveryfolder.h"
#include "editor/refresh.h"

namespace marquetor::editor {

namespace {

std::string recoveryQuestion(const std::string& path) {
    const std::string name = path.empty() ? std::string("the new tile set") : path;
    return "Marquetor was not closed normally. Restore the unsaved changes to " + name + "?";
}

}  // namespace

bool OfferRecovery(Editor& ed) {
    const std::filesystem::path folder = recovery::RecoveryFolder();
    std::unique_ptr<recovery::Entry> own = recovery::Entry::create(folder);
    if (!own) {
        // The editor works without; only its copies are missing.
        std::fprintf(stderr, "marquetor: no recovery copies can be kept in %s: %s\n", folder.c_str(),
                     std::strerror(errno));
        return false;
    }
    ed.recovery.begin(std::move(own));
    std::vector<std::unique_ptr<recovery::Entry>> abandoned = recovery::Entry::takeAbandoned(folder);
    for (auto& entry : abandoned) {
        const recovery::Note note = entry->readNote().value_or(recovery::Note{});
        const platform::Answer answer = ed.dialogs.question(ed.frame.title, recoveryQuestion(note.path), false);
        if (answer != platform::Answer::Yes) {
            entry->remove();
            continue;
        }
        SavedMark mark;
        mark.path = note.path;
        mark.identity = note.identity;
        const tilesetfile::LoadResult result = ed.session.recover(entry->copyPath().string(), std::move(mark));
        if (result.status != tilesetfile::LoadStatus::Ok) {
            // A copy that cannot be read back is of no use to anyone.
            ed.message("Could not be opened!");
            entry->remove();
            continue;
        }
        RefreshGadgets(ed);
        ed.recovery.adopt(std::move(entry), ed.session);
        return true;   // the other entries stay for the next start
    }
    return false;
}

namespace {

std::chrono::nanoseconds threadTime() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

}  // namespace

void KeepRecoveryCopy(Editor& ed) {
    const auto start = std::chrono::steady_clock::now();
    const auto startWork = threadTime();
    ed.recovery.cycle(ed.session, ed.frame.events.empty());
    const auto took = std::chrono::steady_clock::now() - start;
    const auto work = threadTime() - startWork;
    if (took > ed.recovery.longestSlice) ed.recovery.longestSlice = std::chrono::duration_cast<std::chrono::nanoseconds>(took);
    if (work > ed.recovery.longestSliceWork) ed.recovery.longestSliceWork = work;
}

}  // namespace marquetor::editor
