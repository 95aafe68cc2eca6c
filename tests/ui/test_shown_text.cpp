// How the main window shows texts: the chosen event's detail text and its
// copy button, text selection, ink for punctuation in the list font, paths
// with right-to-left parts in the rows, the detail and the error list; a
// detail made on a worker, shown in part when it is long, copied and saved
// whole, with the keys the line repeats named above it.

#include <QMimeData>
#include <QPainter>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>

#include "describe/event_detail.h"
#include "ui/list/bidi_isolation.h"
#include "ui/list/text_cell.h"
#include "ui/look/wrap_choice.h"

#include "main_view_fixture.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;

namespace {

// A 20 MB detail on a loaded machine can take long.
constexpr int kDetailTimeout = 120000;

// A window that waits as long for its loads and details.
struct DetailWindow : ShownWindow {
    DetailWindow() : ShownWindow(1200, 800) {}
    EventTextView* textView() { return procDetail()->eventTextView(); }
    void load(const QString& path, int rows) {
        workspace().loader.loadJsonFile(QFile::encodeName(path).toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(procs().rowCount(), rows, kDetailTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(workspace().loader.idle(), kDetailTimeout);
    }
    // Chooses a row and waits until its detail is shown.
    bool choose(int row) {
        procPreview()->chooseRow(row);
        return QTest::qWaitFor(
            [&] { return !selection().detailPending() && textView()->copyButton()->isVisible(); },
            kDetailTimeout);
    }
};

// A log of a short line, a 20 MB one, and a short one that repeats keys.
void writeLongLog(const QString& log) {
    std::ofstream out(QFile::encodeName(log).toStdString(), std::ios::binary);
    out << testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 6, 1, "/bin/small", "t") << "\n";
    out << R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":)"
        << R"({"pid":7,"ppid":1,"path":"/bin/big"},"args":[)";
    const std::string arg(96, 'a');
    for (int i = 0; i < 200000; ++i) {
        out << (i ? ",\"" : "\"") << arg << i % 10 << "/\"";
    }
    out << "]}\n";
    out << R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":3,)"
        << R"("ppid":1,"path":"/usr/bin/benign","path":"/tmp/evil","pid":666}})"
        << "\n";
}

// An eslogger exec of `path` with `args`, at a time whose digits are wide.
std::string execMessage(int pid, const std::string& path, const std::string& args) {
    return R"({"event":{"exec":{"target":{"audit_token":{"pid":)" + std::to_string(pid) +
           R"(,"pidversion":1},"ppid":1,"executable":{"path":")" + path + R"("}},"args":[)" + args +
           R"(]}},"time":"2026-08-28T20:08:08.808080808Z","process":{"audit_token":)" +
           R"({"pid":1},"ppid":0}})";
}

}  // namespace

class ShownTextTest : public SmallLogsTest {
    Q_OBJECT

