#pragma once
// The explorer list (internal to the platform library): the files and sub-folders of a
// folder, the user going down into sub-folders and back up, and the listing following
// changes on disk.

#include <QAbstractTableModel>
#include <QFileSystemWatcher>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/listview.h"

namespace marquetor::platform::detail {

// The entries of one folder: sub-folders first, then files, each in the order a file
// manager shows them.
class FolderModel final : public QAbstractTableModel {
public:
    struct Entry {
        std::string name;      // the name's bytes as the file system holds them
        QString shown;
        bool folder = false;
        std::uintmax_t size = 0;
        QString modified;
    };

    explicit FolderModel(QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Reads the folder (bytes, relative to the working directory); a folder that cannot be
    // read shows nothing.
    void list(const std::string& folder);
    const Entry* entry(int row) const;

private:
    std::vector<Entry> m_entries;
};

class ExplorerWidget final : public ListWidget {
public:
    ExplorerWidget(QWidget* parent, EventQueue* queue, int id, std::string_view folder);

    const std::string& folder() const { return m_folder; }
    FolderModel* entries() const { return m_model; }
    void setFolder(std::string_view folder);
    void openSubFolder(int row);
    void goUp();
    void reload();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showFolder(std::string folder);
    void watch(const std::string& folder);
    // The shown folder changed on disk: list it again, keeping the selected entry selected
    // when it is still there.
    void refreshChanged();

    FolderModel* m_model;
    QFileSystemWatcher m_watcher;
    std::string m_start;    // never left upwards
    std::string m_folder;   // ends with "/"
};

}  // namespace marquetor::platform::detail
