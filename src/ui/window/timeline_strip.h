#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

#include <cstdint>

class QPainter;

#include "query/hit_marks.h"
#include "query/time_slices.h"
#include "query/timeline_ticks.h"
#include "ui/rows/filtered_row_source.h"

namespace korvantis::ui {

class WindowHighlights;

// A strip of bars: how many of the shown rows fall in each slice of the
// loaded time, process rows under file rows under other rows, with the whole trace's
// outline behind. Counted on a worker whenever the shown rows change.
// Dragging over it chooses a range of time; a double-click drops it. A thin
// line marks the chosen row's time; hovering tells a slice's time and counts.
// Under the ticks, a band marks the slices whose shown rows match detection
// rules, in the colour of the highest level among them, and one below it the
// slices with highlighted rows, in the colour of the first highlight rule.
class TimelineStrip : public QWidget {
    Q_OBJECT
  public:
    // The lists of every kind of row.
    TimelineStrip(const PerKind<FilteredRowSource*>& lists, QWidget* parent = nullptr);
    // Waits for the worker: it reads the store.
    ~TimelineStrip() override;

    // The counts of the shown rows and of all rows, over the same slices.
    const TimeSlices& shownSlices() const { return shown_; }
    const TimeSlices& allSlices() const { return all_; }
    // Per slice of the shown rows: their highest rule level and first
    // highlight rule.
    const std::vector<SliceMark>& sliceMarks() const { return marks_; }
    // Marks the rows `highlights` selects too, kept up to date.
    void markHighlights(const WindowHighlights& highlights);
    // The rows' rule hits were replaced: counts again.
    void ruleHitsChanged() { recountSoon(true); }
    // Whether the bars show the rows as they are now.
    bool counted() const { return !running_ && !again_ && !due_.isActive(); }
    // The labels of the ticks along the top, as painted ("" for a bare tick).
    QStringList tickLabels() const;
    // The moment at an x of this widget (within the loaded time).
    TimeValue timeAt(int x) const;
    // The x a moment is drawn at, or -1 outside the loaded time.
    int xOf(TimeValue time) const;
    // The time to mark (kNoTimeValue: none).
    void setChosenTime(TimeValue time);
    TimeValue chosenTime() const { return chosen_; }

    static constexpr int kSlices = 240;
    static constexpr int kMarkBand = 3;  // the height of each band of marks

  signals:
    // A drag chose [from, to).
    void rangeChosen(qint64 from, qint64 to);
    void rangeCleared();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    QSize sizeHint() const override;

  private:
    struct Counts;
    // Asks for a count: at once when the shown rows were replaced (a new
    // filter); when rows were only added (a load), not before twice the last
    // count's time has passed since it ended, so that recounting millions of
    // rows again and again does not take a core from the load.
    void recountSoon(bool replaced);
    void recount();
    void finished(std::uint64_t generation, Counts& counts);
    QString sliceText(int slice) const;
    void paintTicks(QPainter& painter) const;
    std::vector<TimelineTick> ticks(const QFontMetrics& metrics) const;
    void paintBars(QPainter& painter) const;
    void paintMarks(QPainter& painter) const;

    PerKind<FilteredRowSource*> lists_;
    QThreadPool pool_;
    std::uint64_t generation_ = 0;
    bool running_ = false;
    bool again_ = false;          // asked for while a count ran
    bool againReplaced_ = false;  // and the shown rows were replaced
    QTimer due_;                  // the next count, asked for
    QElapsedTimer countClock_;    // since the last count began, then ended
    qint64 pauseMs_ = 0;          // between counts of added rows
    TimeSlices shown_;
    TimeSlices all_;
    std::vector<SliceMark> marks_;
    const WindowHighlights* highlights_ = nullptr;
    int dragFrom_ = -1;  // x where a drag began
    int dragTo_ = -1;
    TimeValue chosen_ = kNoTimeValue;
};

}  // namespace korvantis::ui
