#include "ui/window/timeline_strip.h"

#include <QHelpEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <memory>
#include <optional>

#include "describe/time_text.h"
#include "query/rows_snapshot.h"
#include "ui/look/style.h"
#include "ui/look/worker_priority.h"
#include "ui/marks/highlighted_rows.h"
#include "ui/window/window_highlights.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

// What a worker counts from: every list as it is, and the rows shown.
struct TimelineStrip::Counts {
    RowsSnapshot snapshot;
    PerKind<std::optional<RowNumbers>> shownRows;  // nothing: every row shown
    PerKind<KindHighlights> highlights;
    TimeSlices shown;
    TimeSlices all;
    std::vector<SliceMark> marks;
};

namespace {

std::optional<RowNumbers> shownOf(const FilteredRowSource& rows) {
    if (const RowNumbers* shown = rows.shownRows()) {
        return *shown;
    }
    return std::nullopt;
}

// Reads each row's time alone: a count over ten million rows runs beside
// the filter and highlight passes, on the same cores.
void countRows(const KindRowsSnapshot& rows, const std::optional<RowNumbers>& shown, RowKind list,
               TimeSlices& shownSlices, TimeSlices& allSlices) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TimeValue t = rows.timeOf(i);
        allSlices.add(t, list);
        if (!shown) {
            shownSlices.add(t, list);
        }
    }
    if (shown) {
        for (const std::uint32_t row : *shown) {
            if (row < rows.size()) {
                shownSlices.add(rows.timeOf(row), list);
            }
        }
    }
}

void widen(const KindRowsSnapshot& rows, TimeValue& first, TimeValue& last) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TimeValue t = rows.timeOf(i);
        if (t != kNoTimeValue) {
            first = std::min(first, t);
            last = std::max(last, t);
        }
    }
}

}  // namespace

TimelineStrip::TimelineStrip(const PerKind<FilteredRowSource*>& lists, QWidget* parent)
    : QWidget(parent), lists_(lists) {
    pool_.setMaxThreadCount(1);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    due_.setSingleShot(true);
    connect(&due_, &QTimer::timeout, this, &TimelineStrip::recount);
    // A new filter sends rowsReplaced and countsChanged one after the other:
    // the timer makes them one count.
    for (FilteredRowSource* rows : lists_) {
        connect(rows, &RowSource::rowsReplaced, this, [this] { recountSoon(true); });
        connect(rows, &RowSource::rowsAppended, this, [this] { recountSoon(false); });
        connect(rows, &FilteredRowSource::countsChanged, this, [this] { recountSoon(false); });
    }
    recountSoon(true);
}

TimelineStrip::~TimelineStrip() {
    pool_.clear();
    pool_.waitForDone();
}

void TimelineStrip::markHighlights(const WindowHighlights& highlights) {
    highlights_ = &highlights;
    for (const RowKind kind : kRowKinds) {
        connect(&highlights.rowsOf(kind), &HighlightedRows::changed, this,
                [this] { recountSoon(true); });
    }
    recountSoon(true);
}

void TimelineStrip::recountSoon(bool replaced) {
    if (running_) {
        again_ = true;
        againReplaced_ = againReplaced_ || replaced;
        return;
    }
    if (replaced) {
        due_.start(0);
    } else if (!due_.isActive()) {
        const qint64 since = countClock_.isValid() ? countClock_.elapsed() : pauseMs_;
        due_.start(static_cast<int>(std::max<qint64>(0, pauseMs_ - since)));
    }
}

void TimelineStrip::recount() {
    if (running_) {
        again_ = true;
        return;
    }
    due_.stop();
    running_ = true;
    again_ = false;
    againReplaced_ = false;
    countClock_.start();
    const EventStore& store = lists_[RowKind::process]->workspace().store;
    PerKind<std::size_t> totals{};
    auto counts = std::make_shared<Counts>();
    for (const RowKind kind : kRowKinds) {
        totals[kind] = static_cast<std::size_t>(lists_[kind]->totalCount());
        counts->shownRows[kind] = shownOf(*lists_[kind]);
        if (highlights_ != nullptr) {
            counts->highlights[kind] = highlights_->rowsOf(kind).matchedRows();
        }
    }
    counts->snapshot = RowsSnapshot::of(store, totals);
    const std::uint64_t generation = ++generation_;
    pool_.start([this, counts, generation] {
        lowerWorkerPriority();
        TimeValue first = INT64_MAX;
        TimeValue last = INT64_MIN;
        for (const KindRowsSnapshot& rows : counts->snapshot.rows) {
            widen(rows, first, last);
        }
        if (first <= last) {
            counts->shown = TimeSlices(first, last, kSlices);
            counts->all = TimeSlices(first, last, kSlices);
            for (const RowKind kind : kRowKinds) {
                countRows(counts->snapshot.rows[kind], counts->shownRows[kind], kind, counts->shown,
                          counts->all);
            }
            counts->marks = korvantis::sliceMarks(counts->all, counts->snapshot.rows,
                                                  counts->shownRows, counts->highlights);
        }
        QMetaObject::invokeMethod(
            this, [this, generation, counts] { finished(generation, *counts); },
            Qt::QueuedConnection);
    });
}

