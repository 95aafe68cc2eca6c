// The main window driven as a user would: rows, colours, clicks, keys, the
// top bar's switches and counter, the detail text and its copy button, text
// selection, column widths, right-to-left paths, the list font, drops, the
// import dialog, and the progress of a load, its cancelling and the rows it
// shows while it runs.

#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <filesystem>

#include "ui/bidi_isolation.h"
#include "ui/text_cell.h"
#include "ui_test_support.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;
using Content = DetailArea::Content;

namespace {

constexpr int kProcRows = 9;
// Long enough a log that a load is still running when the first rows show:
// the loader hands over only a few batches ahead of the window.
constexpr int kBigLines = 400000;
constexpr int kBigErrorEvery = 1000;  // every so many lines a broken one

// Counts the Esc presses that reach a widget.
class EscCounter : public QObject {
  public:
    int presses = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            ++presses;
        }
        return QObject::eventFilter(watched, event);
    }
};

const QColor kGreen(61, 210, 130);
const QColor kPink(210, 0, 130);

// A row's expected cell colours: `all` everywhere but the PID cell (column 2).
QList<QColor> row(int cells, const QColor& all, const QColor& pid = {}) {
    QList<QColor> out(cells, all);
    out[2] = pid.isValid() ? pid : all;
    return out;
}

struct Window : ShownWindow {
    LoadProgressView* progress() { return bar()->loadProgress(); }
    const LoadProgress& loading() { return workspace().loader.progress(); }
    // The id of the chosen process row, none when there is none.
    Uuid chosenId() { return selection().activePreview().value_or(ProcPreviewEntry{}).id; }
    // Waits, looking often, until the big log's first rows are shown, and
    // tells whether its load still runs then.
    bool waitForFirstRows(int rows) {
        return QTest::qWaitFor([&] { return procs().rowCount() >= rows; }, kTimeout) &&
               loading().running;
    }
    Content shown() { return procDetail()->content(); }
    static QList<QColor> colours(EventPreview* preview, int r) {
        QList<QColor> out;
        for (int c = 0; c < preview->columns().count(); ++c) {
            out.append(preview->list()->cellColor(r, c));
        }
        return out;
    }
    QList<QColor> procColours(int r) { return colours(procPreview(), r); }
    QList<QColor> fileColours(int r) { return colours(filePreview(), r); }
};

}  // namespace

class MainViewTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QString procLog_;
    QString fileLog_;
    QString bigLog_;
    const QString markup_ = u"/tmp/<b>bold</b>&amp;"_s + QString(400, 'p');

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        procLog_ = writeLog(
            dir_, u"procs.json"_s,
            {
                procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 10, 1, "/bin/zsh"),      // 0 parent of 11
                procLine("ES_EVENT_TYPE_NOTIFY_FORK", 11, 10, "/bin/sh"),      // 1
                procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 11, 10, "/bin/ls"),      // 2 same pid
                procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 12, 11, "/bin/cat"),     // 3 child
                procLine("ES_EVENT_TYPE_NOTIFY_EXEC", -5, -7, "/neg"),         // 4
                procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 30, 30, "/self"),        // 5 own parent
                procLine("ES_EVENT_TYPE_NOTIFY_FORK", 30, 1, "/self2"),        // 6
                procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 1, 0, "/sbin/launchd"),  // 7
                // 8: markup in a long path, and a long stamp; both wrap.
                procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 7, 1, markup_, QString(60, '7')),
            });
        fileLog_ = writeLog(dir_, u"files.json"_s,
                            {
                                fileLine("ES_EVENT_TYPE_NOTIFY_WRITE", 20, "/tmp/a"),  // 0
                                fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 20, "/tmp/b"),   // 1
                                fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 10, "/tmp/c"),   // 2
                                fileLine("ES_EVENT_TYPE_NOTIFY_CLOSE", 21, "/tmp/d"),  // 3
                            });
        bigLog_ = dir_.filePath(u"big.json"_s);
        std::ofstream big(bigLog_.toStdString());
        for (int i = 0; i < kBigLines; ++i) {
            if (i % kBigErrorEvery == kBigErrorEvery - 1) {
                big << "{broken " << i << '\n';
            } else {
                big << procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 1000 + i, 1, u"/bin/big%1"_s.arg(i))
                           .toStdString()
                    << '\n';
            }
        }
        QVERIFY(big.good());
    }

    void processRowsAndColours() {
        Window w;
        w.load(procLog_, kProcRows);
        QCOMPARE(w.procs().text(1, FieldKey::type), u"ES_EVENT_TYPE_NOTIFY_FORK"_s);
        QCOMPARE(w.procs().text(4, FieldKey::pid) + w.procs().text(4, FieldKey::ppid), u"-5-7"_s);
        const QColor text = w.procList()->palette().color(QPalette::Text);
        for (int r = 0; r < kProcRows; ++r) {
            QCOMPARE(w.procColours(r), row(5, text));
        }
        // Long cells wrap within the viewport.
        w.procList()->scrollToRow(8);
        QVERIFY(w.procList()->rowRect(8).height() > 2 * w.procList()->rowRect(7).height());
        QVERIFY(w.procList()->cellRects(8)[4].right() <= w.procList()->viewport()->width());
        w.procList()->scrollToRow(0);

        clickRow(w.procList(), 1);  // pid 11, ppid 10
        TRY_VERIFY(w.selection().activePreview().has_value());
        QCOMPARE(w.procColours(1), row(5, kGreen));         // chosen
        QCOMPARE(w.procColours(2), row(5, kPink, kGreen));  // same pid
        QCOMPARE(w.procColours(0), row(5, kPink));          // parent
        QCOMPARE(w.procColours(3), row(5, text));           // child: plain
        // What is painted follows the same colours.
        TRY_VERIFY(cellShows(w.procList(), 1, 1, kGreen));
        QVERIFY(cellShows(w.procList(), 0, 1, kPink));
        QVERIFY(!cellShows(w.procList(), 3, 1, kPink));

        // pid equal to its own ppid: the other rows of that pid follow the same-pid rule.
        clickRow(w.procList(), 5);
        TRY_COMPARE(w.selection().activePreview()->pid, 30);
        QCOMPARE(w.procColours(5), row(5, kGreen));
        QCOMPARE(w.procColours(6), row(5, kPink, kGreen));
        QCOMPARE(w.procColours(1), row(5, text));
    }

    void fileColoursStandApart() {
        Window w;
        w.view.tabs()->setCurrentIndex(1);
        w.load(fileLog_, w.files(), 4);  // only file events: the rows still come
        QCOMPARE(w.files().text(0, FieldKey::path), u"/tmp/a"_s);

        // Unmarked file cells: white on a dark list, the palette's text on a light one.
        QPalette pal = w.fileList()->palette();
        pal.setColor(QPalette::Base, QColor(30, 30, 30));
        w.fileList()->setPalette(pal);
        QCOMPARE(w.fileColours(0), row(4, Qt::white));
        const QColor plain(10, 10, 10);
        pal.setColor(QPalette::Base, QColor(250, 250, 250));
        pal.setColor(QPalette::Text, plain);
        w.fileList()->setPalette(pal);
        QCOMPARE(w.fileColours(0), row(4, plain));

        clickRow(w.fileList(), 0);  // WRITE, pid 20
        TRY_VERIFY(w.selection().activeFilePreview().has_value());
        QCOMPARE(w.fileColours(0), row(4, kGreen));
        QCOMPARE(w.fileColours(1), row(4, kPink, kGreen));
        QCOMPARE(w.fileColours(2), row(4, plain));  // pid 10: no parent rule
        TRY_VERIFY(cellShows(w.fileList(), 1, 0, kPink));

        // A process choice afterwards leaves the file colours as they are.
        w.load(procLog_, kProcRows);
        w.view.tabs()->setCurrentIndex(0);
        clickRow(w.procList(), 0);
        TRY_VERIFY(w.selection().activePreview().has_value());
        QCOMPARE(w.fileColours(1), row(4, kPink, kGreen));
    }

    // Other events get a third tab once a log has one; it has its own chosen
    // row, coloured by the Files tab's rules, and counts what a filter shows.
    void otherEventsTab() {
        Window w;
        w.load(procLog_, kProcRows);
        QCOMPARE(w.view.tabs()->count(), 2);  // a native log keeps its two tabs
        const auto other = [](const char* kind, const char* body, int pid, const char* path) {
            return QStringLiteral(R"({"event":{"%1":%2},"time":"2024-05-01T10:00:0%3Z",)"
                                  R"("process":{"audit_token":{"pid":%3},"ppid":1,)"
                                  R"("executable":{"path":"%4"}}})")
                .arg(QLatin1String(kind), QLatin1String(body), QString::number(pid),
                     QLatin1String(path));
        };
        const QString log =
            writeLog(dir_, u"others.json"_s,
                     {other("exit", R"({"stat":9})", 4, "/bin/ls"),
                      other("mmap", R"({"source":{"path":"/usr/lib/dyld"}})", 4, "/bin/ls"),
                      other("kill", R"({"sig":9})", 5, "/bin/kill")});
        RowSource& others = w.view.otherPanel()->preview()->rows();
        w.load(log, others, 3);
        TRY_COMPARE(w.view.tabs()->count(), 3);
        QCOMPARE(w.view.tabs()->tabText(2), u"Other events"_s);
        QCOMPARE(others.text(0, factKey(Fact::summary)), u"signal 9"_s);
        QCOMPARE(others.text(1, FieldKey::ppid), u"1"_s);

        w.view.tabs()->setCurrentIndex(2);
        EventPreview* preview = w.view.otherPanel()->preview();
        TRY_VERIFY(preview->list()->isVisible());
        clickRow(preview->list(), 0);
        TRY_VERIFY(w.selection().activeOtherPreview().has_value());
        QCOMPARE(Window::colours(preview, 0), row(6, kGreen));
        QCOMPARE(Window::colours(preview, 1), row(6, kPink, kGreen));
        QVERIFY(Window::colours(preview, 2)[0] != kPink);  // another pid, no parent rule
        QVERIFY(!w.selection().activeFilePreview().has_value());
        QVERIFY(w.selection().activeEventCard().find("PPID") != std::string::npos);

        w.view.filterBar()->setQuery(u"dyld"_s);
        TRY_COMPARE(w.view.tabs()->tabText(2), u"Other events (1 of 3)"_s);
    }

    // Gaps in eslogger's numbering: a notice naming the log, a list of the
    // gaps that jumps to the first row at or after each, a close button.
    void lostMessagesNotice() {
        Window w;
        w.load(procLog_, kProcRows);
        LostMessagesStrip* strip = w.view.lostMessagesStrip();
        QVERIFY(!strip->isVisible());
        const auto numbered = [](int number, const char* kind, const char* body) {
            return QStringLiteral(R"({"event":{"%1":%2},"time":"t","global_seq_num":%3,)"
                                  R"("process":{"audit_token":{"pid":%3},"ppid":1}})")
                .arg(QLatin1String(kind), QLatin1String(body), QString::number(number));
        };
        const QString trace =
            writeLog(dir_, u"trace.json"_s,
                     {numbered(1, "exit", "{}"), numbered(12346, "kill", "{}"),
                      numbered(12347, "open", "{}"),  // refused: counted, no row
                      numbered(12360, "mmap", "{}"), numbered(12361, "exit", "{}")});
        w.load(trace, w.view.otherPanel()->preview()->rows(), 4);
        TRY_VERIFY(strip->isVisible());
        QCOMPARE(strip->noteLabel()->text(),
                 QStringLiteral("12,356 messages are missing from trace.json (2 gaps): dropped by "
                                "the recorder or cut from the log"));
        QMenu* menu = strip->gapsMenu();
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[1]->text(), u"trace.json:4: 12 lost"_s);
        menu->actions()[1]->trigger();  // the row of line 4, in the third tab
        TRY_COMPARE(w.view.tabs()->currentIndex(), 2);
        TRY_VERIFY(w.selection().activeOtherPreview()->pid == 12360);
        delete menu;
        QTest::mouseClick(strip->closeButton(), Qt::LeftButton);
        TRY_VERIFY(!strip->isVisible());
    }

    // At the default widths in a 1200-pixel window, whatever font is
    // installed, no time, type or pid of the samples wraps: a row whose path
    // fits is as tall as one line of the font.
    void rowsAreOneLineTall() {
        for (const char* sample : {"/sample.json", "/eslogger.json"}) {
            Window w;
            w.view.resize(1200, 900);
            w.workspace().loader.loadJsonFile(std::string(KORVANTIS_SAMPLES_DIR) + sample);
            TRY_VERIFY(w.workspace().loader.idle() && w.procs().rowCount() > 0);
            const QFontMetrics metrics(rowFont());
            for (EventPanel* panel : {w.view.processPanel(), w.view.filePanel()}) {
                w.view.tabs()->setCurrentWidget(panel);
                EventPreview* preview = panel->preview();
                PreviewList* list = preview->list();
                TRY_VERIFY(list->isVisible() && !list->rowRect(0).isEmpty());
                for (int r = 0; r < preview->rows().rowCount() && !list->rowRect(r).isEmpty();
                     ++r) {
                    const QList<QRect> cells = list->cellRects(r);
                    for (int c = 0; c < 3; ++c) {
                        const QString text =
                            preview->rows().text(r, preview->columns().column(c).key);
                        QCOMPARE(wrappedTextHeight(text, rowFont(), cells[c].width()),
                                 metrics.height());
                    }
                    const QString path = preview->rows().text(r, FieldKey::path);
                    if (metrics.horizontalAdvance(path) <= cells.last().width()) {
                        QCOMPARE(list->rowRect(r).height(), metrics.height() + 8);  // padded
                    }
                }
            }
        }
    }

    // The legend and the error list, switched by their buttons or by Ctrl+L
    // and Ctrl+R: never both, in both panels.
    void switches_data() {
        QTest::addColumn<bool>("byKeys");
        QTest::newRow("buttons") << false;
        QTest::newRow("keys") << true;
    }

    void switches() {
        QFETCH(bool, byKeys);
        Window w;
        w.activate();
        w.procList()->setFocus();
        const struct {
            bool legend;  // else the errors
            Content then;
        } steps[] = {
            {true, Content::legend},     {false, Content::errors},
            {false, Content::eventText},  // the legend does not come back
            {false, Content::errors},    {true, Content::legend},
            {true, Content::eventText},
        };
        for (const auto& step : steps) {
            if (byKeys) {
                QTest::keyClick(QApplication::focusWidget(), step.legend ? Qt::Key_L : Qt::Key_R,
                                Qt::ControlModifier);
            } else {
                (step.legend ? w.bar()->legendButton() : w.bar()->errorsButton())->click();
            }
            TRY_COMPARE(w.shown(), step.then);
            QCOMPARE(w.view.filePanel()->detail()->content(), step.then);
            QVERIFY(!(w.workspace().switches.showLegend() && w.workspace().switches.showErrors()));
        }
    }

    // A click on the chosen row is ignored (it would hide the legend), also
    // after a second load; another row's text takes the place of the legend
    // or the error list.
    void chosenRowIgnoresClicks() {
        Window w;
        w.load(procLog_, kProcRows);
        clickRow(w.procList(), 1);
        TRY_COMPARE(w.procPreview()->selector().selectedId(), w.procs().rowId(1));
        w.bar()->legendButton()->click();
        TRY_COMPARE(w.shown(), Content::legend);
        clickRow(w.procList(), 1);  // handled at once
        QVERIFY(w.workspace().switches.showLegend());
        w.load(procLog_, 2 * kProcRows);
        QCOMPARE(w.procColours(1), row(5, kGreen));
        clickRow(w.procList(), 1);
        QVERIFY(w.workspace().switches.showLegend());

        clickRow(w.procList(), 2);
        TRY_COMPARE(w.shown(), Content::eventText);
        QCOMPARE(w.selection().activePreview()->id, w.procs().rowId(2));
        w.bar()->errorsButton()->click();
        TRY_COMPARE(w.shown(), Content::errors);
        clickRow(w.procList(), 3);
        TRY_COMPARE(w.shown(), Content::eventText);
    }

    void eventTextAndCopy() {
        Window w;
        auto* textView = w.procDetail()->eventTextView();
        QVERIFY(textView->copyButton()->isHidden());
        QVERIFY(textView->text()->toPlainText().isEmpty());
        w.load(procLog_, kProcRows);
        QCOMPARE(w.procs().text(8, FieldKey::path), markup_);
        // The store's text, shown as plain text: markup in a path stays text.
        clickRow(w.procList(), 8);
        TRY_VERIFY(textView->copyButton()->isVisible());
        const QString expected = QString::fromStdString(w.selection().activeEventJson());
        QVERIFY(expected.contains(u"<b>bold<\\/b>&amp;"_s));
        QCOMPARE(textView->text()->toPlainText(), isolatePathParts(expected).shown);
        QCOMPARE(w.view.filePanel()->detail()->eventTextView()->text()->originalText(), expected);

        // The 400-letter path wraps: no sideways scrolling, the button within
        // the width and below the text.
        QWidget* area = textView->viewport();
        const int lines = int(expected.count(QLatin1Char('\n'))) + 1;
        TRY_VERIFY(textView->text()->height() >
                   (lines + 1) * textView->text()->fontMetrics().height());
        QVERIFY(!textView->horizontalScrollBar()->isVisible());
        const QRect text(textView->text()->mapTo(area, QPoint()), textView->text()->size());
        const QRect button(textView->copyButton()->mapTo(area, QPoint()),
                           textView->copyButton()->size());
        QVERIFY(text.right() < area->width() && button.right() < area->width());
        QVERIFY(button.left() > 0 && button.top() > text.bottom());

        // A drag over the first two lines and Ctrl+C copy just those lines.
        QWidget* port = textView->text()->viewport();
        const int line = textView->text()->fontMetrics().height();
        QTest::mousePress(port, Qt::LeftButton, {}, QPoint(0, line / 2));
        QTest::mouseMove(port, QPoint(port->width() - 1, line + line / 2));
        QTest::mouseRelease(port, Qt::LeftButton, {}, QPoint(port->width() - 1, line + line / 2));
        QTest::keyClick(textView->text(), Qt::Key_C, Qt::ControlModifier);
        TRY_COMPARE(QGuiApplication::clipboard()->text(),
                    expected.section(QLatin1Char('\n'), 0, 1));

        // Copy leaves the multi-line text alone on the clipboard.
        auto* other = new QMimeData;
        other->setImageData(QImage(4, 4, QImage::Format_RGB32));
        other->setData(u"application/x-other"_s, "xyz");
        QGuiApplication::clipboard()->setMimeData(other);
        textView->copyButton()->click();
        const QMimeData* now = QGuiApplication::clipboard()->mimeData();
        QVERIFY(now && !now->hasImage() && !now->hasFormat(u"application/x-other"_s));
        QVERIFY(expected.contains(QLatin1Char('\n')));
        QCOMPARE(QGuiApplication::clipboard()->text(), expected);

        // While the legend is shown the button is not on screen.
        w.bar()->legendButton()->click();
        TRY_VERIFY(!textView->copyButton()->isVisible());
    }

    // The list font at the row size: punctuation between letters has ink of
    // its own, at least one and a half fully dark pixels, in the space the
    // font gives it (a kerning pair that tucks "." under "/" gives none).
    void punctuationHasInk_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("full stop") << u"a.b"_s;
        QTest::newRow("comma") << u"x,y"_s;
        QTest::newRow("hidden folder") << u"/.g"_s;
    }

    void punctuationHasInk() {
        QFETCH(QString, text);
        const QFont font = rowFont();
        const QFontMetrics fm(font);
        QImage image(fm.horizontalAdvance(text) + 20, fm.height() + 10, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(10, 5 + fm.ascent(), text);
        painter.end();
        const int from = 10 + fm.horizontalAdvance(text.left(1));
        const int to = 10 + fm.horizontalAdvance(text.left(2));
        int ink = 0;
        for (int x = from; x < to; ++x) {
            for (int y = 0; y < image.height(); ++y) {
                ink += 255 - qGray(image.pixel(x, y));
            }
        }
        QVERIFY2(
            ink >= 255 * 3 / 2,
            qPrintable(u"%1: ink %2 in x %3..%4 (%5)"_s.arg(text).arg(ink).arg(from).arg(to).arg(
                QFontInfo(font).family())));
    }

    void pathsKeepTheirOrder() {
        // What the helper adds, written readably: < LRI, [ FSI, ] PDI; {...}
        // a visible mark; # an isolate mark left in the shown text.
        auto readable = [](const IsolatedText& t) {
            QString out;
            for (qsizetype i = 0; i < t.shown.size(); ++i) {
                const char16_t c = t.shown[i].unicode();
                if (!t.inserted[size_t(i)]) {
                    out += (c >= 0x2066 && c <= 0x2069) ? QChar('#') : t.shown[i];
                } else if (c == 0x27e8 || c == 0x27e9) {
                    out += c == 0x27e8 ? '{' : '}';
                } else if (c >= 0x2066 && c <= 0x2069) {
                    out += c == 0x2066 ? '<' : c == 0x2068 ? '[' : ']';
                } else {
                    out += t.shown[i];
                }
            }
            return out;
        };
        const struct {
            const char16_t* text;
            const char* shown;
        } cases[] = {
            {u"", ""},
            {u"/a/b c", "</[a]/[b c]]"},
            {u"  \"p\" : \"\\/a\\/b\",\n}", "<[  ]\"[p]\"[ : ]\"\\/[a]\\/[b]\"[,]]\n<[}]]"},
            // Characters that act unseen are shown, and copied as they were.
            {u"a\u2069b", "<[a{U+2069}b]]"},
            {u"a\u2067b/c", "<[a{U+2067}b]/[c]]"},
            {u"/tmp/\u202etxt.exe", "</[tmp]/[{U+202E}txt.exe]]"},
            {u"\u200e\u200f\u061c\u202a\u2066x", "<[{U+200E}{U+200F}{U+061C}{U+202A}{U+2066}x]]"},
            {u"a\u200bb\u0007\ufeff\u00ad", "<[a{U+200B}b{U+0007}{U+FEFF}{U+00AD}]]"},
            {u"tab\tok \u00e9\u05d0", "<[tab\tok \u00e9\u05d0]]"},
        };
        for (const auto& c : cases) {
            const QString text = QString::fromUtf16(c.text);
            const IsolatedText t = isolatePathParts(text);
            QCOMPARE(readable(t), QString::fromUtf8(c.shown));
            QCOMPARE(t.original(0, t.shown.size()), text);
            const IsolatedText plain = withVisibleMarks(text);
            QCOMPARE(plain.original(0, plain.shown.size()), text);
            QCOMPARE(plain.shown.size(),
                     text.size() + qsizetype(plain.visibleMarks.size()) * (kVisibleMarkLength - 1));
        }
        // A copy of part of a text gives the characters whose marks it takes in.
        const IsolatedText rlo = withVisibleMarks(u"ab\u202ecd");
        QCOMPARE(rlo.shown, QString::fromUtf16(u"ab\u27e8U+202E\u27e9cd"));
        QCOMPARE(rlo.original(1, 3), QString::fromUtf16(u"b\u202e"));
        QCOMPARE(rlo.original(3, 12), u"cd"_s);

        // Laid out, the Hebrew folder stands left of the Arabic one and each
        // reads right to left; without the isolates the two swap places.
        const QString path = u"/Applications/עברית/برنامج"_s;
        auto placedInOrder = [&](const QString& shown) {
            const auto layout = wrappedLayout(shown, rowFont(), 2000, Qt::AlignLeft);
            const QTextLine line = layout->lineAt(0);
            const qsizetype he = shown.indexOf(u"עברית"_s);
            const qsizetype ar = shown.indexOf(u"برنامج"_s);
            // Positions between two letters of a word (at its ends the
            // cursor may sit on either side of the run).
            qreal heRight = 0, arLeft = 1e9;
            for (int i = 1; i <= 4; ++i) {
                heRight = std::max(heRight, line.cursorToX(int(he + i)));
            }
            for (int i = 1; i <= 5; ++i) {
                arLeft = std::min(arLeft, line.cursorToX(int(ar + i)));
            }
            return heRight < arLeft && line.cursorToX(int(he + 1)) > line.cursorToX(int(he + 4));
        };
        QVERIFY(!placedInOrder(path));
        QVERIFY(placedInOrder(isolatePathParts(path).shown));

        // Rows, the detail text and the error list all show it so.
        Window w;
        const QString log =
            writeLog(dir_, u"rtl.json"_s,
                     {procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 5, 1, path), u"{"_s + path});
        w.load(log, w.procs(), 1);
        QCOMPARE(w.procList()->cellShown(0, 4), isolatePathParts(path).shown);
        clickRow(w.procList(), 0);
        SelectableText* text = w.procDetail()->eventTextView()->text();
        TRY_VERIFY(text->shownText().contains(path.section('/', 2, 2)));
        QCOMPARE(text->shownText(), isolatePathParts(text->originalText()).shown);
        QCOMPARE(w.procDetail()->errorView()->shownRowText(2),
                 isolatePathParts(u"{"_s + path).shown);

        // A path that hides its real end behind U+202E: the list, the detail
        // and the error list show the mark; the row's copy gives the path.
        const QString disguised = QString::fromUtf16(u"/tmp/\u202etxt.exe");
        const QString marked = QString::fromUtf16(u"\u27e8U+202E\u27e9txt.exe");
        const QString log2 =
            writeLog(dir_, u"rlo.json"_s,
                     {procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 6, 1, disguised), u"{"_s + disguised});
        w.load(log2, w.procs(), 2);
        QVERIFY(w.procList()->cellShown(1, 4).contains(marked));
        QCOMPARE(w.procs().text(1, FieldKey::path), disguised);
        QVERIFY(w.procDetail()->errorView()->shownRowText(3).contains(marked));
        clickRow(w.procList(), 1);
        TRY_VERIFY(text->shownText().contains(marked));
        QVERIFY(text->originalText().contains(QString::fromUtf16(u"\u202etxt.exe")));
    }

    void columnsLineUpAndResize_data() {
        QTest::addColumn<int>("panel");
        QTest::newRow("processes") << 0;
        QTest::newRow("files") << 1;
    }

    void columnsLineUpAndResize() {
        QFETCH(int, panel);
        Window w;
        w.view.tabs()->setCurrentIndex(panel);
        EventPreview* preview = panel == 0 ? w.procPreview() : w.filePreview();
        w.load(panel == 0 ? procLog_ : fileLog_, preview->rows(), panel == 0 ? kProcRows : 4);
        ColumnHeaders* headers = preview->headers();
        PreviewList* list = preview->list();
        TRY_VERIFY(!list->rowRect(0).isEmpty());
        const int x0 =
            list->viewport()->mapTo(preview, QPoint()).x() - headers->mapTo(preview, QPoint()).x();
        auto linedUp = [&] {
            const QList<QRect> titles = headers->textRects();
            const QList<QRect> cells = list->cellRects(0);
            for (int c = 0; c < titles.size(); ++c) {
                if (titles[c].left() != cells[c].left() + x0 ||
                    (c + 1 < titles.size() && titles[c].width() != cells[c].width())) {
                    return false;
                }
            }
            return true;
        };
        QVERIFY(linedUp());

        // Drag the border after Type 60 px to the right: Type widens, the
        // columns after it move along in both the header and the rows.
        const int typeWidth = headers->textRects()[1].width();
        const int pathLeft = list->cellRects(0).last().left();
        const QPoint grip(headers->borderX(1), headers->height() / 2);
        QTest::mousePress(headers, Qt::LeftButton, {}, grip);
        QTest::mouseMove(headers, grip + QPoint(30, 0));
        QTest::mouseMove(headers, grip + QPoint(60, 0));
        QTest::mouseRelease(headers, Qt::LeftButton, {}, grip + QPoint(60, 0));
        QCOMPARE(headers->textRects()[1].width(), typeWidth + 60);
        QCOMPARE(list->cellRects(0).last().left(), pathLeft + 60);
        QVERIFY(linedUp());
        // The path takes what is left of the row.
        const QRect path = list->cellRects(0).last();
        QVERIFY(path.right() < list->viewport()->width());
    }

    void errorCounterAndList() {
        Window w;
        QPushButton* errors = w.bar()->errorsButton();
        // Zero errors: white where the button is dark, readable text where it is light.
        QPalette pal = w.bar()->palette();
        pal.setColor(QPalette::Button, QColor(40, 40, 40));
        w.bar()->setPalette(pal);
        QCOMPARE(errors->palette().color(QPalette::ButtonText), QColor(Qt::white));
        pal.setColor(QPalette::Button, QColor(240, 240, 240));
        pal.setColor(QPalette::ButtonText, QColor(5, 5, 5));
        w.bar()->setPalette(pal);
        QCOMPARE(errors->palette().color(QPalette::ButtonText), QColor(5, 5, 5));

        ErrorView* list = w.procDetail()->errorView();
        QCOMPARE(list->rowColor(1), kGreen);  // the fixed explanation rows

        const QString bad = writeLog(dir_, u"bad.txt"_s,
                                     {procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 40, 1, "/ok"),
                                      u"{broken"_s, QString(), "{broken"});
        errors->click();
        w.workspace().loader.loadJsonFile(bad.toStdString());
        TRY_COMPARE(errors->text(), u"Errors: 3"_s);
        QCOMPARE(errors->palette().color(QPalette::ButtonText), QColor(Qt::red));
        // Equal entries each their own row, the empty line as an empty row.
        QCOMPARE(QStringList({list->rowText(2), list->rowText(3), list->rowText(4)}),
                 QStringList({"{broken", "", "{broken"}));
        // Beside each entry, not in it: its log and line.
        QCOMPARE(QStringList({list->originText(1), list->originText(2), list->originText(4)}),
                 QStringList({"", "bad.txt:2", "bad.txt:4"}));
        QVERIFY(list->rowColor(2) != kGreen);

        // Loads append: a second file adds to the count and after the earlier rows.
        w.workspace().loader.loadJsonFile(bad.toStdString());
        TRY_COMPARE(errors->text(), u"Errors: 6"_s);
        QCOMPARE(list->rowCount(), 8);
        QCOMPARE(list->originText(7), u"bad.txt:4"_s);
        QCOMPARE(w.shown(), Content::errors);
        // Shortened only where a third of the row cannot hold it.
        const int natural = list->fontMetrics().horizontalAdvance(list->originText(2));
        for (const int width : {3 * natural + 6, 3 * natural + 50, 1000}) {
            QCOMPARE(list->shownOriginText(2, width), u"bad.txt:2"_s);
        }
        QVERIFY(list->shownOriginText(2, natural).size() < 9);

        // A drag from the first entry to the third and Ctrl+C copy those rows.
        TRY_VERIFY(!list->rowRect(4).isEmpty());
        const QPoint from(1, list->rowRect(2).center().y());
        const QPoint to(list->viewport()->width() - 2, list->rowRect(4).center().y());
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(list->viewport(), to);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, to);
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"{broken\n\n{broken"_s);
    }

    // A big load with another queued behind it: the strip names the file and
    // counts, then either the load runs to its end or Cancel (the button or
    // Esc) stops it with both loads' rows kept that were read, a note of how
    // far it got, and the queued load dropped.
    void loadProgressAndCancel_data() {
        QTest::addColumn<int>("how");  // 0 to the end, 1 the button, 2 Esc
        QTest::newRow("to the end") << 0;
        QTest::newRow("Cancel") << 1;
        QTest::newRow("Esc") << 2;
        QTest::newRow("Esc in the filter field") << 3;
    }

    void loadProgressAndCancel() {
        QFETCH(int, how);
        Window w;
        w.activate();
        LoadProgressView* strip = w.progress();
        QVERIFY(!strip->isVisible());
        // Without a load, Esc is left to the focused widget (a line edit).
        auto* edit = new QLineEdit(&w.view);
        edit->show();
        EscCounter escapes;
        edit->installEventFilter(&escapes);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Escape);
        QCOMPARE(escapes.presses, 1);

        w.workspace().loader.loadJsonFile(bigLog_.toStdString());
        w.workspace().loader.loadJsonFile(procLog_.toStdString());
        QVERIFY(w.waitForFirstRows(1));
        QVERIFY(strip->isVisible());
        QCOMPARE(strip->fileLabel()->text(), u"big.json"_s);
        QVERIFY(strip->cancelButton()->isVisible() && !strip->noteLabel()->isVisible());
        QCOMPARE(strip->queuedLabel()->text(), u"1 more queued"_s);
        QVERIFY(QRegularExpression(u"^(\\d|[1-9]\\d)%$"_s)
                    .match(strip->percentLabel()->text())
                    .hasMatch());
        QVERIFY(QRegularExpression(u"^[1-9]\\d{0,2}(,\\d{3})* lines$"_s)
                    .match(strip->linesLabel()->text())
                    .hasMatch());
        // The buttons keep their row; the strip sits under it.
        QVERIFY(strip->geometry().top() >= w.bar()->importButton()->geometry().bottom());

        const auto& outcomes = w.workspace().loader.outcomes();
        const EventStore& store = w.workspace().store;
        if (how == 0) {
            QTRY_VERIFY_WITH_TIMEOUT(w.workspace().loader.idle(), 10 * kTimeout);
            TRY_VERIFY(!strip->isVisible());
            QCOMPARE(outcomes.size(), 2u);
            QCOMPARE(w.procs().rowCount(), kBigLines - kBigLines / kBigErrorEvery + kProcRows);
            return;
        }
        if (how == 1) {
            strip->cancelButton()->click();
        } else if (how == 2) {
            QTest::keyClick(edit, Qt::Key_Escape);
            QCOMPARE(escapes.presses, 1);  // taken by the window while the load ran
        } else {
            // The first Esc clears the field and the load goes on; the
            // second, in the empty field, cancels it.
            QLineEdit* field = w.view.filterBar()->field();
            field->setFocus();
            QTest::keyClicks(field, u"zsh"_s);
            QTest::keyClick(field, Qt::Key_Escape);
            QVERIFY(field->text().isEmpty());
            QVERIFY(outcomes.empty());
            QTest::keyClick(field, Qt::Key_Escape);
        }
        TRY_VERIFY(w.workspace().loader.idle());
        TRY_VERIFY(strip->noteLabel()->isVisible());
        QCOMPARE(outcomes.size(), 1u);  // the queued load is dropped
        QVERIFY(outcomes[0].cancelled);
        const std::uint64_t read = outcomes[0].figures.lines;
        QVERIFY(read > 0 && read < std::uint64_t(kBigLines));
        // The rows read are shown (that every line read is filed is the
        // loader's to test).
        QCOMPARE(std::uint64_t(w.procs().rowCount()), store.procPreviews().size());
        QLocale english(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(strip->noteLabel()->text(),
                 u"Cancelled after %1 lines"_s.arg(english.toString(qulonglong(read))));
        QVERIFY(!strip->cancelButton()->isVisible() && !strip->fileLabel()->isVisible());

        // Idle again: Esc reaches the line edit. The next load clears the note.
        QTest::keyClick(edit, Qt::Key_Escape);
        QCOMPARE(escapes.presses, 2);
        w.load(procLog_, w.procs(), int(read - read / kBigErrorEvery) + kProcRows);
        TRY_VERIFY(!strip->isVisible());
    }

    // Rows shown while loads run can be chosen, stepped through, copied and
    // scrolled to; the switches and the tabs work. The big log is loaded
    // three times, so that loads still run when all that is done.
    void rowsWorkWhileLoading() {
        Window w;
        w.activate();
        for (int i = 0; i < 3; ++i) {
            w.workspace().loader.loadJsonFile(bigLog_.toStdString());
        }
        QVERIFY(w.waitForFirstRows(5));
        clickRow(w.procList(), 3);
        TRY_COMPARE(w.chosenId(), w.procs().rowId(3));
        auto* textView = w.procDetail()->eventTextView();
        TRY_VERIFY(textView->text()->originalText().contains(u"big3"_s));
        QTest::keyClick(w.procList(), Qt::Key_Down);
        TRY_COMPARE(w.selection().activePreview()->id, w.procs().rowId(4));
        TRY_VERIFY(textView->text()->originalText().contains(u"big4"_s));
        textView->copyButton()->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), textView->text()->originalText());
        w.bar()->legendButton()->click();
        TRY_COMPARE(w.shown(), Content::legend);
        w.bar()->errorsButton()->click();
        TRY_COMPARE(w.shown(), Content::errors);
        QTest::keyClick(w.procList(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.view.tabs()->currentIndex(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.view.tabs()->currentIndex(), 0);
        // Far down the rows shown so far: row 3000 is line 3004, after three
        // broken lines.
        QVERIFY(QTest::qWaitFor([&] { return w.procs().rowCount() > 3000; }, kTimeout));
        clickRow(w.procList(), 3000);
        TRY_COMPARE(w.selection().activePreview()->id, w.procs().rowId(3000));
        TRY_VERIFY(textView->text()->originalText().contains(u"big3003\""_s));
        QVERIFY(w.loading().running);
        w.workspace().loader.cancel();
        TRY_VERIFY(w.workspace().loader.idle());
        // The choice outlives the load.
        QCOMPARE(w.procPreview()->selector().selectedId(), w.procs().rowId(3000));
    }

    void scrollingLongLists() {
        Window w;
        // Narrow, so that the part of a long row a cell shows is still
        // taller than the list.
        w.view.resize(600, 900);
        const QString tall = u"{"_s + u"word "_s.repeated(3000);
        const QString huge = QString(300000, QLatin1Char('x'));
        QStringList lines = {tall, huge};
        for (int i = 0; i < 500; ++i) {
            lines.append(u"{e%1"_s.arg(i));
        }
        w.bar()->errorsButton()->click();
        w.workspace().loader.loadJsonFile(writeLog(dir_, "long-bad.txt", lines).toStdString());
        ErrorView* list = w.procDetail()->errorView();
        TRY_COMPARE(list->rowCount(), 504);
        TRY_VERIFY(list->isVisible());
        QCOMPARE(list->rowText(3), huge);  // kept whole; only its display is cut short

        // A row taller than the screen is read by scrolling through it.
        list->scrollToRow(2);
        list->setFocus();
        int presses = 0;
        do {
            QTest::keyClick(list, Qt::Key_Down);
        } while (list->firstRow() == 2 && ++presses < 10000);
        QVERIFY(presses > 5);
        QCOMPARE(list->firstRow(), 3);
        QTest::keyClick(list, Qt::Key_Up);  // back into the end of the tall row
        QCOMPARE(list->firstRow(), 2);
        QVERIFY(list->firstRowOffset() > 0);

        // The scroll bar counts rows; the keys page and jump by them.
        QScrollBar* bar = list->verticalScrollBar();
        list->scrollToRow(300);
        const int from = list->firstRow();
        QTest::keyClick(list, Qt::Key_PageDown);
        QVERIFY(list->firstRow() > from + 1);
        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(list->firstRow(), bar->maximum());
        QVERIFY(!list->rowRect(503).isEmpty());
    }

    void drops_data() {
        QTest::addColumn<int>("panel");
        QTest::newRow("processes") << 0;
        QTest::newRow("files") << 1;
    }

    void drops() {
        QFETCH(int, panel);
        Window w;
        QWidget* target = panel == 0 ? static_cast<QWidget*>(w.view.processPanel())
                                     : static_cast<QWidget*>(w.view.filePanel());
        w.view.tabs()->setCurrentIndex(panel);
        // 1 accepted (always as a copy), 0 refused; -1 when the door and the
        // drop disagree or a drop is taken as anything but a copy. Shift
        // asks for a move where one is offered.
        auto drop = [&](const QList<QUrl>& urls, const QString& text = {},
                        Qt::DropActions offered = Qt::CopyAction) {
            QMimeData mime;
            urls.isEmpty() ? mime.setText(text) : mime.setUrls(urls);
            const QPoint pos = target->rect().center();
            QDragEnterEvent enter(pos, offered, &mime, Qt::LeftButton, Qt::ShiftModifier);
            QApplication::sendEvent(target, &enter);
            QDropEvent dropped(pos, offered, &mime, Qt::LeftButton, Qt::ShiftModifier);
            QApplication::sendEvent(target, &dropped);
            if (dropped.isAccepted() &&
                (dropped.dropAction() != Qt::CopyAction || enter.dropAction() != Qt::CopyAction)) {
                return -1;
            }
            return enter.isAccepted() == dropped.isAccepted() ? int(enter.isAccepted()) : -1;
        };

        // Plain text, remote files and a source that only lets go of its
        // files (a move): refused, store untouched.
        QCOMPARE(drop({}, procLog_), 0);
        QCOMPARE(drop({QUrl(u"https://example.org/log.json"_s)}), 0);
        QCOMPARE(drop({QUrl::fromLocalFile(procLog_)}, {}, Qt::MoveAction), 0);

        QCOMPARE(w.view.windowTitle(), u"Korvantis"_s);

        // One file, with blanks and accents in its name; the title names it.
        const QString name = u"Émilie's log %1.json"_s.arg(panel);
        const QString named = dir_.filePath(name);
        QVERIFY(QFile::copy(procLog_, named));
        QCOMPARE(drop({QUrl::fromLocalFile(named)}), 1);
        TRY_COMPARE(w.procs().rowCount(), kProcRows);
        TRY_COMPARE(w.view.windowTitle(), u"Korvantis \u2014 "_s + name);

        // Two files: both loaded, in the order given, the second's rows after
        // the first's; the title counts the other logs.
        QCOMPARE(drop({QUrl::fromLocalFile(fileLog_), QUrl::fromLocalFile(procLog_)}, {},
                      Qt::MoveAction | Qt::CopyAction),
                 1);
        TRY_COMPARE(w.procs().rowCount(), 2 * kProcRows);
        TRY_VERIFY(w.workspace().loader.idle());
        QCOMPARE(w.files().rowCount(), 4);
        QStringList order;
        for (const LoadOutcome& o : w.workspace().loader.outcomes()) {
            order.append(QString::fromStdString(o.path));
        }
        QCOMPARE(order, QStringList({named, fileLog_, procLog_}));
        QCOMPARE(w.view.windowTitle(), u"Korvantis \u2014 "_s + name + " +2");

        // Logs that cannot be opened are told by name and reason in the
        // strip and the error list, and the others load; a name that is not
        // valid UTF-8 loads as it is.
        QVERIFY(!w.progress()->isVisible());
        const std::string folder = QFile::encodeName(dir_.path()).toStdString();
        const std::string badName = folder + "/bad\xff" + std::to_string(panel) + ".json";
        std::filesystem::copy_file(procLog_.toStdString(), badName);
        auto fileUrl = [](const std::string& path) {
            return QUrl::fromEncoded("file://" + QByteArray(path.c_str()).toPercentEncoding("/"));
        };
        const std::string missing = folder + "/missing.json";
        QCOMPARE(drop({fileUrl(missing), fileUrl(folder + "/"), fileUrl(badName)}), 1);
        TRY_VERIFY(w.workspace().loader.outcomes().size() == 6u);
        TRY_COMPARE(w.procs().rowCount(), 3 * kProcRows);
        QCOMPARE(w.workspace().loader.outcomes()[5].path, badName);
        const QString dirName = QFileInfo(dir_.path()).fileName();
        TRY_VERIFY(w.progress()->failureLabel()->isVisible());
        QCOMPARE(w.progress()->failureLabel()->text(),
                 u"Could not open %1: Is a directory"_s.arg(dirName));
        // The error list names the log beside its error (the texts are the
        // loader's to test).
        const int errors = int(w.workspace().store.loadErrors().size());
        QCOMPARE(w.procDetail()->errorView()->originText(2 + errors - 1), dirName);
    }

    void keyboard() {
        Window w;
        QStringList lines;
        for (int i = 0; i < 80; ++i) {
            lines.append(procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 100 + i, 1, "/bin/k"));
        }
        w.load(writeLog(dir_, u"many.json"_s, lines), w.procs(), 80);
        PreviewList* list = w.procList();
        w.view.windowHandle()->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        list->setFocus();
        const int last = 79;
        const int page = list->rowsOnScreen() - 1;
        QVERIFY(page > 2 && 3 * page < last);
        // Each step: the keys pressed and the row then chosen, scrolled into view.
        const struct {
            std::vector<Qt::Key> keys;
            Qt::KeyboardModifiers mods;
            int row;
        } steps[] = {
            {{Qt::Key_Down}, {}, 0},  // nothing chosen yet: the first row
            {{Qt::Key_Down, Qt::Key_Down}, {}, 2},
            {{Qt::Key_Up}, {}, 1},
            {{Qt::Key_Up, Qt::Key_Up}, {}, 0},  // stays on the first row
            {{Qt::Key_PageDown}, {}, page},
            {{Qt::Key_PageDown, Qt::Key_PageDown}, {}, 3 * page},
            {{Qt::Key_End}, {}, last},
            {{Qt::Key_PageUp}, {}, last - page},
            {{Qt::Key_Home}, {}, 0},
            {{Qt::Key_End}, Qt::ControlModifier, last},
            {{Qt::Key_PageDown}, {}, last},
            {{Qt::Key_Home}, Qt::ControlModifier, 0},
        };
        for (const auto& step : steps) {
            for (Qt::Key k : step.keys) {
                QTest::keyClick(QApplication::focusWidget(), k, step.mods);
            }
            TRY_COMPARE(w.chosenId(), w.procs().rowId(step.row));
            QCOMPARE(w.procPreview()->selector().selectedId(), w.procs().rowId(step.row));
            QVERIFY(!list->rowRect(step.row).isEmpty());
        }

        // A click gives the list the keyboard, and the keys go on from the clicked row.
        w.bar()->legendButton()->setFocus();
        clickRow(list, 4);
        TRY_VERIFY(list->hasFocus());
        QTest::keyClick(list, Qt::Key_Down);
        TRY_COMPARE(w.selection().activePreview()->id, w.procs().rowId(5));

        // Ctrl+Tab and Ctrl+Shift+Tab step through the tabs.
        QTest::keyClick(list, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.view.tabs()->currentIndex(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.view.tabs()->currentIndex(), 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab,
                        Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w.view.tabs()->currentIndex(), 1);
    }

    void importDialog() {
        Window w;
        auto dialog = [&] { return w.bar()->findChild<QFileDialog*>(); };
        w.bar()->importButton()->click();
        TRY_VERIFY(dialog() != nullptr && dialog()->isVisible());

        // Cancel: nothing happens.
        dialog()->reject();
        TRY_VERIFY(dialog() == nullptr);
        QCOMPARE(w.workspace().store.procPreviews().size(), 0u);

        // A fresh dialog per press, also by Ctrl+O; choosing a file loads it.
        w.view.windowHandle()->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        w.procList()->setFocus();
        QTest::keyClick(w.procList(), Qt::Key_O, Qt::ControlModifier);
        TRY_VERIFY(dialog() != nullptr);
        dialog()->setDirectory(dir_.path());
        dialog()->selectFile(procLog_);
        static_cast<QDialog*>(dialog())->accept();
        TRY_COMPARE(w.procs().rowCount(), kProcRows);
    }
};

QTEST_MAIN(MainViewTest)
#include "test_main_view.moc"
