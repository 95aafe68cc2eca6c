#include "ui/selector.h"

namespace korvantis::ui {

Selector::Selector(QObject* parent) : QObject(parent), selectedId_(Uuid::random()) {}

void Selector::setSelectedId(const Uuid& id) {
    selectedId_ = id;
}

}  // namespace korvantis::ui
