// The report of marked rows in a real web engine page: names from a hostile
// log show as text, no script runs and no image is asked for.

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <fstream>

#include "investigation/line_numbers.h"
#include "investigation/marks_report.h"
#include "investigation/row_marks.h"
#include "store/line_ref.h"
#include "support/loading.h"
#include "support/log_lines.h"
#include "web_test_support.h"

using korvantis::test::evalJs;
using namespace Qt::StringLiterals;

class ReportPageTest : public QObject {
    Q_OBJECT
  private slots:
    void hostileNamesShowAsText();
};

void ReportPageTest::hostileNamesShowAsText() {
    using korvantis::testsupport::fileLine;
    using korvantis::testsupport::procLine;
    const std::vector<std::string> lines = {
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 10, 1, "/tmp/<script>window.__pwned=1</script>",
                 "2026-12-07T14:02:00.000Z"),
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 11, 10,
                 R"(/tmp/\"><img src=x onerror=\"window.__pwned=2\">)", "2026-12-07T14:01:00.000Z"),
        fileLine("ES_EVENT_TYPE_NOTIFY_WRITE", 11, R"(/tmp/evil\u202egpj.exe)",
                 "2026-12-07T14:03:00.000Z"),
    };
    const QString path = QDir::temp().filePath(u"korvantis-report-test.json"_s);
    std::ofstream(path.toStdString(), std::ios::trunc)
        << korvantis::testsupport::joinedLines(lines);
    korvantis::testsupport::LoadingWorkspace loading;
    loading.load(path.toStdString());
    const korvantis::EventStore& store = loading.ws.store;
    QCOMPARE(store.lineRefs().size(), std::size_t{3});
    korvantis::MarkBook book;
    auto& marks = book.marksOf(korvantis::realLogPath(path.toStdString()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        korvantis::MarkText text;
        text.addTag("bookmark");
        text.note = "<b onmouseover=\"window.__pwned=4\">note</b>";
        marks[{i + 1, korvantis::lineChecksum(lines[i])}] = text;
    }
    const korvantis::StoreLineNumbers numbers(store);
    const korvantis::RowMarks rowMarks(store, numbers, book);
    QCOMPARE(rowMarks.marked().size(), std::size_t{3});
    const std::string html = korvantis::marksReport(store, rowMarks, "path:<script>",
                                                    *korvantis::parseFilterQuery("").query);
    QFile::remove(path);

    QWebEngineView view;
    view.resize(1000, 700);
    view.show();
    QSignalSpy loaded(view.page(), &QWebEnginePage::loadFinished);
    view.setHtml(QString::fromStdString(html), QUrl(u"file:///report.html"_s));
    QVERIFY(loaded.wait(120000) || !loaded.isEmpty());
    QCOMPARE(loaded.first().first().toBool(), true);
    QWebEnginePage* page = view.page();
    QCOMPARE(evalJs(page, u"typeof window.__pwned"_s).toString(), u"undefined"_s);
    QCOMPARE(evalJs(page, u"document.querySelectorAll('script, img, b').length"_s).toInt(), 0);
    const QString text = evalJs(page, u"document.body.innerText"_s).toString();
    QVERIFY2(text.contains(u"/tmp/<script>window.__pwned=1</script>"_s), qPrintable(text));
    QVERIFY(text.contains(u"/tmp/\"><img src=x onerror=\"window.__pwned=2\">"_s));
    QVERIFY(text.contains(u"/tmp/evil[U+202E]gpj.exe"_s));
    QVERIFY(!text.contains(QChar(0x202e)));
    QVERIFY(text.contains(u"path:<script>"_s));
    // Time order: the row of 14:01 comes before the one of 14:02.
    QVERIFY(text.indexOf(u"onerror"_s) < text.indexOf(u"__pwned=1"_s));
    QVERIFY(QTest::qWaitFor([&] { return !view.grab().toImage().isNull(); }));
    const QString picture = QStringLiteral(KORVANTIS_SCREENSHOT_DIR "/report.png");
    QVERIFY(view.grab().toImage().save(picture));
    qInfo("screenshot: %s", qPrintable(picture));
}

KORVANTIS_WEB_TEST_MAIN(ReportPageTest)
#include "test_report_page.moc"
