#pragma once

// The main window as the tests of its rows, its texts and its loads drive
// it: the colours of related rows, a window that reads them, and the two
// small logs most of those tests load.

#include <algorithm>
#include <cmath>

#include "ui_test_support.h"

namespace korvantis::ui::testing {

using Content = DetailArea::Content;

// The rows of the process log below.
constexpr int kProcRows = 9;
// The marks' shades on the light palette the tests run with.
inline const QColor kGreen(0x14, 0x70, 0x40);
inline const QColor kPink(0xC8, 0x00, 0x7C);
// Markup in a long path: it stays text, and it wraps.
inline const QString kMarkupPath = QStringLiteral("/tmp/<b>bold</b>&amp;") + QString(400, 'p');

// The contrast of two colours, as the web's accessibility guidelines
// define it: 1 (none) to 21 (black on white).
inline double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Every row's cell colours as letters, rows one space apart: g the chosen
// green, p the related pink, t `text`, ? any other.
inline QString marks(EventPreview* preview, const QColor& text = {}) {
    QString out;
    // The marks' shades of the list's palette, light or dark.
    const QColor green = greenColor(preview->list()->palette());
    const QColor pink = pinkColor(preview->list()->palette());
    for (int r = 0; r < preview->rows().rowCount(); ++r) {
        out += r > 0 ? u" " : u"";
        for (int c = 0; c < preview->columns().count(); ++c) {
            const QColor color = preview->list()->cellColor(r, c);
            out += color == green ? u'g' : color == pink ? u'p' : color == text ? u't' : u'?';
        }
    }
    return out;
}

struct Window : ShownWindow {
    Window() = default;
    explicit Window(const QString& procLog) { load(procLog, kProcRows); }
    LoadProgressView* progress() { return bar()->loadProgress(); }
    // The place of the chosen process row, SIZE_MAX when there is none.
    LinePlace chosenPlace() {
        const auto& chosen = selection().activeRow(RowKind::process);
        return chosen ? chosen->place : LinePlace(SIZE_MAX);
    }
    // Waits, looking often, until the big log's first rows are shown, and
    // tells whether its load still runs then.
    bool waitForFirstRows(int rows) {
        return QTest::qWaitFor([&] { return procs().rowCount() >= rows; }, kTimeout) &&
               workspace().loader.progress().running;
    }
    Content shown() { return procDetail()->content(); }
};

// The process log: a family, negative pids, a process its own parent, and
// a long stamp beside the markup path; both wrap.
inline QString writeProcLog(const QTemporaryDir& dir) {
    return writeLog(dir, QStringLiteral("procs.json"),
                    {
                        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 10, 1, "/bin/zsh"),  // 0 parent of 11
                        procLine("ES_EVENT_TYPE_NOTIFY_FORK", 11, 10, "/bin/sh"),  // 1
                        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 11, 10, "/bin/ls"),  // 2 same pid
                        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 12, 11, "/bin/cat"),  // 3 child
                        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", -5, -7, "/neg"),      // 4
                        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 30, 30, "/self"),     // 5 own parent
                        procLine("ES_EVENT_TYPE_NOTIFY_FORK", 30, 1, "/self2"),     // 6
                        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 1, 0, "/sbin/launchd"),  // 7
                        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 7, 1, kMarkupPath, QString(60, '7')),
                    });
}

// The file log: four rows, two of pid 20.
inline QString writeFileLog(const QTemporaryDir& dir) {
    return writeLog(dir, QStringLiteral("files.json"),
                    {
                        fileLine("ES_EVENT_TYPE_NOTIFY_WRITE", 20, "/tmp/a"),  // 0
                        fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 20, "/tmp/b"),   // 1
                        fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 10, "/tmp/c"),   // 2
                        fileLine("ES_EVENT_TYPE_NOTIFY_CLOSE", 21, "/tmp/d"),  // 3
                    });
}

// The base of a test class over the two logs, written once for all its tests.
class SmallLogsTest : public QObject {
  protected:
    QTemporaryDir dir_;
    const QString procLog_ = writeProcLog(dir_);
    const QString fileLog_ = writeFileLog(dir_);
};

}  // namespace korvantis::ui::testing
