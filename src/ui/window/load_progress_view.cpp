#include "ui/window/load_progress_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

#include "ui/list/bidi_isolation.h"
#include "ui/look/load_texts.h"
#include "ui/look/window_keys.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

namespace {
constexpr int kBarSteps = 1000;
constexpr int kBarWidth = 160;
}  // namespace

LoadProgressView::LoadProgressView(StoreNotifier& notifier, QWidget* parent)
    : QWidget(parent), workspace_(notifier.workspace()) {
    file_ = new QLabel(this);
    QFont bold = file_->font();
    bold.setBold(true);
    file_->setFont(bold);
    file_->setTextFormat(Qt::PlainText);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, kBarSteps);
    bar_->setTextVisible(false);
    bar_->setFixedWidth(kBarWidth);
    percent_ = new QLabel(this);
    lines_ = new QLabel(this);
    queued_ = new QLabel(this);
    cancel_ = new QPushButton(LoadTexts::cancelButton(), this);
    note_ = new QLabel(this);
    failure_ = new QLabel(this);
    failure_->setTextFormat(Qt::PlainText);
    failure_->setForegroundRole(QPalette::PlaceholderText);
    // The note alone keeps the strip's height, so the lists do not jump.
    note_->setMinimumHeight(cancel_->sizeHint().height());

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 2);
    row->setSpacing(10);
    row->addStretch(1);
    for (QWidget* w : {static_cast<QWidget*>(file_), static_cast<QWidget*>(bar_),
                       static_cast<QWidget*>(percent_), static_cast<QWidget*>(lines_),
                       static_cast<QWidget*>(queued_), static_cast<QWidget*>(cancel_),
                       static_cast<QWidget*>(note_), static_cast<QWidget*>(failure_)}) {
        row->addWidget(w, 0, Qt::AlignVCenter);
    }
    row->addStretch(1);

    connect(cancel_, &QPushButton::clicked, this, &LoadProgressView::cancel);
    connect(&notifier, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (StoreNotifier::has(fields, StoreField::loadProgress)) {
            sync();
        }
    });
    sync();
}

void LoadProgressView::installCancelKey(QWidget* window) {
    delete cancelKey_;
    cancelKey_ = new QShortcut(keysOf(WindowCommand::cancelLoad), window);
    cancelKey_->setContext(Qt::WindowShortcut);
    connect(cancelKey_, &QShortcut::activated, this, &LoadProgressView::cancel);
    sync();
}

void LoadProgressView::cancel() {
    workspace_.loader.cancel();
}

void LoadProgressView::sync() {
    const LoadProgress& p = workspace_.loader.progress();
    const LoadFigures& f = p.figures;
    if (p.running) {
        file_->setText(QString::fromStdString(p.fileName));
        // Never full before the end: see LoadTexts::percent().
        const std::uint64_t read = std::min<std::uint64_t>(f.bytesRead, f.bytesTotal);
        bar_->setValue(f.bytesTotal == 0
                           ? 0
                           : std::min(static_cast<int>(read * kBarSteps / f.bytesTotal),
                                      kBarSteps * 99 / 100));
        percent_->setText(LoadTexts::percent(f.bytesRead, f.bytesTotal));
        lines_->setText(f.compressed ? LoadTexts::decodedLines(f.lines, f.textBytes)
                                     : LoadTexts::lines(f.lines));
        queued_->setText(LoadTexts::queued(p.queued));
    }
    const bool noted = !p.running && p.cancelledAfter.has_value();
    if (noted) {
        note_->setText(LoadTexts::cancelledAfter(*p.cancelledAfter, p.cancelledQueued));
    }
    for (QWidget* w : {static_cast<QWidget*>(file_), static_cast<QWidget*>(bar_),
                       static_cast<QWidget*>(percent_), static_cast<QWidget*>(lines_),
                       static_cast<QWidget*>(cancel_)}) {
        w->setVisible(p.running);
    }
    queued_->setVisible(p.running && p.queued > 0);
    note_->setVisible(noted);
    // Open failures, loads that stopped short, logs no longer followed and
    // indexes not used, a line each.
    std::string notices = p.openFailure;
    for (const auto* list : {&p.stopNotices, &p.followNotices, &p.indexNotices}) {
        for (const std::string& notice : *list) {
            notices += (notices.empty() ? "" : "\n") + notice;
        }
    }
    const bool failed = !notices.empty();
    failure_->setText(withVisibleMarks(QString::fromStdString(notices)).shown);
    failure_->setVisible(failed);
    setVisible(p.running || noted || failed);
    if (cancelKey_ != nullptr) {
        cancelKey_->setEnabled(p.running);
    }
}

}  // namespace korvantis::ui
