#pragma once

#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include "support/log_lines.h"
#include "ui/detail_area.h"
#include "ui/error_view.h"
#include "ui/event_panel.h"
#include "ui/main_view.h"
#include "ui/style.h"
#include "ui/top_bar_view.h"
#include "ui/view_texts.h"
#include "workspace/workspace.h"

namespace korvantis::ui::testing {

// The choices a test makes (columns shown, ...) are kept apart from the
// user's own, in a folder of the test's run, fresh for every run.
inline void keepSettingsApart() {
    static QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
}
Q_COREAPP_STARTUP_FUNCTION(keepSettingsApart)

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

inline QString writeLog(const QTemporaryDir& dir, const QString& name, const QStringList& lines) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    f.write(lines.join(QLatin1Char('\n')).toUtf8());
    f.write("\n");
    return path;
}

inline EventPreview* procPreview(MainView& v) {
    return v.processPanel()->preview();
}
inline EventPreview* filePreview(MainView& v) {
    return v.filePanel()->preview();
}

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
    if (column >= cells.size()) {
        return false;
    }
    const QImage image = list->viewport()->grab().toImage();
    const qreal dpr = image.devicePixelRatio();
    const QRect r = cells[column];
    for (int y = int(r.top() * dpr); y < int((r.bottom() + 1) * dpr) && y < image.height(); ++y) {
        for (int x = std::max(0, int(r.left() * dpr));
             x < int((r.right() + 1) * dpr) && x < image.width(); ++x) {
            if (image.pixelColor(x, y).rgb() == color.rgb()) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace korvantis::ui::testing
