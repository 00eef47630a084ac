#pragma once
// Every modal dialog of the editor goes through this interface: the Qt implementation for
// the program, a scripted one for tests.

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace marquetor::platform {

enum class Answer { Yes, No, Cancel };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal box, one OK button, no icon.
    virtual void message(std::string_view title, std::string_view text) = 0;
    // Yes and No (and Cancel when asked for), no icon.
    virtual Answer question(std::string_view title, std::string_view text, bool withCancel) = 0;
    // Patterns are "Description|*.ext|Description|*.ext"; the first is selected. The result
    // is the chosen path (bytes, UTF-8), or empty when cancelled.
    virtual std::string saveFile(std::string_view title, std::string_view defaultPath, std::string_view patterns) = 0;
    virtual std::string openFile(std::string_view title, std::string_view defaultPath, std::string_view patterns) = 0;
    // The chosen colour (red bits 0-7, green 8-15, blue 16-23), or -1 when cancelled.
    virtual std::int32_t chooseColor(std::int32_t initial) = 0;
};

class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void message(std::string_view title, std::string_view text) override;
    Answer question(std::string_view title, std::string_view text, bool withCancel) override;
    std::string saveFile(std::string_view title, std::string_view defaultPath, std::string_view patterns) override;
    std::string openFile(std::string_view title, std::string_view defaultPath, std::string_view patterns) override;
    std::int32_t chooseColor(std::int32_t initial) override;

private:
    QWidget* m_parent;
};

// Records every dialog shown and answers from queues. An empty queue answers No (questions),
// cancel (requesters: empty path) and cancel (colour: -1).
class ScriptedDialogs final : public Dialogs {
public:
    struct Shown {
        std::string kind;      // "message", "question", "saveFile", "openFile", "chooseColor"
        std::string title;
        std::string text;      // message text; requester default path; colour as decimal
        std::string patterns;  // requesters only
        bool withCancel = false;  // questions: whether Cancel was offered
    };
    std::vector<Shown> shown;
    std::deque<Answer> answers;
    std::deque<std::string> paths;
    std::deque<std::int32_t> colors;

    // The texts of the message boxes shown so far, in order.
    std::vector<std::string> messages() const;
    void clearShown() { shown.clear(); }

    void message(std::string_view title, std::string_view text) override;
    Answer question(std::string_view title, std::string_view text, bool withCancel) override;
    std::string saveFile(std::string_view title, std::string_view defaultPath, std::string_view patterns) override;
    std::string openFile(std::string_view title, std::string_view defaultPath, std::string_view patterns) override;
    std::int32_t chooseColor(std::int32_t initial) override;
};

}  // namespace marquetor::platform
