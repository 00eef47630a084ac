#include "platform/explorer.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QKeyEvent>
#include <QLocale>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "platform/textcodec.h"

namespace marquetor::platform {

namespace detail {

namespace {

// Names in the order a file manager shows them: letters without regard to case, runs of
// digits by their value ("file2" before "file10"), the bytes as the last word.
bool naturalLess(const FolderModel::Entry& a, const FolderModel::Entry& b) {
    const QString& x = a.shown;
    const QString& y = b.shown;
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < x.size() && j < y.size()) {
        if (x[i].isDigit() && y[j].isDigit()) {
            qsizetype iEnd = i;
            while (iEnd < x.size() && x[iEnd].isDigit()) ++iEnd;
            qsizetype jEnd = j;
            while (jEnd < y.size() && y[jEnd].isDigit()) ++jEnd;
            qsizetype iStart = i;
            while (iStart + 1 < iEnd && x[iStart] == u'0') ++iStart;
            qsizetype jStart = j;
            while (jStart + 1 < jEnd && y[jStart] == u'0') ++jStart;
            const qsizetype iLen = iEnd - iStart;
            const qsizetype jLen = jEnd - jStart;
            if (iLen != jLen) return iLen < jLen;
            const int c = QStringView(x).mid(iStart, iLen).compare(QStringView(y).mid(jStart, jLen));
            if (c != 0) return c < 0;
            i = iEnd;
            j = jEnd;
            continue;
        }
        const char32_t cx = x[i].toCaseFolded().unicode();
        const char32_t cy = y[j].toCaseFolded().unicode();
        if (cx != cy) return cx < cy;
        ++i;
        ++j;
    }
    if ((x.size() - i) != (y.size() - j)) return (x.size() - i) < (y.size() - j);
    return a.name < b.name;
}

QString modifiedText(const std::filesystem::file_time_type& time) {
    const auto system = std::chrono::file_clock::to_sys(time);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(seconds)).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

}  // namespace

// ---- FolderModel ----

FolderModel::FolderModel(QObject* parent) : QAbstractTableModel(parent) {}

int FolderModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int FolderModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    const Entry* e = index.isValid() ? entry(index.row()) : nullptr;
    if (e == nullptr) return {};
    if (role == Qt::DecorationRole && index.column() == 0) {
        return QApplication::style()->standardIcon(e->folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    }
    if (role == Qt::ToolTipRole) return fullRowText(*this, index.row());
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case 0:
        return e->shown;
    case 1:
        if (e->folder) return QString();
        return QStringLiteral("%1 KB").arg(QLocale().toString(static_cast<qulonglong>((e->size + 1023) / 1024)));
    case 2: {
        if (e->folder) return QStringLiteral("File folder");
        const qsizetype dot = e->shown.lastIndexOf(u'.');
        if (dot <= 0 || dot + 1 >= e->shown.size()) return QStringLiteral("File");
        return e->shown.mid(dot + 1).toUpper() + QStringLiteral(" File");
    }
    case 3:
        return e->modified;
    default:
        return {};
    }
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case 0: return QStringLiteral("Name");
    case 1: return QStringLiteral("Size");
    case 2: return QStringLiteral("Type");
    case 3: return QStringLiteral("Modified");
    default: return {};
    }
}

Qt::ItemFlags FolderModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void FolderModel::list(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<Entry> entries;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& found = *it;
        Entry e;
        e.name = found.path().filename().native();
        if (e.name.empty() || e.name.front() == '.') continue;   // hidden, as file managers do
        std::error_code statError;
        const fs::file_status status = found.status(statError);   // follows links
        if (statError) continue;
        if (fs::is_directory(status)) {
            e.folder = true;
        } else if (fs::is_regular_file(status)) {
            // Sockets, pipes and devices are no files to preview or import.
            const std::uintmax_t size = found.file_size(statError);
            e.size = statError ? 0 : size;
        } else {
            continue;
        }
        const auto time = found.last_write_time(statError);
        if (!statError) e.modified = modifiedText(time);
        e.shown = textcodec::fromBytes(e.name);
        entries.push_back(std::move(e));
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.folder != b.folder) return a.folder;
        return naturalLess(a, b);
    });
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

const FolderModel::Entry* FolderModel::entry(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_entries.size()) return nullptr;
    return &m_entries[static_cast<std::size_t>(row)];
}

// ---- ExplorerWidget ----

namespace {
std::string folderText(std::string_view folder) {
    std::string text(folder);
    if (!text.empty() && text.back() != '/') text += '/';
    return text;
}
}  // namespace

