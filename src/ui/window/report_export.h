#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>

namespace korvantis::ui {

class MainView;
class WindowMarks;

// File > Export Report…: the window's marked rows that its filter shows, as
// one self-contained HTML page (see marksReport). The page is made from the
// store as it stands, on its thread (a load may be adding rows); the file is
// written on a worker, in one step, so a failed write leaves an old file as
// it was. A failure is told by finished().
class ReportExport : public QObject {
    Q_OBJECT
  public:
    ReportExport(MainView& view, const WindowMarks& marks);
    // Waits for a write in progress.
    ~ReportExport() override;

    // Opens a save dialog; a chosen file is written.
    void chooseFile();
    // Writes the report to `path`; finished() tells how it went.
    void exportTo(const QString& path);
    bool running() const { return running_ > 0; }

  signals:
    // After every export; `error` is empty on success.
    void finished(const QString& path, const QString& error);

  private:
    MainView& view_;
    const WindowMarks& marks_;
    QThreadPool pool_;
    int running_ = 0;
};

}  // namespace korvantis::ui
