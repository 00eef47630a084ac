#include "platform/dialogs.h"

#include <QColor>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "platform/textcodec.h"

namespace marquetor::platform {

namespace {

QString toQt(std::string_view text) { return textcodec::fromBytes(text); }

// "TileSet (*.mrqt)|*.mrqt|All (*.*)|*.*" becomes the filters "TileSet (*.mrqt)" and "All (*)".
QStringList nameFilters(std::string_view patterns) {
    QStringList parts = toQt(patterns).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QString globs = parts[i + 1].trimmed();
        globs.replace(u';', u' ');
        // "*.*" means every file here, also those without a dot in their name.
        QStringList list = globs.split(u' ', Qt::SkipEmptyParts);
        for (QString& glob : list) {
            if (glob == QLatin1String("*.*")) glob = QStringLiteral("*");
        }
        if (list.isEmpty()) list << QStringLiteral("*");
        // The description may already name its patterns in parentheses; Qt reads the patterns
        // from there, so they are replaced by the real ones.
        const qsizetype open = description.lastIndexOf(u'(');
        if (open >= 0 && description.endsWith(u')')) description = description.left(open).trimmed();
        if (description.isEmpty()) description = QStringLiteral("Files");
        filters << QStringLiteral("%1 (%2)").arg(description, list.join(u' '));
    }
    return filters;
}

// Runs a file requester; the default path is a folder (ending with "/") or a file in one.
std::string runFileDialog(QWidget* parent, std::string_view title, std::string_view defaultPath,
                          std::string_view patterns, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, toQt(title));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The editor decides about replacing files (it never asks); the open requester takes
    // names that do not exist, and the caller reports them.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    const QStringList filters = nameFilters(patterns);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.front());
    }
    const QString path = QFile::decodeName(QByteArray(defaultPath.data(), static_cast<qsizetype>(defaultPath.size())));
    if (!path.isEmpty()) {
        if (path.endsWith(u'/')) {
            dialog.setDirectory(QFileInfo(path).absoluteFilePath());
        } else {
            const QFileInfo info(path);
            dialog.setDirectory(info.absolutePath());
            dialog.selectFile(info.fileName());
        }
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return {};
    const QByteArray bytes = QFile::encodeName(chosen.front());
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

void QtDialogs::message(std::string_view title, std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, toQt(title), toQt(text), QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

Answer QtDialogs::question(std::string_view title, std::string_view text, bool withCancel) {
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel) buttons |= QMessageBox::Cancel;
    QMessageBox box(QMessageBox::NoIcon, toQt(title), toQt(text), buttons, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    // Closing the box is the most careful answer: Cancel when offered, else No.
    box.setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::No);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == box.button(QMessageBox::Yes)) return Answer::Yes;
    if (clicked == box.button(QMessageBox::No)) return Answer::No;
    return withCancel ? Answer::Cancel : Answer::No;
}

std::string QtDialogs::saveFile(std::string_view title, std::string_view defaultPath, std::string_view patterns) {
    return runFileDialog(m_parent, title, defaultPath, patterns, QFileDialog::AcceptSave);
}

std::string QtDialogs::openFile(std::string_view title, std::string_view defaultPath, std::string_view patterns) {
    return runFileDialog(m_parent, title, defaultPath, patterns, QFileDialog::AcceptOpen);
}

std::int32_t QtDialogs::chooseColor(std::int32_t initial) {
    const auto value = static_cast<std::uint32_t>(initial);
    const QColor start(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                       static_cast<int>((value >> 16) & 0xFFu));
    const QColor chosen = QColorDialog::getColor(start, m_parent);
    if (!chosen.isValid()) return -1;
    return chosen.red() | (chosen.green() << 8) | (chosen.blue() << 16);
}

std::vector<std::string> ScriptedDialogs::messages() const {
    std::vector<std::string> texts;
    for (const Shown& s : shown) {
        if (s.kind == "message") texts.push_back(s.text);
    }
    return texts;
}

void ScriptedDialogs::message(std::string_view title, std::string_view text) {
    shown.push_back({"message", std::string(title), std::string(text), {}});
}

Answer ScriptedDialogs::question(std::string_view title, std::string_view text, bool withCancel) {
    shown.push_back({"question", std::string(title), std::string(text), {}, withCancel});
    if (answers.empty()) return Answer::No;
    Answer a = answers.front();
    answers.pop_front();
    // A scripted Cancel on a box without Cancel is a closed box: No.
    if (a == Answer::Cancel && !withCancel) return Answer::No;
    return a;
}

std::string ScriptedDialogs::saveFile(std::string_view title, std::string_view defaultPath, std::string_view patterns) {
    shown.push_back({"saveFile", std::string(title), std::string(defaultPath), std::string(patterns)});
    if (paths.empty()) return {};
    std::string p = std::move(paths.front());
    paths.pop_front();
    return p;
}

std::string ScriptedDialogs::openFile(std::string_view title, std::string_view defaultPath, std::string_view patterns) {
    shown.push_back({"openFile", std::string(title), std::string(defaultPath), std::string(patterns)});
    if (paths.empty()) return {};
    std::string p = std::move(paths.front());
    paths.pop_front();
    return p;
}

std::int32_t ScriptedDialogs::chooseColor(std::int32_t initial) {
    shown.push_back({"chooseColor", {}, std::to_string(initial), {}});
    if (colors.empty()) return -1;
    std::int32_t c = colors.front();
    colors.pop_front();
    return c;
}

}  // namespace marquetor::platform
