// The detail area of a chosen event: its readable text made on a worker,
// shown in part when it is long, copied and saved whole, with the keys the
// line repeats named above it.

#include <QGuiApplication>

#include "store/event_detail.h"
#include "ui/detail_text_loader.h"
#include "ui_test_support.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;

namespace {

// A 20 MB detail on a loaded machine can take long.
constexpr int kDetailTimeout = 120000;

struct Window : ShownWindow {
    Window() : ShownWindow(1200, 800) {}
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

}  // namespace

class DetailAreaTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

  private slots:
    void repeatedKeysAreNamedAboveTheText() {
        Window w;
        const QString log = writeLog(
            dir_, u"dup.json"_s,
            {QStringLiteral(R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":)"
                            R"({"pid":3,"ppid":1,"path":"/usr/bin/benign","path":"/tmp/evil",)"
                            R"("pid":666}})"),
             procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 5, 1, "/bin/plain")});
        w.load(log, 2);
        QCOMPARE(w.procPreview()->rows().text(0, FieldKey::pid), u"3"_s);
        QVERIFY(w.choose(0));
        QTRY_VERIFY_WITH_TIMEOUT(w.textView()->notice()->isVisible(), kDetailTimeout);
        QCOMPARE(w.textView()->notice()->text(),
                 QStringLiteral("This line repeats keys (process.pid, process.path); the lists "
                                "use the first of each."));
        QVERIFY(w.textView()->text()->originalText().contains(u"evil"_s));
        QVERIFY(!w.textView()->leftOutNote()->isVisible());
        // The next event repeats nothing: no notice.
        QVERIFY(w.choose(1));
        QTRY_VERIFY_WITH_TIMEOUT(!w.textView()->notice()->isVisible(), kDetailTimeout);
    }

    // A 20 MB line: its detail is made on a worker (bench_detail_ui times
    // it); the first MiB is shown with a note of the rest; copy and save
    // take all.
    void hugeLineIsShownInPartAndKeptWhole() {
        const QString log = dir_.filePath(u"huge.json"_s);
        {
            std::ofstream out(QFile::encodeName(log).toStdString(), std::ios::binary);
            out << testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 6, 1, "/bin/small", "t")
                << "\n";
            out << R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":)"
                << R"({"pid":7,"ppid":1,"path":"/bin/big"},"args":[)";
            const std::string arg(96, 'a');
            for (int i = 0; i < 200000; ++i) {
                out << (i ? ",\"" : "\"") << arg << i % 10 << "/\"";
            }
            out << "]}\n";
        }
        Window w;
        w.load(log, 2);
        QTRY_VERIFY_WITH_TIMEOUT(QTest::qWaitForWindowExposed(&w.view), kDetailTimeout);

        w.procPreview()->chooseRow(1);
        QVERIFY(w.selection().detailPending());  // made on a worker
        QTRY_VERIFY_WITH_TIMEOUT(w.textView()->copyButton()->isVisible(), kDetailTimeout);

        const std::string full = w.selection().activeEventJson();
        QVERIFY(full.size() > 20'000'000);
        const QString shown = w.textView()->text()->originalText();
        QVERIFY(shown.toUtf8().size() <= qsizetype(kDetailShownBytes));
        QVERIFY(shown.size() > qsizetype(kDetailShownBytes) - 200);
        QVERIFY(QString::fromStdString(full.substr(0, 1000)) == shown.left(1000));
        QVERIFY(w.textView()->leftOutNote()->isVisible());
        QVERIFY(
            w.textView()->leftOutNote()->text().contains(u"more characters are not shown here"_s));

        w.textView()->copyButton()->click();
        QVERIFY(QGuiApplication::clipboard()->text() == QString::fromStdString(full));

        const QString saved = dir_.filePath(u"event.json"_s);
        QSignalSpy done(w.textView(), &EventTextView::saved);
        w.textView()->saveTo(saved);
        QVERIFY(done.wait(kDetailTimeout));
        QCOMPARE(done.at(0).at(1).toString(), QString());
        QVERIFY(fileBytes(saved).toStdString() == full);

        // A short event afterwards is shown whole again.
        QVERIFY(w.choose(0));
        QTRY_VERIFY_WITH_TIMEOUT(!w.textView()->leftOutNote()->isVisible(), kDetailTimeout);
    }
};

QTEST_MAIN(DetailAreaTest)
#include "test_detail_area.moc"