ExplorerWidget::ExplorerWidget(QWidget* parent, EventQueue* queue, int id, std::string_view folder)
    : ListWidget(parent, queue, id, true), m_model(new FolderModel(this)) {
    attach(m_model);
    for (int c = 0; c < 4; ++c) setColumnWidth(c, 100);
    setColumnWidth(0, 128);
    setShowGrid(false);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) openSubFolder(index.row());
    });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { refreshChanged(); });
    setFolder(folder);
}

void ExplorerWidget::setFolder(std::string_view folder) {
    m_start = folderText(folder);
    showFolder(m_start);
}

void ExplorerWidget::openSubFolder(int row) {
    const FolderModel::Entry* e = m_model->entry(row);
    if (e == nullptr || !e->folder) return;
    showFolder(m_folder + e->name + '/');
}

void ExplorerWidget::goUp() {
    if (m_folder.size() <= m_start.size()) return;
    std::string up = m_folder;
    up.pop_back();   // the closing "/"
    const std::size_t slash = up.rfind('/');
    up.erase(slash == std::string::npos ? 0 : slash + 1);
    if (up.size() < m_start.size()) up = m_start;
    showFolder(std::move(up));
}

void ExplorerWidget::reload() { showFolder(m_folder); }

void ExplorerWidget::showFolder(std::string folder) {
    // A new listing leaves nothing selected; when a row was selected, that is a change of
    // the selection the editor hears about.
    const bool hadSelection = selectedRow() >= 0;
    m_folder = std::move(folder);
    m_model->list(m_folder);
    watch(m_folder);
    scrollToTop();
    if (hadSelection) m_sink.notify();
}

void ExplorerWidget::watch(const std::string& folder) {
    const QStringList watched = m_watcher.directories();
    if (!watched.isEmpty()) m_watcher.removePaths(watched);
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) m_watcher.addPath(QFile::decodeName(QByteArray::fromStdString(folder)));
}

void ExplorerWidget::refreshChanged() {
    const int row = selectedRow();
    const FolderModel::Entry* before = m_model->entry(row);
    const std::string selectedName = before != nullptr ? before->name : std::string();
    const int scroll = verticalScrollBar()->value();
    m_model->list(m_folder);
    // A folder that was deleted and made again is a new one to watch.
    if (m_watcher.directories().isEmpty()) watch(m_folder);
    verticalScrollBar()->setValue(scroll);
    if (row < 0) return;
    int again = -1;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (m_model->entry(r)->name == selectedName) {
            again = r;
            break;
        }
    }
    // The same entry selected again is no change of the selection, so the editor hears
    // nothing (it would show the file again and replace a texture's caption); an entry that
    // is gone leaves nothing selected, and that change is reported.
    m_sink.mute(true);
    setSelectedRow(again);
    m_sink.mute(false);
    if (again < 0) m_sink.notify();
}

void ExplorerWidget::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        int row = selectedRow();
        if (row < 0 && currentIndex().isValid()) row = currentIndex().row();
        openSubFolder(row);
        event->accept();
        return;
    }
    case Qt::Key_Backspace:
        goUp();
        event->accept();
        return;
    default:
        ListWidget::keyPressEvent(event);
    }
}

}  // namespace detail

// ---- The facade ----

namespace {
detail::ExplorerWidget* explorerOf(const ExplorerList& list) {
    return static_cast<detail::ExplorerWidget*>(list.widget());
}
}  // namespace

std::string ExplorerList::folder() const { return explorerOf(*this)->folder(); }
int ExplorerList::rowCount() const { return explorerOf(*this)->entries()->rowCount(); }
int ExplorerList::selectedRow() const { return explorerOf(*this)->selectedRow(); }
void ExplorerList::selectRow(int row) { explorerOf(*this)->setSelectedRow(row); }
std::string ExplorerList::rowText(int row) const {
    const auto* e = explorerOf(*this)->entries()->entry(row);
    return e != nullptr ? e->name : std::string();
}
bool ExplorerList::isFolder(int row) const {
    const auto* e = explorerOf(*this)->entries()->entry(row);
    return e != nullptr && e->folder;
}
void ExplorerList::setFolder(std::string_view folder) { explorerOf(*this)->setFolder(folder); }
void ExplorerList::openSubFolder(int row) { explorerOf(*this)->openSubFolder(row); }
void ExplorerList::goUp() { explorerOf(*this)->goUp(); }
void ExplorerList::reload() { explorerOf(*this)->reload(); }

}  // namespace marquetor::platform
