#include "ui/panel/detail_area.h"

#include <unistd.h>

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>
#include <memory>

#include "output/file_replacement.h"
#include "ui/list/bidi_isolation.h"
#include "ui/list/selectable_text.h"
#include "ui/look/save_dialog.h"
#include "ui/look/view_texts.h"
#include "ui/look/worker_priority.h"
#include "ui/panel/error_view.h"
#include "ui/panel/facts_card_view.h"
#include "ui/panel/legend_view.h"

namespace korvantis::ui {

EventTextView::EventTextView(StoreNotifier& notifier, QWidget* parent)
    : QScrollArea(parent), workspace_(notifier.workspace()) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    savePool_.setMaxThreadCount(1);

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    card_ = new FactsCardView(notifier, content);
    auto mutedLabel = [content](const QString& text) {
        auto* label = new QLabel(text, content);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setForegroundRole(QPalette::PlaceholderText);
        label->setVisible(false);
        return label;
    };
    reading_ = mutedLabel(readingEventText());
    notice_ = mutedLabel(QString());
    notice_->setForegroundRole(QPalette::WindowText);
    text_ = new SelectableText(content);
    leftOut_ = mutedLabel(QString());
    copy_ = new QPushButton(tr("Copy to clipboard"), content);
    save_ = new QPushButton(saveEventButtonText(), content);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(copy_);
    buttons->addWidget(save_);
    buttons->addStretch(1);
    for (QWidget* w : {static_cast<QWidget*>(card_), static_cast<QWidget*>(reading_),
                       static_cast<QWidget*>(notice_), static_cast<QWidget*>(text_),
                       static_cast<QWidget*>(leftOut_)}) {
        layout->addWidget(w);
    }
    layout->addLayout(buttons);
    layout->addStretch(1);
    setWidget(content);

    connect(copy_, &QPushButton::clicked, this, &EventTextView::copyToClipboard);
    connect(save_, &QPushButton::clicked, this, &EventTextView::chooseSaveFile);
    connect(&notifier, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (StoreNotifier::has(fields, StoreField::activeEventJson)) {
            sync();
        }
    });
    sync();
}

EventTextView::~EventTextView() {
    savePool_.waitForDone();
}

void EventTextView::sync() {
    const EventSelection& selection = workspace_.selection;
    const bool pending = selection.detailPending();
    const EventDetail& detail = selection.activeDetail();
    reading_->setVisible(pending);
    notice_->setText(withVisibleMarks(QString::fromStdString(detail.notice)).shown);
    notice_->setVisible(!pending && !detail.notice.empty());
    // Only the part that is shown becomes a QString here; the rest stays in
    // the selection until it is copied or saved.
    text_->setOriginalText(
        pending ? QString()
                : QString::fromUtf8(detail.text.data(), static_cast<qsizetype>(detail.shownBytes)));
    leftOut_->setText(QString::fromStdString(detail.leftOutNote));
    leftOut_->setVisible(!pending && !detail.leftOutNote.empty());
    const bool hasText = !pending && !detail.text.empty();
    copy_->setVisible(hasText);
    save_->setVisible(hasText);
}

void EventTextView::copyToClipboard() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(workspace_.selection.activeEventJson()));
}

void EventTextView::chooseSaveFile() {
    auto* dialog = new SaveDialog(this, saveEventDialogTitle(),
                                  [](const QString&) { return QStringLiteral("json"); });
    dialog->setNameFilter(saveEventFilter());
    connect(dialog, &QFileDialog::fileSelected, this, &EventTextView::saveTo);
    dialog->show();
}

void EventTextView::saveTo(const QString& path) {
    // The text as it is now; a later choice does not change what is saved.
    auto text = std::make_shared<const std::string>(workspace_.selection.activeEventJson());
    const std::string target = QFile::encodeName(path).toStdString();
    savePool_.start([this, path, text, target] {
        lowerWorkerPriority();
        const std::string failure = replaceFile(target, [&](int fd) -> std::string {
            std::size_t done = 0;
            while (done < text->size()) {
                const ssize_t n = ::write(fd, text->data() + done, text->size() - done);
                if (n < 0 && errno != EINTR) {
                    return writeFailure(target, errno);
                }
                done += n > 0 ? static_cast<std::size_t>(n) : 0;
            }
            return {};
        });
        const QString error = QString::fromStdString(failure);
        QMetaObject::invokeMethod(
            this,
            [this, path, error] {
                if (!error.isEmpty()) {
                    auto* box = new QMessageBox(QMessageBox::Warning, saveEventFailedTitle(),
                                                saveEventFailedTitle(), QMessageBox::Ok, this);
                    box->setInformativeText(error);
                    box->setAttribute(Qt::WA_DeleteOnClose);
                    box->show();
                }
                emit saved(path, error);
            },
            Qt::QueuedConnection);
    });
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
