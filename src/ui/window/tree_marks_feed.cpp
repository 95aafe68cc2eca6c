#include "ui/window/tree_marks_feed.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QWidget>

#include "query/hit_marks.h"
#include "query/rows_snapshot.h"
#include "ui/look/style.h"
#include "ui/look/worker_priority.h"
#include "ui/marks/highlight_rules.h"
#include "ui/marks/highlighted_rows.h"
#include "ui/rows/store_notifier.h"

namespace korvantis::ui {

TreeMarksFeed::TreeMarksFeed(StoreNotifier& notifier, const HighlightRules& rules,
                             const PerKind<HighlightedRows*>& highlighted, QWidget& window)
    : QObject(&window),
      notifier_(notifier),
      rules_(rules),
      highlighted_(highlighted),
      window_(window) {
    pool_.setMaxThreadCount(1);
    due_.setSingleShot(true);
    connect(&due_, &QTimer::timeout, this, &TreeMarksFeed::work);
    connect(&notifier_, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (StoreNotifier::has(fields, StoreField::ruleHits) ||
            StoreNotifier::has(fields, StoreField::processRows) ||
            StoreNotifier::has(fields, StoreField::fileRows) ||
            StoreNotifier::has(fields, StoreField::otherRows)) {
            workSoon();
        }
    });
    for (const RowKind kind : kRowKinds) {
        connect(highlighted_[kind], &HighlightedRows::changed, this, &TreeMarksFeed::workSoon);
    }
    connect(&rules_, &HighlightRules::changed, this, &TreeMarksFeed::changed);
}

TreeMarksFeed::~TreeMarksFeed() {
    pool_.clear();
    pool_.waitForDone();
}

SharedText TreeMarksFeed::marks() {
    if (!wanted_) {
        wanted_ = true;
        work();
    }
    return marks_;
}

QString TreeMarksFeed::colours() const {
    const QPalette palette = window_.palette();
    QJsonObject levels;
    for (const RuleLevel level : {RuleLevel::informational, RuleLevel::low, RuleLevel::medium,
                                  RuleLevel::high, RuleLevel::critical}) {
        levels.insert(QString::fromUtf8(ruleLevelName(level)),
                      ruleLevelColor(level, palette).name());
    }
    QJsonArray shades;
    for (const HighlightRule& rule : rules_.rules()) {
        const QColor colour = highlightColor(rule.colour, palette);
        shades.append(colour.isValid() ? colour.name() : QString());
    }
    return QString::fromUtf8(QJsonDocument(QJsonObject{{"levels", levels}, {"highlights", shades}})
                                 .toJson(QJsonDocument::Compact));
}

// Rows arrive in many small steps during a load: the marks are worked out
// again no sooner than twice the last run's time after it ended.
void TreeMarksFeed::workSoon() {
    if (!wanted_) {
        return;
    }
    if (running_) {
        again_ = true;
        return;
    }
    if (!due_.isActive()) {
        const qint64 since = clock_.isValid() ? clock_.elapsed() : pauseMs_;
        due_.start(static_cast<int>(std::max<qint64>(0, pauseMs_ - since)));
    }
}

void TreeMarksFeed::work() {
    if (running_) {
        again_ = true;
        return;
    }
    due_.stop();
    running_ = true;
    again_ = false;
    clock_.start();
    struct Job {
        RowsSnapshot rows;
        PerKind<KindHighlights> highlights;
        std::string marks;
    };
    auto job = std::make_shared<Job>();
    job->rows = RowsSnapshot::of(notifier_.workspace().store);
    for (const RowKind kind : kRowKinds) {
        job->highlights[kind] = highlighted_[kind]->matchedRows();
    }
    const std::uint64_t generation = ++generation_;
    pool_.start([this, job, generation] {
        lowerWorkerPriority();
        job->marks = encodeNodeMarks(nodeMarks(job->rows.rows, job->highlights));
        QMetaObject::invokeMethod(
            this,
            [this, job, generation] {
                running_ = false;
                pauseMs_ = 2 * clock_.elapsed();
                clock_.start();
                const bool changedMarks = !marks_ || *marks_ != job->marks;
                if (generation == generation_ && changedMarks) {
                    marks_ = sharedText(std::move(job->marks));
                }
                if (again_) {
                    again_ = false;
                    workSoon();
                }
                if (changedMarks) {
                    emit changed();
                }
            },
            Qt::QueuedConnection);
    });
}

}  // namespace korvantis::ui
