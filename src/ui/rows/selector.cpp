#include "ui/rows/selector.h"

namespace korvantis::ui {

Selector::Selector(QObject* parent) : QObject(parent) {}

void Selector::setSelected(LinePlace place) {
    selected_ = place;
}

}  // namespace korvantis::ui
