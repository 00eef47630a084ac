// A few runs through the real Qt dialogs, found and answered from a timer as a user would.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "editor/mainwindow.h"
#include "fixture.h"
#include "tilesetfile/format.h"

using namespace editor::gadget;
namespace fs = std::filesystem;

namespace {

class RealDialogsTest : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        ed.reset();
        ed = std::make_unique<editor::Editor>(qtDialogs);
        ASSERT_TRUE(editor::StartEditor(*ed, ""));
        qtDialogs.setParent(window());
        settle();
    }
    void TearDown() override {
        m_poll.stop();
        EditorFixture::TearDown();
    }

    // Runs act on the next modal dialog once it is on screen.
    void onNextModal(std::function<void(QWidget*)> act) {
        m_poll.disconnect();
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this, act] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || !modal->isVisible()) return;
            m_poll.stop();
            act(modal);
        });
        m_poll.start();
    }

    static void pressButton(QWidget* modal, const QString& text) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr) << "not a message box: " << modal->metaObject()->className();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text().remove('&') == text) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        FAIL() << "no button " << text.toStdString();
    }

    static QStringList buttonTexts(QWidget* modal) {
        QStringList texts;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            for (QAbstractButton* button : box->buttons()) texts << button->text().remove('&');
        texts.sort();
        return texts;
    }

    platform::QtDialogs qtDialogs;

private:
    QTimer m_poll;
};

}  // namespace

TEST_F(RealDialogsTest, NewAsksInAMessageBox) {
    typeInto(TileWidth, "48");
    QString title, text;
    QStringList buttons;
    onNextModal([&](QWidget* modal) {
        title = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) text = box->text();
        buttons = buttonTexts(modal);
        pressButton(modal, "No");
    });
    chooseMenu(editor::menu::New);
    EXPECT_EQ(title.toStdString(), "Marquetor [Build 2011-01-10]");
    EXPECT_EQ(text.toStdString(), "Create a new tile set?");
    EXPECT_EQ(buttons, (QStringList{"No", "Yes"}));
    EXPECT_EQ(ed->doc().tileWidth, 48);

    onNextModal([&](QWidget* modal) { pressButton(modal, "Yes"); });
    chooseMenu(editor::menu::New);
    EXPECT_EQ(ed->doc().tileWidth, 64);
    EXPECT_EQ(g().editableChoiceBox(TileWidth).text(), "64");
}

TEST_F(RealDialogsTest, SaveRequesterStartsInTheTileSetFolderAndWrites) {
    typeInto(TileWidth, "96");
    QString title, folder;
    onNextModal([&](QWidget* modal) {
        title = modal->windowTitle();
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr) << "not a file dialog: " << modal->metaObject()->className();
        folder = dialog->directory().absolutePath();
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        QTest::keyClicks(name, "level");
        QTest::keyClick(name, Qt::Key_Return);
    });
    chooseMenu(editor::menu::Save);
    EXPECT_EQ(title.toStdString(), "Save...");
    EXPECT_EQ(fs::path(folder.toStdString()), fs::canonical(tileSetDir));
    ASSERT_TRUE(fs::is_regular_file(tileSetDir / "level.mrqt"));
    document::TileSet back;
    EXPECT_EQ(marquetor::tilesetfile::LoadTileSet(back, tileSetDir / "level.mrqt").status,
              marquetor::tilesetfile::LoadStatus::Ok);
    EXPECT_EQ(back.tileWidth, 96);
    EXPECT_EQ(fs::current_path(), fs::canonical(workDir));   // no requester moves the working directory
}

TEST_F(RealDialogsTest, UnsavedChangesQuestionOffersCancel) {
    typeInto(TileWidth, "48");
    QString text;
    QStringList buttons;
    onNextModal([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) text = box->text();
        buttons = buttonTexts(modal);
        pressButton(modal, "Cancel");
    });
    chooseMenu(editor::menu::Close);
    EXPECT_EQ(text.toStdString(), "Save changes to the tile set?");
    EXPECT_EQ(buttons, (QStringList{"Cancel", "No", "Yes"}));
    EXPECT_EQ(ed->frame.running, 1);
}
