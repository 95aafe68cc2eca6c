#include "ui/selector.h"

namespace korvantis::ui {

Selector::Selector(QObject* parent) : QObject(parent), selectedRow_(Uuid::random()) {}

void Selector::setSelectedRow(const Uuid& id) {
    emit selectedRowAboutToChange();
    selectedRow_ = id;
}

}  // namespace korvantis::ui
