#pragma once
// The Qt widget behind ProblemList (internal to the platform library).

#include <QListWidget>

#include <string>
#include <vector>

#include "platform/events.h"

namespace marquetor::platform::detail {

class ProblemListWidget final : public QListWidget {
public:
    ProblemListWidget(QWidget* parent, EventQueue* queue, int id);
    void setRows(const std::vector<std::string>& rowTexts);
    std::string rowBytes(int row) const;
    int activatedRow() const { return m_activated; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void activate(int row);

    EventQueue* m_queue;
    int m_id;
    int m_activated = -1;
};

}  // namespace marquetor::platform::detail
