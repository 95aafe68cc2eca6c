#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "investigation/kept_mark_texts.h"
#include "investigation/session_file.h"

namespace korvantis::ui {

class WindowMarks;

// Keeps the session of a window's set of logs (by their real paths, in
// order) in the user's data folder ($XDG_DATA_HOME/korvantis/sessions/):
// saved a second after a change at most once a second and when the window
// closes, each save in one step, and read back when the same logs are
// opened again. Files are written and read on a worker, one after the
// other in the order asked; this thread only copies the session flat to save
// it and takes the one read. Session files the user names are written and
// read on the same worker, in the same order.
class SessionAutosave : public QObject {
    Q_OBJECT
  public:
    // `view` gives the window's state as a JSON object's text.
    SessionAutosave(WindowMarks& marks, std::function<std::string()> view,
                    QObject* parent = nullptr);
    ~SessionAutosave() override;

    // The folder sessions are kept in, and the file of a set of logs.
    static QString folder();
    static QString fileFor(const std::vector<std::string>& logs);

    // The window now shows `logs`. When it is a set not seen before and its
    // session was kept, restored() is emitted with it (unless `restore` is
    // false: the window opened a session file of its own).
    void setLogs(const std::vector<std::string>& logs, bool restore = true);
    // Something of the session changed: saved within a second.
    void changed();
    // Saves now if anything changed since the last save (the window closes).
    void saveNow();
    // Waits until the saves and reads asked for are done.
    void waitForFiles();
    // Forgets the kept session of the current logs ("Start fresh").
    void forget();
    // Writes the session as it stands now to `file`; savedTo() tells how it went.
    void saveTo(const QString& file);
    // Reads the session file `file`; fileRead() brings it.
    void readFrom(const QString& file);

    const QString& file() const { return file_; }
    const std::vector<std::string>& logs() const { return logs_; }

  signals:
    // A kept session of these logs, saved at `when`, with its marks' texts
    // already copied; a receiver may take its parts (connected directly:
    // it is the only receiver).
    void restored(korvantis::Session& session, korvantis::KeptMarkTexts& texts,
                  const QDateTime& when);
    // A save failed: why.
    void saveFailed(const QString& reason);
    // A save to a file of the user's ended; why it failed, or empty.
    void savedTo(const QString& file, const QString& failed);
    // A session file of the user's was read (or not: `read` says why), with
    // its marks' texts copied already when it was.
    void fileRead(const QString& file, korvantis::SessionRead& read,
                  korvantis::KeptMarkTexts& texts);

  private:
    // Writes the session as it stands now to `file` on the worker, then
    // `done` with the reason it failed, or empty, on this thread.
    void write(const QString& file, std::function<void(const QString&)> done);

    WindowMarks& marks_;
    std::function<std::string()> view_;
    std::vector<std::string> logs_;
    QString file_;
    // The view as last seen, for a save when the window is going.
    std::string lastView_;
    bool dirty_ = false;
    QTimer timer_;
    QThreadPool files_;
    std::uint64_t logsChanged_ = 0;  // a read is for the logs of its count only
};

}  // namespace korvantis::ui
