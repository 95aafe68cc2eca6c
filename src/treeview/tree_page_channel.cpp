#include "treeview/tree_page_channel.h"

#include <cmath>

#include "store/event_store.h"
#include "store/lifetime_text.h"
#include "workspace/workspace.h"

namespace korvantis {

const QString TreePageChannel::kName = QStringLiteral("treeWindow");

TreePageChannel::TreePageChannel(QObject* parent) : QObject(parent) {}

void TreePageChannel::setFacts(const QString& factsText) {
    facts_ = factsText;
}

void TreePageChannel::setOrigin(ui::MainView* origin) {
    disconnect(originGone_);
    const bool could = canShowEvents();
    origin_ = origin;
    if (origin) {
        // A widget announces its end before its QPointers are cleared, so
        // the reference is dropped here rather than read afterwards.
        originGone_ = connect(origin, &QObject::destroyed, this, [this] {
            origin_.clear();
            emit canShowEventsChanged();
        });
    }
    if (could != canShowEvents()) {
        emit canShowEventsChanged();
    }
}

// The page's numbers arrive as doubles; pids are whole and far below 2^53.
void TreePageChannel::showEvents(double pid) {
    if (origin_ && std::isfinite(pid) && pid == std::floor(pid)) {
        origin_->showEventsOfProcessTree(static_cast<qint64>(pid));
    }
}

QString TreePageChannel::lifetime(double place) const {
    if (!origin_ || !std::isfinite(place) || place < 0 || place != std::floor(place)) {
        return {};
    }
    const EventStore& store = origin_->workspace().store;
    const auto row = store.rowOf(RowKind::process, LinePlace(static_cast<std::size_t>(place)));
    return row ? QString::fromStdString(processLifetimeText(store, *row)) : QString();
}

}  // namespace korvantis
