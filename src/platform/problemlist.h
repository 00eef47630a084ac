#pragma once
// A short list of one-line texts that reports only when the user activates a row (double
// click, or Enter on the current row): a click or a change of the current row is no event.
// For the few lines of a status list; long lists belong in a ListView.

#include <string>
#include <string_view>
#include <vector>

#include "platform/gadgets.h"

namespace marquetor::platform {

class ProblemList : public Gadget {
public:
    using Gadget::Gadget;
    // Replaces every row; no row is current afterwards. Raises no event.
    void setRows(const std::vector<std::string>& rowTexts);
    int rowCount() const;
    std::string rowText(int row) const;
    // The row the user activated last, -1 before the first activation and after setRows.
    int activatedRow() const;
};

// The problem list of that identifier; aborts when the identifier is another kind.
ProblemList& ProblemListOf(const Gadgets& gadgets, int id);

}  // namespace marquetor::platform
