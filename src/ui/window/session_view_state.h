#pragma once

#include <QJsonObject>
#include <QObject>

#include <optional>

#include "store/row_kind.h"
#include "ui/marks/window_marks.h"

namespace korvantis::ui {

class MainView;

// What a session keeps of a window's lists besides the filter and the
// highlight rules: per list its sort, its shown columns with their widths
// and its first shown row; the time display; the chosen row. Rows are named
// as marks name them (log, line, checksum), so they are found again in the
// logs loaded anew; the chosen row and the first rows wait until the rows
// are loaded, filtered and sorted, and are dropped when not found then.
class SessionViewState : public QObject {
    Q_OBJECT
  public:
    SessionViewState(MainView& view, WindowMarks& marks, QObject* parent = nullptr);

    // Adds "sort", "columns", "time_display", "chosen_row" and "scroll" to `view`.
    void write(QJsonObject& view) const;
    // Takes them from `view`; members missing or of the wrong form are passed over.
    void apply(const QJsonObject& view);
    // Whether the chosen row or a first row still waits for its rows.
    bool waiting() const;

  signals:
    // Something a session keeps changed.
    void changed();

  private:
    // Places the rows that wait, once the lists are settled.
    void placeRows();
    bool settled() const;
    QJsonValue nameOf(LinePlace entry) const;
    std::optional<WindowMarks::NamedLine> lineNamed(const QJsonValue& value) const;

    MainView& view_;
    WindowMarks& marks_;
    // What waits for its rows, as the session named it.
    std::optional<WindowMarks::NamedLine> chosen_;
    PerKind<std::optional<WindowMarks::NamedLine>> firstRows_;
};

}  // namespace korvantis::ui
