#include "ui/rows/store_notifier.h"

namespace korvantis::ui {

StoreNotifier::StoreNotifier(Workspace& workspace, QObject* parent)
    : QObject(parent), workspace_(workspace) {
    // Called for every single change: keep it to a bit and, once per turn, a post.
    observerId_ = workspace_.observers.observe([this](StoreField field) {
        pending_ |= bit(field);
        if (!posted_) {
            posted_ = true;
            QMetaObject::invokeMethod(this, &StoreNotifier::flush, Qt::QueuedConnection);
        }
    });
}

StoreNotifier::~StoreNotifier() {
    workspace_.observers.unobserve(observerId_);
}

void StoreNotifier::flush() {
    const Fields fields = pending_;
    pending_ = 0;
    posted_ = false;
    emit changed(fields);
}

}  // namespace korvantis::ui
