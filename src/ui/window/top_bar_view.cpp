#include "ui/window/top_bar_view.h"

#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/look/style.h"
#include "ui/window/load_progress_view.h"

namespace korvantis::ui {

TopBarView::TopBarView(StoreNotifier& notifier, TreeOpener openTree, QWidget* parent)
    : QWidget(parent), workspace_(notifier.workspace()), openTree_(std::move(openTree)) {
    legend_ = new QPushButton(tr("Legend"), this);
    tree_ = new QPushButton(tr("Tree"), this);
    import_ = new QPushButton(tr("Import Json"), this);
    errors_ = new QPushButton(this);
    follow_ = new QPushButton(tr("Follow"), this);
    follow_->setCheckable(true);
    follow_->setToolTip(tr("Load lines appended to the logs as they come (Ctrl+Shift+F)"));
    progress_ = new LoadProgressView(notifier, this);

    row_ = new QHBoxLayout;
    row_->addStretch(1);
    row_->addWidget(legend_, 0, Qt::AlignVCenter);
    row_->addStretch(1);
    row_->addWidget(tree_, 0, Qt::AlignVCenter);
    row_->addStretch(1);
    row_->addWidget(import_, 0, Qt::AlignVCenter);
    row_->addStretch(1);
    row_->addWidget(follow_, 0, Qt::AlignVCenter);
    row_->addStretch(1);
    row_->addWidget(errors_, 0, Qt::AlignVCenter);
    row_->addStretch(1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 0);
    layout->addLayout(row_);
    layout->addWidget(progress_);
    layout->addWidget(line);

    connect(legend_, &QPushButton::clicked, this, &TopBarView::toggleLegend);
    connect(tree_, &QPushButton::clicked, this, &TopBarView::openTree);
    connect(import_, &QPushButton::clicked, this, &TopBarView::importJson);
    connect(errors_, &QPushButton::clicked, this, &TopBarView::toggleErrors);
    connect(follow_, &QPushButton::toggled, this, [this](bool on) {
        workspace_.loader.setFollowing(on);
        emit followingChanged(on);
    });
    connect(&notifier, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (StoreNotifier::has(fields, StoreField::loadErrors)) {
            updateErrors();
        }
        if (StoreNotifier::has(fields, StoreField::loadProgress)) {
            releaseFollowWhenStopped();
        }
    });
    updateErrors();
}

void TopBarView::releaseFollowWhenStopped() {
    const std::size_t notices = workspace_.loader.progress().followNotices.size();
    const bool stopped = notices > followNotices_;
    followNotices_ = notices;
    // Following stopped for the last log followed: the button says so.
    if (stopped && follow_->isChecked() && !workspace_.loader.followsSomeLog()) {
        follow_->setChecked(false);
    }
}

QColor TopBarView::errorsColor(std::size_t count) const {
    if (count > 0) {
        return filterErrorColor(palette());
    }
    // White, as long as it can be read on the button.
    return readableWhite(palette(), QPalette::Button, QPalette::ButtonText);
}

void TopBarView::updateErrors() {
    const std::size_t count = workspace_.store.loadErrors().size();
    errors_->setText(tr("Errors: %1").arg(static_cast<qulonglong>(count)));
    QPalette pal = errors_->palette();
    pal.setColor(QPalette::ButtonText, errorsColor(count));
    errors_->setPalette(pal);
}

void TopBarView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        updateErrors();
    }
}

void TopBarView::toggleLegend() {
    workspace_.switches.setShowErrors(false);
    workspace_.switches.setShowLegend(!workspace_.switches.showLegend());
}

void TopBarView::toggleErrors() {
    workspace_.switches.setShowLegend(false);
    workspace_.switches.setShowErrors(!workspace_.switches.showErrors());
}

void TopBarView::openTree() {
    if (openTree_) {
        openTree_({workspace_.store.sharedJsonTree(), workspace_.store.sharedJsonTreeFacts(), {}});
    }
}

void TopBarView::importJson() {
    // A fresh dialog per press; shown without blocking, so the window stays usable.
    auto* dialog = new QFileDialog(this, tr("Import Json"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::ReadOnly);  // no creating folders
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setLabelText(QFileDialog::Accept, tr("Import Json"));
    dialog->setNameFilter(tr("Event logs (*.json *.txt *.gz *.zst)"));
    dialog->setWindowModality(Qt::NonModal);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        workspace_.loader.loadJsonFile(QFile::encodeName(path).toStdString());
    });
    dialog->show();
}

}  // namespace korvantis::ui
