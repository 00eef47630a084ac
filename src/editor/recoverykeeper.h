#pragma once
// Recovery after a crash: while the document has unsaved changes, a copy of it is kept in
// this editor's entry of the recovery folder (recoveryfolder.h), brought up to date a few
// seconds after the changes stop (at most 30 seconds after a change), in slices written in
// cycles without user events, so that the loop never waits for it; the last sync and the
// naming of the file run on a thread of their own, which holds no document. The editor
// holds one (editor.h); recovery.h offers the copies back at start-up.

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "editor/recoveryfolder.h"
#include "fileio/stagedfile.h"
#include "tilesetfile/format.h"

namespace marquetor::editor {

class Session;

struct RecoveryTiming {
    // A copy is begun once the document has been left alone this long...
    std::chrono::milliseconds quiet{2000};
    // ...or, with changes going on, once the oldest change not in the copy is this old; a
    // copy of the largest documents is written within a few seconds after that.
    std::chrono::milliseconds longest{15000};
    // The longest one cycle writes.
    std::chrono::milliseconds slice{6};
};

class RecoveryKeeper {
public:
    RecoveryKeeper() = default;
    // The editor's normal end: its entry goes, copy and all.
    ~RecoveryKeeper();
    RecoveryKeeper(const RecoveryKeeper&) = delete;
    RecoveryKeeper& operator=(const RecoveryKeeper&) = delete;

    // This editor's entry, locked for its life; without one no copy is kept.
    void begin(std::unique_ptr<recovery::Entry> own);
    // A recovered entry becomes this editor's: its copy is the document now shown.
    void adopt(std::unique_ptr<recovery::Entry> entry, const Session& session);
    const recovery::Entry* entry() const { return m_entry.get(); }

    // Once per loop cycle, after its events: notes changes, and in a cycle that had no
    // user events moves the copy on by at most one slice.
    void cycle(const Session& session, bool idle);
    // Waits for a copy being finished (tests and the end).
    void waitForFinish();
    // Whether the copy on disk is the document as it is now (or none is needed: nothing is
    // unsaved).
    bool upToDate(const Session& session) const;

    RecoveryTiming timing;
    // The longest time one cycle spent on the copy so far (the decision to begin one, the
    // unsaved-changes answer it may need, a slice), for the benchmark.
    std::chrono::nanoseconds longestSlice{0};
    // The processor time of that kind of cycle at most: what is left of the figure above
    // once waits for the disk and for other programs are taken out.
    std::chrono::nanoseconds longestSliceWork{0};

private:
    using Clock = std::chrono::steady_clock;
    void dropWriting();
    void removeCopy();
    void collectFinished(bool wait);
    void startCopy(const Session& session, Clock::time_point now);

    std::unique_ptr<recovery::Entry> m_entry;
    // The copy being written.
    std::unique_ptr<fileio::StagedFile> m_staged;
    std::unique_ptr<tilesetfile::SliceWriter> m_writer;
    std::uint64_t m_writingChange = 0;
    std::string m_noteText;
    // The copy being synced and named on its own thread; true when it was.
    std::future<bool> m_finishing;
    std::uint64_t m_finishingChange = 0;

    // What the copy on disk is (~0: none).
    std::uint64_t m_copiedChange = ~std::uint64_t{0};
    std::uint64_t m_copiedMark = ~std::uint64_t{0};
    // The change and mark last seen, and when that change was seen.
    std::uint64_t m_seenChange = ~std::uint64_t{0};
    std::uint64_t m_seenMark = ~std::uint64_t{0};
    Clock::time_point m_lastChangeAt{};
    std::optional<Clock::time_point> m_staleSince;
    // A change at which the document was found to have nothing unsaved: no copy needed.
    std::uint64_t m_cleanAt = ~std::uint64_t{0};
    Clock::time_point m_retryAfter{};
};

}  // namespace marquetor::editor
