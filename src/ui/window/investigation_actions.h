#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

#include "store/store_index.h"
#include "ui/marks/marks_panel.h"

class QMenu;

namespace korvantis {
class KeptMarkTexts;
struct Session;
struct SessionRead;
}  // namespace korvantis

namespace korvantis::ui {

class EventPanel;
class EventPreview;
class MainView;
class MarksNotice;
class RowMenu;
class SessionAutosave;
class SessionViewState;
class FilterMemory;
class ReportExport;
class WindowHighlights;
class WindowMarks;

// What a main window offers to keep an investigation: Ctrl+B bookmarks the
// chosen row, F2 / Shift+F2 go to the next / previous bookmarked row of the
// list in front (going round, with a notice), the row menu's "Bookmark",
// "Tags…" and "Note…", the Marks panel (View > Marks, Ctrl+Shift+M), File >
// Save Session As… and Open Session…, and the session kept for the
// window's logs, restored with a notice when they are opened again.
class InvestigationActions : public QObject {
    Q_OBJECT
  public:
    explicit InvestigationActions(MainView& view);
    // The entries of the File and View menus, once the view's menu bar is
    // made: the session entries, Export Report…, Marks, Highlights… and the
    // saved filters.
    void addMenuEntries(QMenu& fileMenu, QMenu& viewMenu);
    ~InvestigationActions() override;

    WindowMarks& marks() const { return *marks_; }
    SessionAutosave& autosave() const { return *autosave_; }
    MarksNotice* notice() const { return notice_; }
    WindowHighlights& highlights() const { return *highlights_; }
    ReportExport& report() const { return *report_; }
    FilterMemory& filterMemory() const { return *filterMemory_; }
    // The sort, columns, time display, chosen row and scroll places kept.
    SessionViewState& viewState() const { return *viewState_; }
    // The Marks panel, once it has been shown.
    MarksPanel* marksPanel() const { return panel_; }
    void showMarksPanel();

    // The stored line of the row chosen in the list in front, if any.
    std::optional<LinePlace> chosenEntry() const;
    void toggleBookmark();
    // Goes to the next (1) or previous (-1) bookmarked row of the list in front.
    void stepBookmark(int step);
    // Shows and chooses the row of stored line `entry`.
    void goTo(LinePlace entry);

    // Writes the window's session as it stands to `file`, on a worker;
    // sessionSaved() tells how it went.
    void saveSessionTo(const QString& file);
    // Reads the session file on a worker, then loads its logs, asking for
    // those not where it says; sessionOpened() tells how it went.
    void openSession(const QString& file);
    void chooseSessionToSave();
    void chooseSessionToOpen();

  signals:
    // A session file was written or opened: the reason when it was not
    // (nothing was loaded from it), or empty.
    void sessionSaved(const QString& file, const QString& failed);
    void sessionOpened(const QString& file, const QString& failed);

  private:
    void addShortcuts();
    // Takes a session file read and loads its logs.
    void takeSessionFile(const QString& file, SessionRead& read, KeptMarkTexts& texts);
    // Tells why a session file chosen in a dialog could not be written or
    // opened.
    void tellChosenSessionFile(const QString& file, const QString& failed);
    void addRowMenuEntries(EventPanel* panel, RowMenu* menu, int row);
    void askTags(LinePlace entry);
    void askNote(LinePlace entry);
    void logsChanged();
    void loadsEnded();
    // Tells of the marks that no longer match their lines, when they are new.
    void tellDetached();
    // Takes the session's marks (their texts copied already) and view.
    void restore(Session& session, KeptMarkTexts& texts, const QString& when);
    void applyView(const std::string& view);
    std::string viewText() const;
    EventPanel* frontPanel() const;
    EventPanel* panelOf(LinePlace entry) const;

    MainView& view_;
    // The autosave goes first: it saves the marks when the window closes.
    std::unique_ptr<WindowMarks> marks_;
    std::unique_ptr<SessionAutosave> autosave_;
    MarksNotice* notice_ = nullptr;
    WindowHighlights* highlights_ = nullptr;
    ReportExport* report_ = nullptr;
    FilterMemory* filterMemory_ = nullptr;
    SessionViewState* viewState_ = nullptr;
    QPointer<MarksPanel> panel_;
    // A session file opened: its view waits for its logs, and the kept
    // session of them is not restored over it.
    bool openingSession_ = false;
    // The session file last chosen in a dialog, until its save or opening ends.
    QString chosenSessionFile_;
    std::size_t detachedTold_ = 0;
};

}  // namespace korvantis::ui