void TimelineStrip::finished(std::uint64_t generation, Counts& counts) {
    running_ = false;
    pauseMs_ = 2 * countClock_.elapsed();
    countClock_.start();
    if (generation == generation_) {
        shown_ = std::move(counts.shown);
        all_ = std::move(counts.all);
        marks_ = std::move(counts.marks);
        update();
    }
    if (again_) {
        const bool replaced = againReplaced_;
        again_ = againReplaced_ = false;
        recountSoon(replaced);
    }
}

TimeValue TimelineStrip::timeAt(int x) const {
    const double share = std::clamp(static_cast<double>(x) / std::max(1, width()), 0.0, 1.0);
    const auto span = static_cast<double>(all_.width()) * static_cast<double>(kSlices);
    return all_.from() + static_cast<TimeValue>(share * span);
}

QSize TimelineStrip::sizeHint() const {
    return QSize(400, 56);
}

int TimelineStrip::xOf(TimeValue time) const {
    const auto span = static_cast<double>(all_.width()) * static_cast<double>(kSlices);
    if (time == kNoTimeValue || all_.slices().empty() || time < all_.from() ||
        static_cast<double>(time - all_.from()) >= span) {
        return -1;
    }
    return static_cast<int>(static_cast<double>(time - all_.from()) / span * width());
}

void TimelineStrip::setChosenTime(TimeValue time) {
    if (time != chosen_) {
        chosen_ = time;
        update();
    }
}

void TimelineStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const TimelineColors colors = timelineColors(palette());
    painter.fillRect(rect(), colors.background);
    paintBars(painter);
    paintMarks(painter);
    paintTicks(painter);
    if (dragFrom_ >= 0 && dragTo_ >= 0) {
        painter.fillRect(QRect(QPoint(std::min(dragFrom_, dragTo_), 0),
                               QPoint(std::max(dragFrom_, dragTo_), height())),
                         colors.range);
    }
    if (const int x = xOf(chosen_); x >= 0) {
        painter.fillRect(x, 0, 2, height(), colors.chosen);
    }
}

void TimelineStrip::paintBars(QPainter& painter) const {
    const TimelineColors colors = timelineColors(palette());
    const PerKind<QColor> bars{{colors.process, colors.file, colors.other}};
    const PerKind<Qt::BrushStyle> patterns{{Qt::NoBrush, Qt::BDiagPattern, Qt::Dense5Pattern}};
    const auto& all = all_.slices();
    const auto& shown = shown_.slices();
    std::uint32_t most = 1;
    for (const SliceCount& c : all) {
        most = std::max(most, c.total());
    }
    // Room for the ticks and the bands of marks.
    const int h = height() - painter.fontMetrics().height() - 2 - 2 * kMarkBand;
    const double w = static_cast<double>(width()) / std::max<std::size_t>(1, all.size());
    const auto barHeight = [&](std::uint32_t n) {
        return static_cast<int>(static_cast<std::uint64_t>(n) * h / most);
    };
    for (std::size_t i = 0; i < all.size(); ++i) {
        const int x = static_cast<int>(i * w);
        const int bw = std::max(1, static_cast<int>((i + 1) * w) - x);
        const int outline = barHeight(all[i].total());
        painter.fillRect(x, height() - outline, bw, outline, colors.outline);
        // The kinds differ by more than their hue: process bars are solid,
        // file bars striped, other bars dotted.
        int top = height();
        for (const RowKind kind : kRowKinds) {
            const int bar = barHeight(shown[i].rows[kind]);
            top -= bar;
            painter.fillRect(x, top, bw, bar, bars[kind]);
            if (patterns[kind] != Qt::NoBrush) {
                painter.fillRect(x, top, bw, bar, QBrush(colors.background, patterns[kind]));
            }
        }
    }
}

