#include "ui/detail_area.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/error_view.h"
#include "ui/legend_view.h"
#include "ui/selectable_text.h"

namespace korvantis::ui {

EventTextView::EventTextView(StoreNotifier& notifier, QWidget* parent)
    : QScrollArea(parent), workspace_(notifier.workspace()) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    text_ = new SelectableText(content);
    copy_ = new QPushButton(tr("Copy to clipboard"), content);
    copy_->setVisible(false);
    layout->addWidget(text_);
    layout->addWidget(copy_, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    setWidget(content);

    connect(copy_, &QPushButton::clicked, this, &EventTextView::copyToClipboard);
    connect(&notifier, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (StoreNotifier::has(fields, StoreField::activeEventJson)) {
            sync();
        }
    });
    sync();
}

void EventTextView::sync() {
    const QString text = QString::fromStdString(workspace_.selection.activeEventJson());
    text_->setOriginalText(text);
    copy_->setVisible(!text.isEmpty());
}

void EventTextView::copyToClipboard() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(workspace_.selection.activeEventJson()));
}

DetailArea::DetailArea(StoreNotifier& notifier, QWidget* parent)
    : QStackedWidget(parent), workspace_(notifier.workspace()) {
    errors_ = new ErrorView(notifier, this);
    legend_ = new LegendView(this);
    text_ = new EventTextView(notifier, this);
    addWidget(errors_);
    addWidget(legend_);
    addWidget(text_);
    connect(&notifier, &StoreNotifier::changed, this, &DetailArea::sync);
    sync();
}

DetailArea::Content DetailArea::content() const {
    if (currentWidget() == errors_) {
        return Content::errors;
    }
    if (currentWidget() == legend_) {
        return Content::legend;
    }
    return Content::eventText;
}

void DetailArea::sync() {
    if (workspace_.switches.showErrors()) {
        setCurrentWidget(errors_);
    } else if (workspace_.switches.showLegend()) {
        setCurrentWidget(legend_);
    } else {
        setCurrentWidget(text_);
    }
}

}  // namespace korvantis::ui
