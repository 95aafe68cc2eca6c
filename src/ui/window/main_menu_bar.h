#pragma once

#include <QDialog>
#include <QMenuBar>
#include <QPointer>

class QAction;
class QMenu;

namespace korvantis::ui {

class MainView;

// The menu bar above a main window's top bar. File holds the window's
// commands and their keys (Ctrl+O, Ctrl+E, Ctrl+N, Ctrl+W, Ctrl+Q), View
// the columns, the time display, the timeline (Ctrl+T, remembered) and the
// summary (Ctrl+I), Help lists the keys and tells about the program.
class MainMenuBar : public QMenuBar {
    Q_OBJECT
  public:
    // Puts itself above `view`'s strips, as its child; its actions reach the
    // view's parts.
    explicit MainMenuBar(MainView& view);

    QMenu* fileMenu() const { return file_; }
    QMenu* viewMenu() const { return view_; }
    QMenu* helpMenu() const { return help_; }
    QAction* shortcutsAction() const { return shortcuts_; }
    QAction* aboutAction() const { return about_; }
    QAction* timelineAction() const { return timeline_; }
    QAction* wrapAction() const { return wrap_; }

    // The open dialogs, if any (tests).
    QDialog* shortcutsDialog() const { return shortcutsDialog_; }
    QDialog* aboutBox() const { return aboutBox_; }

  private:
    void addFileMenu(MainView& view);
    void addViewMenu(MainView& view);
    void addHelpMenu(MainView& view);

    // Shows the dialog `slot` holds, made by `make` first if there is none.
    template <typename Make>
    void showDialog(QPointer<QDialog>& slot, Make make);

    QMenu* file_;
    QMenu* view_;
    QMenu* help_;
    QAction* shortcuts_;
    QAction* about_;
    QAction* timeline_;
    QAction* wrap_;
    QAction* summary_;
    QPointer<QDialog> shortcutsDialog_;
    QPointer<QDialog> aboutBox_;
};

}  // namespace korvantis::ui