void TimelineStrip::paintMarks(QPainter& painter) const {
    const int top = painter.fontMetrics().height() + 2;
    const double w = static_cast<double>(width()) / std::max<std::size_t>(1, marks_.size());
    for (std::size_t i = 0; i < marks_.size(); ++i) {
        const SliceMark& mark = marks_[i];
        const int x = static_cast<int>(i * w);
        const int bw = std::max(2, static_cast<int>((i + 1) * w) - x);
        if (mark.level != RuleLevel::none) {
            painter.fillRect(x, top, bw, kMarkBand, ruleLevelColor(mark.level, palette()));
        }
        if (mark.highlight >= 0 && highlights_ != nullptr) {
            const auto& rules = highlights_->rules().rules();
            if (mark.highlight < rules.size()) {
                painter.fillRect(x, top + kMarkBand, bw, kMarkBand,
                                 highlightColor(rules[mark.highlight].colour, palette()));
            }
        }
    }
}

std::vector<TimelineTick> TimelineStrip::ticks(const QFontMetrics& metrics) const {
    if (all_.slices().empty()) {
        return {};
    }
    const TimeValue from = all_.from();
    // Rows all at one moment: that moment, dated to the nanosecond, rather
    // than round steps through nanoseconds that no row spans.
    const auto& slices = all_.slices();
    const bool oneMoment =
        all_.width() == 1 && std::all_of(slices.begin() + 1, slices.end(),
                                         [](const SliceCount& c) { return c.total() == 0; });
    const TimeValue to = from + (oneMoment ? 1 : all_.width() * kSlices);
    return timelineTicks(from, to, width(), [&](std::string_view text) {
        return metrics.horizontalAdvance(
                   QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))) +
               3;
    });
}

QStringList TimelineStrip::tickLabels() const {
    QStringList labels;
    for (const TimelineTick& tick : ticks(fontMetrics())) {
        labels.append(QString::fromStdString(tick.label));
    }
    return labels;
}

void TimelineStrip::paintTicks(QPainter& painter) const {
    // Round times along the top, in UTC, dated where a day begins.
    const QFontMetrics metrics = painter.fontMetrics();
    const double span = static_cast<double>(all_.width() * kSlices);
    painter.setPen(timelineColors(palette()).text);
    for (const TimelineTick& tick : ticks(metrics)) {
        const int x = static_cast<int>(static_cast<double>(tick.at - all_.from()) / span * width());
        painter.drawLine(x, 0, x, tick.label.empty() ? 2 : 4);
        if (!tick.label.empty()) {
            painter.drawText(x + 3, metrics.ascent() + 1, QString::fromStdString(tick.label));
        }
    }
}

void TimelineStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragFrom_ = dragTo_ = event->position().toPoint().x();
        event->accept();
    }
}

void TimelineStrip::mouseMoveEvent(QMouseEvent* event) {
    if (dragFrom_ >= 0) {
        dragTo_ = event->position().toPoint().x();
        update();
    }
}

void TimelineStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (dragFrom_ < 0 || event->button() != Qt::LeftButton) {
        return;
    }
    const int to = event->position().toPoint().x();
    const int from = dragFrom_;
    dragFrom_ = dragTo_ = -1;
    update();
    if (std::abs(to - from) > 2 && !all_.slices().empty()) {
        emit rangeChosen(timeAt(std::min(from, to)), timeAt(std::max(from, to)));
    }
}

void TimelineStrip::mouseDoubleClickEvent(QMouseEvent*) {
    dragFrom_ = dragTo_ = -1;
    emit rangeCleared();
}

QString TimelineStrip::sliceText(int slice) const {
    const SliceCount& c = shown_.slices()[static_cast<std::size_t>(slice)];
    const TimeValue start = all_.from() + slice * all_.width();
    return QString::fromStdString(shownTime(TimeDisplay::utc, {}, start, start)) +
           tr(" UTC\n%1 process events, %2 file events, %3 other events")
               .arg(c.rows[RowKind::process])
               .arg(c.rows[RowKind::file])
               .arg(c.rows[RowKind::other]);
}

bool TimelineStrip::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && !shown_.slices().empty()) {
        auto* help = static_cast<QHelpEvent*>(event);
        const auto slice = shown_.sliceOf(timeAt(help->pos().x()));
        if (slice >= 0) {
            QToolTip::showText(help->globalPos(), sliceText(static_cast<int>(slice)), this);
        }
        return true;
    }
    return QWidget::event(event);
}

}  // namespace korvantis::ui
