#include "ui/window/lost_messages_strip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <QToolButton>

#include <algorithm>
#include <map>

#include "ui/look/load_texts.h"
#include "ui/rows/store_notifier.h"

namespace korvantis::ui {

namespace {

// A menu of thousands of entries takes long to open and says no more.
constexpr std::size_t kListedGapsAtMost = 1000;

QString fileNameOf(const EventStore& store, std::uint32_t log) {
    return QString::fromStdString(store.logFiles().fileName(log));
}

}  // namespace

LostMessagesStrip::LostMessagesStrip(StoreNotifier& notifier, QWidget* parent)
    : QWidget(parent), notifier_(notifier) {
    note_ = new QLabel(this);
    note_->setTextFormat(Qt::PlainText);
    note_->setWordWrap(true);
    show_ = new QPushButton(LoadTexts::showGapsButton(), this);
    close_ = new QToolButton(this);
    close_->setText(QStringLiteral("\u00D7"));
    close_->setAutoRaise(true);
    close_->setToolTip(tr("Close"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 6, 4);
    row->addWidget(note_, 1);
    row->addWidget(show_);
    row->addWidget(close_);
    connect(show_, &QPushButton::clicked, this,
            [this] { gapsMenu()->popup(show_->mapToGlobal(QPoint(0, show_->height()))); });
    connect(close_, &QToolButton::clicked, this, &QWidget::hide);
    connect(&notifier_, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (StoreNotifier::has(fields, StoreField::sequenceGaps)) {
            update();
        }
    });
    hide();
    update();
}

void LostMessagesStrip::update() {
    const EventStore& store = notifier_.workspace().store;
    const std::vector<SequenceGap>& gaps = store.sequenceGaps();
    if (gaps.size() == seen_) {
        return;
    }
    seen_ = gaps.size();
    // One sentence per log with gaps, in load order.
    std::map<std::uint32_t, std::pair<LostMessages, std::uint64_t>> perLog;  // lost, gaps
    for (const SequenceGap& gap : gaps) {
        auto& [lost, count] = perLog[gap.log];
        lost.add(gap.lost);
        ++count;
    }
    QStringList lines;
    for (const auto& [log, sums] : perLog) {
        lines.append(LoadTexts::lostMessages(sums.first, fileNameOf(store, log), sums.second));
    }
    note_->setText(lines.join(QLatin1Char('\n')));
    setVisible(!gaps.empty());
}

QMenu* LostMessagesStrip::gapsMenu() {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const EventStore& store = notifier_.workspace().store;
    const std::vector<SequenceGap>& gaps = store.sequenceGaps();
    for (std::size_t i = 0; i < std::min(gaps.size(), kListedGapsAtMost); ++i) {
        const SequenceGap gap = gaps[i];
        QAction* action =
            menu->addAction(LoadTexts::gapPlace(fileNameOf(store, gap.log), gap.line, gap.lost));
        connect(action, &QAction::triggered, this, [this, gap] { emit gapChosen(gap); });
    }
    return menu;
}

}  // namespace korvantis::ui
