#include "ui/panel/detail_text_loader.h"

#include <QMetaObject>

#include "ui/look/worker_priority.h"

namespace korvantis::ui {

DetailTextLoader::DetailTextLoader(Workspace& workspace, QObject* parent)
    : QObject(parent), workspace_(workspace) {
    pool_.setMaxThreadCount(1);
}

DetailTextLoader::~DetailTextLoader() {
    latest_->store(0);
    pool_.clear();
    pool_.waitForDone();
}

void DetailTextLoader::choose(LinePlace place) {
    EventSelection::DetailRequest request = workspace_.selection.chooseEvent(place);
    latest_->store(request.choice);
    auto latest = latest_;
    pool_.start([this, request = std::move(request), latest] {
        if (latest->load() != request.choice) {
            return;  // chosen over before it started
        }
        lowerWorkerPriority();
        auto detail = std::make_shared<EventDetail>(EventSelection::detailFor(request));
        QMetaObject::invokeMethod(
            this,
            [this, choice = request.choice, detail] {
                if (workspace_.selection.setDetail(choice, std::move(*detail))) {
                    emit detailReady();
                }
            },
            Qt::QueuedConnection);
    });
}

}  // namespace korvantis::ui