  private slots:
    // Wrapping on, a long path and a long command line make a row several
    // lines tall; off, every row is one line and a cut text tells its whole
    // self when hovered, its marks for unseen characters shown as in a whole
    // one. In both, the Time and Type columns hold their widest texts on one
    // line.
    void wrapLongTextsOffKeepsRowsOneLineTall() {
        const std::string helper =
            "/Applications/Visual Studio Code.app/Contents/Frameworks/Code Helper (Renderer).app/"
            "Contents/MacOS/Code Helper (Renderer\u202e)";
        const std::string lines =
            execMessage(40, "/usr/bin/sandbox-exec",
                        R"x("sandbox-exec","-p","(version 1)(allow default)",)x"
                        R"x("/bin/rm","-rf","/private/var/folders/xy/T/a")x") +
            "\n" + execMessage(41, helper, R"("Code Helper")") + "\n" +
            execMessage(42, "/bin/ls", R"("ls")") + "\n";
        const QString log = writeFile(dir_, u"long.json"_s, QByteArray::fromStdString(lines));
        ShownWindow w(1100, 900);
        ColumnChoice& columns = w.procPreview()->columnChoice();
        columns.setShown(fieldOf(Fact::args), true);
        const auto restore = qScopeGuard([&] {
            WrapChoice::instance().setWraps(true);
            columns.setShown(fieldOf(Fact::args), false);
        });
        w.load(log, 3);
        PreviewList* list = w.procList();
        const int oneLine = QFontMetrics(rowFont()).height() + 8;
        const auto heights = [&] {
            QList<int> out;
            for (int row = 0; row < 3; ++row) {
                out << list->rowRect(row).height();
            }
            return out;
        };
        TRY_VERIFY(list->isVisible() && !list->rowRect(2).isEmpty());
        const QList<int> wrapped = heights();
        QVERIFY2(
            wrapped[0] > oneLine && wrapped[1] > oneLine && wrapped[2] == oneLine,
            qPrintable(
                u"%1 %2 %3 of %4"_s.arg(wrapped[0]).arg(wrapped[1]).arg(wrapped[2]).arg(oneLine)));
        // The marks in a colour of their own, opaque so that it can be found.
        const QColor markColor(0xC0, 0x30, 0x30);
        QPalette palette = list->palette();
        palette.setColor(QPalette::PlaceholderText, markColor);
        list->setPalette(palette);
        const int pathColumn = list->cellRects(1).size() - 1;
        list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
        QVERIFY(cellShows(list, 1, pathColumn, markColor));
        WrapChoice::instance().setWraps(false);
        TRY_COMPARE(heights(), QList<int>({oneLine, oneLine, oneLine}));
        QVERIFY(cellShows(list, 1, pathColumn, markColor));
        QCOMPARE(list->rows().text(1, FieldId::path), QString::fromStdString(helper));
        const QRect path = list->cellRects(1).last();  // Path is the last column
        QHelpEvent help(QEvent::ToolTip, path.center(),
                        list->viewport()->mapToGlobal(path.center()));
        QApplication::sendEvent(list->viewport(), &help);
        TRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), isolatePathParts(QString::fromStdString(helper)).shown);
        list->horizontalScrollBar()->setValue(0);
        savePicture(w.view, "main-one-line.png");
        WrapChoice::instance().setWraps(true);
        TRY_VERIFY(heights()[1] > oneLine);
    }

    // A cut text is a start (and, cut in the middle, an end) of the whole
    // one with "…" between, within the width: a mark or a surrogate pair is
    // kept whole, a mark still listed, isolates balance, nothing else is
    // added.
    void elidedTextKeepsMarksWhole() {
        const QFontMetrics metrics(rowFont());
        const auto bare = [](QString text) {
            return text.remove(QRegularExpression(u"[\u2066-\u2069]"_s));
        };
        const IsolatedText texts[] = {
            isolatePathParts(
                u"/Applications/\u202eVisual Studio.app/a\u200bb/\U0001F600/c\u0007"_s),
            withVisibleMarks(u"--flag \u2066x\u2069 \u200b\u200b\u200b tail\nnext line"_s),
            isolatePathParts(u"/\u05e2\u05d1/\u0628\u0631/x/y/z/w"_s),
        };
        for (const IsolatedText& text : texts) {
            const QString whole = bare(text.shown).replace(u'\n', u' ');
            for (const bool middle : {false, true}) {
                for (int width = 0; width < metrics.horizontalAdvance(text.shown) + 20;
                     width += 3) {
                    const IsolatedText cut = elidedText(text, metrics, width, middle);
                    const QString at = u"%1 %2 at %3"_s.arg(text.shown).arg(middle).arg(width);
                    int depth = 0;
                    for (const QChar c : cut.shown) {
                        depth += c.unicode() >= 0x2066 && c.unicode() <= 0x2068 ? 1
                                 : c == QChar(0x2069)                           ? -1
                                                                                : 0;
                        QVERIFY2(depth >= 0, qPrintable(at));
                    }
                    QVERIFY2(depth == 0, qPrintable(at));
                    QVERIFY2(cut.shown.isValidUtf16(), qPrintable(at));
                    QCOMPARE(cut.inserted.size(), std::size_t(cut.shown.size()));
                    QCOMPARE(cut.shown.count(u"\u27e8U+"_s), qsizetype(cut.visibleMarks.size()));
                    for (const auto& [place, c] : cut.visibleMarks) {
                        QVERIFY2(cut.shown.mid(place, kVisibleMarkLength) ==
                                     withVisibleMarks(QString(QChar(c))).shown,
                                 qPrintable(at));
                    }
                    const QString shown = bare(cut.shown);
                    const qsizetype dots = shown.indexOf(QChar(0x2026));
                    if (dots < 0) {
                        QCOMPARE(shown, whole);  // it fits
                        continue;
                    }
                    const QString start = shown.first(dots);
                    const QString end = shown.sliced(dots + 1);
                    QVERIFY2(
                        whole.startsWith(start) && whole.endsWith(end) && (middle || end.isEmpty()),
                        qPrintable(at + u": "_s + cut.shown));
                    QVERIFY2(metrics.horizontalAdvance(cut.shown) <= width ||
                                 start.size() + end.size() == 0,
                             qPrintable(at));
                }
            }
        }
    }

    void eventTextAndCopy() {
        Window w;
        auto* textView = w.procDetail()->eventTextView();
        QVERIFY(textView->copyButton()->isHidden());
        QVERIFY(textView->text()->toPlainText().isEmpty());
        w.load(procLog_, kProcRows);
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
        savePicture(w.view, "main-long-path.png");

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
            const QString marks = u"\u2066\u2068\u2069\u27e8\u27e9"_s;
            QString out;
            for (qsizetype i = 0; i < t.shown.size(); ++i) {
                const QChar c = t.shown[i];
                if (t.inserted[size_t(i)]) {
                    out += marks.contains(c) ? u"<[]{}"_s[marks.indexOf(c)] : c;
                } else {
                    out += c.unicode() >= 0x2066 && c.unicode() <= 0x2069 ? QChar('#') : c;
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

        // Rows, the detail text and the error list all show it so. A path
        // that hides its real end behind U+202E shows the mark there; the
        // row's copy gives the path.
        const QString disguised = QString::fromUtf16(u"/tmp/\u202etxt.exe");
        const QString marked = QString::fromUtf16(u"\u27e8U+202E\u27e9txt.exe");
        Window w;
        w.load(writeLog(dir_, u"rtl.json"_s,
                        {procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 5, 1, path),
                         procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 6, 1, disguised), u"{"_s + path,
                         u"{"_s + disguised}),
               w.procs(), 2);
        QCOMPARE(w.procList()->cellShown(0, 4), isolatePathParts(path).shown);
        clickRow(w.procList(), 0);
        SelectableText* text = w.procDetail()->eventTextView()->text();
        TRY_VERIFY(text->shownText().contains(path.section('/', 2, 2)));
        savePicture(w.view, "main-rtl-path.png");
        QCOMPARE(text->shownText(), isolatePathParts(text->originalText()).shown);
        QCOMPARE(w.procDetail()->errorView()->shownRowText(2),
                 isolatePathParts(u"{"_s + path).shown);

        QVERIFY(w.procList()->cellShown(1, 4).contains(marked));
        QCOMPARE(w.procs().text(1, FieldId::path), disguised);
        QVERIFY(w.procDetail()->errorView()->shownRowText(3).contains(marked));
        clickRow(w.procList(), 1);
        TRY_VERIFY(text->shownText().contains(marked));
        QVERIFY(text->originalText().contains(QString::fromUtf16(u"\u202etxt.exe")));
    }

    // A path holding U+0000 (or any character shown as a mark) is measured
    // as one line and drawn as one: nothing of it lands below its row. The
    // last row's path is the last column, as wide as its text.
    void markedPathStaysOnItsLine() {
        Window w;
        w.load(writeLog(dir_, u"nul.json"_s,
                        {procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 5, 1, u"/bin/sh"_s),
                         procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 6, 1, u"/bin/a\\u0000b"_s)}),
               w.procs(), 2);
        PreviewList* list = w.procList();
        QVERIFY(list->cellShown(1, 4).contains(u"\u27e8U+0000\u27e9b"_s));
        const QRect cell = list->cellRects(1).at(4);
        const QImage image = list->viewport()->grab().toImage();
        // Below the row, across the path's cell: the list's background only.
        for (int y = cell.bottom() + 1; y < std::min(image.height(), cell.bottom() + cell.height());
             ++y) {
            const QRgb background = image.pixel(image.width() - 2, y);
            for (int x = cell.left(); x <= cell.right(); ++x) {
                QVERIFY2(image.pixel(x, y) == background,
                         qPrintable(u"ink at %1,%2"_s.arg(x).arg(y)));
            }
        }
    }

    // A 20 MB line: its detail is made on a worker (bench_detail_ui times
    // it); its first part is shown with a note of the rest; copy and save
    // take all. A line that repeats keys has them named above its text.
    void hugeAndRepeatingLines() {
        const QString log = dir_.filePath(u"huge.json"_s);
        writeLongLog(log);
        DetailWindow w;
        w.load(log, 3);
        QTRY_VERIFY_WITH_TIMEOUT(QTest::qWaitForWindowExposed(&w.view), kDetailTimeout);

        w.procPreview()->chooseRow(1);
        QVERIFY(w.selection().detailPending());  // made on a worker
        QTRY_VERIFY_WITH_TIMEOUT(w.textView()->copyButton()->isVisible(), kDetailTimeout);

        // The part the store keeps for the screen (where it cuts is its own to test).
        const std::string full = w.selection().activeEventJson();
        const EventDetail& detail = w.selection().activeDetail();
        QVERIFY(full.size() > 20'000'000 && detail.shownBytes <= kDetailShownBytes);
        QVERIFY(w.textView()->text()->originalText() ==
                QString::fromUtf8(full.data(), qsizetype(detail.shownBytes)));
        QVERIFY(w.textView()->leftOutNote()->isVisible());
        QCOMPARE(w.textView()->leftOutNote()->text(), QString::fromStdString(detail.leftOutNote));

        w.textView()->copyButton()->click();
        QVERIFY(QGuiApplication::clipboard()->text() == QString::fromStdString(full));

        const QString saved = dir_.filePath(u"event.json"_s);
        QSignalSpy done(w.textView(), &EventTextView::saved);
        w.textView()->saveTo(saved);
        QVERIFY(done.wait(kDetailTimeout));
        QCOMPARE(done.at(0).at(1).toString(), QString());
        QVERIFY(fileBytes(saved).toStdString() == full);

        // A short event afterwards is shown whole again; its repeated keys are named.
        QVERIFY(w.choose(2));
        QTRY_VERIFY_WITH_TIMEOUT(w.textView()->notice()->isVisible(), kDetailTimeout);
        QCOMPARE(w.textView()->notice()->text(),
                 QStringLiteral("This line repeats keys (process.pid, process.path); the lists "
                                "use the first of each."));
        QVERIFY(!w.textView()->leftOutNote()->isVisible());
        // The next event repeats nothing: no notice.
        QVERIFY(w.choose(0));
        QTRY_VERIFY_WITH_TIMEOUT(!w.textView()->notice()->isVisible(), kDetailTimeout);
    }
};

QTEST_MAIN(ShownTextTest)
#include "test_shown_text.moc"
