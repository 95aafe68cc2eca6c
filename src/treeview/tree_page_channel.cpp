#include "treeview/tree_page_channel.h"

#include <cmath>

#include "treeview/tree_text_scheme.h"
#include "ui/window/tree_marks_feed.h"

namespace korvantis {

const QString TreePageChannel::kName = QStringLiteral("treeWindow");

TreePageChannel::TreePageChannel(QObject* parent) : QObject(parent) {}

TreePageChannel::~TreePageChannel() {
    TreeTextScheme::withdraw(factsAddress_);
    TreeTextScheme::withdraw(marksAddress_);
}

void TreePageChannel::setFacts(SharedText facts) {
    TreeTextScheme::withdraw(factsAddress_);
    factsAddress_.clear();
    facts_ = std::move(facts);
}

QString TreePageChannel::factsAddress() {
    if (!facts_ || facts_->empty()) {
        return {};
    }
    if (factsAddress_.isEmpty()) {
        factsAddress_ = TreeTextScheme::publish(facts_);
    }
    return factsAddress_.toString(QUrl::FullyEncoded);
}

QString TreePageChannel::marksAddress() {
    TreeTextScheme::withdraw(marksAddress_);
    marksAddress_.clear();
    const SharedText marks = origin_.marks ? origin_.marks->marks() : nullptr;
    if (!marks) {
        return {};
    }
    marksAddress_ = TreeTextScheme::publish(marks);
    return marksAddress_.toString(QUrl::FullyEncoded);
}

QString TreePageChannel::markColours() const {
    return origin_.marks ? origin_.marks->colours() : QString();
}

void TreePageChannel::setOrigin(ui::TreeOrigin origin) {
    disconnect(originGone_);
    disconnect(marksFollowed_);
    const bool could = canShowEvents();
    origin_ = std::move(origin);
    if (origin_.window) {
        // A widget announces its end before its QPointers are cleared, so
        // the reference is dropped here rather than read afterwards.
        originGone_ = connect(origin_.window, &QObject::destroyed, this, [this] {
            origin_ = {};
            emit canShowEventsChanged();
        });
    }
    if (origin_.marks) {
        marksFollowed_ = connect(origin_.marks, &ui::TreeMarksFeed::changed, this,
                                 &TreePageChannel::marksChanged);
    }
    if (could != canShowEvents()) {
        emit canShowEventsChanged();
    }
}

// The page's numbers arrive as doubles; pids are whole and far below 2^53.
void TreePageChannel::showEvents(double pid) {
    if (canShowEvents() && origin_.showEvents && std::isfinite(pid) && pid == std::floor(pid)) {
        origin_.showEvents(static_cast<qint64>(pid));
    }
}

QString TreePageChannel::lifetime(double place) const {
    if (!canShowEvents() || !origin_.lifetime || !std::isfinite(place) || place < 0 ||
        place != std::floor(place)) {
        return {};
    }
    return QString::fromStdString(origin_.lifetime(static_cast<std::size_t>(place)));
}

}  // namespace korvantis
