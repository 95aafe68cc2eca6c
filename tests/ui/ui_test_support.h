#pragma once

// What the tests drive: the main window and the Qt parts they look into.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStringList>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <fstream>

#include "rules/guarded_yaml.h"
#include "support/log_lines.h"
#include "ui/list/selectable_text.h"
#include "ui/look/style.h"
#include "ui/look/view_texts.h"
#include "ui/panel/detail_area.h"
#include "ui/panel/error_view.h"
#include "ui/panel/event_panel.h"
#include "ui/panel/facts_card_view.h"
#include "ui/window/filter_bar.h"
#include "ui/window/load_progress_view.h"
#include "ui/window/lost_messages_strip.h"
#include "ui/window/main_menu_bar.h"
#include "ui/window/main_view.h"
#include "ui/window/summary_window.h"
#include "ui/window/timeline_strip.h"
#include "ui/window/top_bar_view.h"
#include "workspace/workspace.h"

namespace korvantis::ui::testing {

// Long enough for a loaded machine: waits end as soon as their state comes.
constexpr int kTimeout = 20000;

// QTRY_VERIFY and QTRY_COMPARE with that patience.
#define TRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, ::korvantis::ui::testing::kTimeout)
#define TRY_COMPARE(actual, expected) \
    QTRY_COMPARE_WITH_TIMEOUT(actual, expected, ::korvantis::ui::testing::kTimeout)

// The choices a test makes (columns shown, ...) are kept apart from the
// user's own, in a folder of the test's run, fresh for every run.
inline void keepSettingsApart() {
    static QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
}
Q_COREAPP_STARTUP_FUNCTION(keepSettingsApart)

// Rule files are parsed by a program started anew, not by forking the test.
inline void startRuleParsersAnew() {
    setYamlChildProgram(KORVANTIS_RULE_YAML_CHILD);
}
Q_COREAPP_STARTUP_FUNCTION(startRuleParsersAnew)

inline QString procLine(const char* event, qint64 pid, qint64 ppid, const QString& path,
                        const QString& ts = QStringLiteral("1765000000.1")) {
    return QString::fromStdString(
        testsupport::procLine(event, pid, ppid, path.toStdString(), ts.toStdString()));
}

inline QString fileLine(const char* event, qint64 pid, const QString& dest,
                        const QString& ts = QStringLiteral("1765000001.5")) {
    return QString::fromStdString(
        testsupport::fileLine(event, pid, dest.toStdString(), ts.toStdString()));
}

// Writes `bytes` as the file `name` of `dir`; its path.
inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

inline QString writeLog(const QTemporaryDir& dir, const QString& name, const QStringList& lines) {
    return writeFile(dir, name, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

// A file's bytes, or "<missing>" when it cannot be read.
inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Saves a picture of `w` as `name` in the build's screenshots folder, for a
// person to look at, once what is queued for it has been handled.
inline void savePicture(QWidget& w, const char* name) {
    QCoreApplication::processEvents();
    const QDir dir(QStringLiteral(KORVANTIS_SCREENSHOT_DIR));
    QVERIFY(dir.mkpath(QStringLiteral(".")));
    QVERIFY2(w.grab().save(dir.filePath(QLatin1String(name))), name);
}

// The action of `menu` whose text is `text`, none when there is none.
inline QAction* actionNamed(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->text() == text) {
            return a;
        }
    }
    return nullptr;
}

// A main window on screen, wide enough for every default column.
struct ShownWindow {
    MainView view{[](const TreeRequest&) {}};
    MainMenuBar* menus = new MainMenuBar(view);  // the view's child
    explicit ShownWindow(int width = 1500, int height = 900) {
        view.resize(width, height);
        view.show();
    }
    Workspace& workspace() { return view.workspace(); }
    EventSelection& selection() { return workspace().selection; }
    TopBarView* bar() { return view.topBar(); }
    EventPreview* procPreview() { return view.processPanel()->preview(); }
    EventPreview* filePreview() { return view.filePanel()->preview(); }
    RowSource& procs() { return procPreview()->rows(); }
    RowSource& files() { return filePreview()->rows(); }
    PreviewList* procList() { return procPreview()->list(); }
    PreviewList* fileList() { return filePreview()->list(); }
    DetailArea* procDetail() { return view.processPanel()->detail(); }
    // Loads `path` and waits until `rows` holds `count` rows.
    void load(const QString& path, RowSource& rows, int count) {
        workspace().loader.loadJsonFile(path.toStdString());
        TRY_COMPARE(rows.rowCount(), count);
    }
    void load(const QString& path, int procRows) { load(path, procs(), procRows); }
    // Gives the window the keyboard.
    void activate() {
        view.windowHandle()->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&view));
    }
};

// Clicks a row's first cell, scrolling it on screen first.
inline void clickRow(PreviewList* list, int row) {
    list->scrollToRow(row);
    const QRect rect = list->rowRect(row);
    QVERIFY2(!rect.isEmpty(), "row not on screen");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(list->cellRects(row)[0].center().x(), rect.center().y()));
}

// Whether the grabbed list shows a pixel of exactly `color` inside a cell.
inline bool cellShows(PreviewList* list, int row, int column, const QColor& color) {
    const QList<QRect> cells = list->cellRects(row);
    const QRect cell = column < cells.size() ? cells[column] : QRect();
    const QImage image = list->viewport()->grab().toImage();
    const qreal dpr = image.devicePixelRatio();
    const QRect r = QRect(cell.topLeft() * dpr, cell.size() * dpr) & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (image.pixelColor(x, y).rgb() == color.rgb()) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace korvantis::ui::testing
