#include "editor/recoverykeeper.h"

#include <cerrno>
#include <ctime>
#include <utility>

#include "editor/session.h"
#include "fileio/replacefile.h"

namespace marquetor::editor {

namespace {

constexpr unsigned kPrivateFile = 0600;
// After a copy could not be written (a full disk), the next try waits this long.
constexpr auto kRetryDelay = std::chrono::seconds(30);

// Writes the note, then syncs and names the copy: off the main thread, with nothing of the
// document (the copy's bytes are in its file already).
bool finishCopy(std::filesystem::path entry, std::unique_ptr<fileio::StagedFile> copy, std::string noteText) {
    fileio::StagedFile note;
    if (!note.start(entry, kPrivateFile)) return false;
    if (!fileio::WriteAll(note.descriptor(), reinterpret_cast<const std::uint8_t*>(noteText.data()),
                          noteText.size()))
        return false;
    if (!note.commit(recovery::Entry::kNoteName)) return false;
    return copy->commit(recovery::Entry::kCopyName);
}


}  // namespace

RecoveryKeeper::~RecoveryKeeper() {
    dropWriting();
    collectFinished(true);
    if (m_entry) m_entry->remove();
}

void RecoveryKeeper::begin(std::unique_ptr<recovery::Entry> own) { m_entry = std::move(own); }

void RecoveryKeeper::adopt(std::unique_ptr<recovery::Entry> entry, const Session& session) {
    dropWriting();
    collectFinished(true);
    if (m_entry) m_entry->remove();
    m_entry = std::move(entry);
    m_copiedChange = m_seenChange = session.changeCount();
    m_copiedMark = m_seenMark = session.markCount();
    m_staleSince.reset();
}

void RecoveryKeeper::dropWriting() {
    m_writer.reset();
    m_staged.reset();
}

void RecoveryKeeper::removeCopy() {
    dropWriting();
    collectFinished(true);
    if (m_entry && m_copiedChange != ~std::uint64_t{0}) m_entry->removeCopy();
    m_copiedChange = ~std::uint64_t{0};
}

void RecoveryKeeper::collectFinished(bool wait) {
    if (!m_finishing.valid()) return;
    if (!wait && m_finishing.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    if (m_finishing.get()) {
        m_copiedChange = m_finishingChange;
    } else {
        m_retryAfter = Clock::now() + kRetryDelay;
    }
}

void RecoveryKeeper::waitForFinish() { collectFinished(true); }

bool RecoveryKeeper::upToDate(const Session& session) const {
    if (m_finishing.valid() || m_seenMark != session.markCount()) return false;
    const std::uint64_t change = session.changeCount();
    return (m_copiedChange == change && m_copiedMark == session.markCount()) || m_cleanAt == change;
}

void RecoveryKeeper::startCopy(const Session& session, Clock::time_point now) {
    auto staged = std::make_unique<fileio::StagedFile>();
    if (!staged->start(m_entry->path(), kPrivateFile)) {
        m_retryAfter = now + kRetryDelay;
        return;
    }
    const SavedMark& mark = session.savedMark();
    recovery::Note note;
    note.path = mark.path;
    note.identity = mark.identity;
    note.writtenAt = static_cast<std::int64_t>(std::time(nullptr));
    m_noteText = recovery::NoteText(note);
    m_staged = std::move(staged);
    m_writer = std::make_unique<tilesetfile::SliceWriter>(session.doc());
    m_writingChange = session.changeCount();
}

void RecoveryKeeper::cycle(const Session& session, bool idle) {
    if (!m_entry) return;
    const Clock::time_point now = Clock::now();
    const std::uint64_t change = session.changeCount();
    const std::uint64_t mark = session.markCount();
    collectFinished(false);
    if (change != m_seenChange || mark != m_seenMark) {
        m_seenChange = change;
        m_lastChangeAt = now;
        if (!m_staleSince) m_staleSince = now;
        // The copy being written is of a document that is no more.
        if (m_writer) dropWriting();
        if (mark != m_seenMark) {
            m_seenMark = mark;
            // A save, an open or New: what was copied may be nothing unsaved now, or belong
            // to another file. Saved or opened, the document's answer is already known.
            if (!session.hasUnsavedChanges()) {
                removeCopy();
                m_cleanAt = change;
                m_staleSince.reset();
                return;
            }
        }
    }
    if (!idle || m_finishing.valid() || now < m_retryAfter) return;
    if (!m_writer) {
        if (change == m_cleanAt || (m_copiedChange == change && m_copiedMark == mark)) {
            m_staleSince.reset();
            return;
        }
        const bool quiet = now - m_lastChangeAt >= timing.quiet;
        const bool overdue = m_staleSince && now - *m_staleSince >= timing.longest;
        if (!quiet && !overdue) return;
        // Edits that cancel out leave nothing to recover.
        if (!session.hasUnsavedChanges()) {
            removeCopy();
            m_cleanAt = change;
            m_staleSince.reset();
            return;
        }
        startCopy(session, now);
        if (!m_writer) return;
    }
    const tilesetfile::SliceWriter::Step step = m_writer->writeSome(m_staged->descriptor(), Clock::now() + timing.slice);
    if (step == tilesetfile::SliceWriter::Step::Failed) {
        dropWriting();
        m_retryAfter = now + kRetryDelay;
        return;
    }
    if (step == tilesetfile::SliceWriter::Step::More) return;
    m_writer.reset();
    m_finishingChange = m_writingChange;
    m_copiedMark = mark;
    m_staleSince.reset();
    m_finishing = std::async(std::launch::async, finishCopy, m_entry->path(), std::move(m_staged), std::move(m_noteText));
}

}  // namespace marquetor::editor
