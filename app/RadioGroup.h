// A group of radio buttons used as one item list, its buttons' ids being the
// item indexes: select an item by index, -1 for none.
#pragma once

#include <QAbstractButton>
#include <QButtonGroup>

namespace quillon {

inline void select_item(QButtonGroup& group, int index)
{
    if (QAbstractButton* button = group.button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group never lets its last button go by itself.
    group.setExclusive(false);
    for (QAbstractButton* each : group.buttons()) {
        each->setChecked(false);
    }
    group.setExclusive(true);
}

}  // namespace quillon
