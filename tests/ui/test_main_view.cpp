// The main window driven as a user would: rows, colours, clicks, keys, the
// top bar's switches and counter, the detail text and its copy button, drops
// and the import dialog.

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QUrl>
#include <QWindow>

#include "ui_test_support.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using Content = DetailArea::Content;

namespace {

constexpr int kTimeout = 20000;
constexpr int kProcRows = 9;

const QColor kGreen(61, 210, 130);
const QColor kPink(210, 0, 130);

// A row's expected cell colours: `all` everywhere but the PID cell (column 2).
QList<QColor> row(int cells, const QColor& all, const QColor& pid = {}) {
    QList<QColor> out(cells, all);
    out[2] = pid.isValid() ? pid : all;
    return out;
}

struct Window {
    MainView view{[](const QString&) {}};
    Window() {
        view.resize(1500, 900);
        view.show();
    }
    PreviewModel& procs() { return procPreview(view)->model(); }
    PreviewModel& files() { return filePreview(view)->model(); }
    PreviewList* procList() { return procPreview(view)->list(); }
    PreviewList* fileList() { return filePreview(view)->list(); }
    DetailArea* procDetail() { return view.processView()->detail(); }
    EventKeeper& store() { return view.store(); }
    TopBarView* bar() { return view.topBar(); }
    Content shown() { return procDetail()->content(); }
    void load(const QString& path, PreviewModel& model, int rows) {
        store().loadJsonFile(path.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), rows, kTimeout);
    }
    static QList<QColor> colours(PreviewModel& model, PreviewList* list, int r) {
        QList<QColor> out;
        for (int c = 0; c < model.columnCount(); ++c) {
            out.append(model.cellColor(r, c, list->palette()));
        }
        return out;
    }
    QList<QColor> procColours(int r) { return colours(procs(), procList(), r); }
    QList<QColor> fileColours(int r) { return colours(files(), fileList(), r); }
};

}  // namespace

class MainViewTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QString procLog_;
    QString fileLog_;
    const QString markup_ = QStringLiteral("/tmp/<b>bold</b>&amp;") + QString(400, 'p');

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        procLog_ = writeLog(
            dir_, QStringLiteral("procs.json"),
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
        fileLog_ = writeLog(dir_, QStringLiteral("files.json"),
                            {
                                fileLine("ES_EVENT_TYPE_NOTIFY_WRITE", 20, "/tmp/a"),  // 0
                                fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 20, "/tmp/b"),   // 1
                                fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 10, "/tmp/c"),   // 2
                                fileLine("ES_EVENT_TYPE_NOTIFY_CLOSE", 21, "/tmp/d"),  // 3
                            });
    }

    void processRowsAndColours() {
        Window w;
        w.load(procLog_, w.procs(), kProcRows);
        QCOMPARE(w.procs().cellText(1, 1), QStringLiteral("ES_EVENT_TYPE_NOTIFY_FORK"));
        QCOMPARE(w.procs().cellText(4, 2) + w.procs().cellText(4, 3), QStringLiteral("-5-7"));
        const QColor text = w.procList()->palette().color(QPalette::Text);
        for (int r = 0; r < kProcRows; ++r) {
            QCOMPARE(w.procColours(r), row(5, text));
        }
        // Long cells wrap within the viewport.
        QVERIFY(w.procList()->rowRect(8).height() > 2 * w.procList()->rowRect(7).height());
        QVERIFY(w.procList()->cellRects(8)[4].right() <= w.procList()->viewport()->width());

        clickRow(w.procList(), 1);  // pid 11, ppid 10
        QTRY_VERIFY_WITH_TIMEOUT(w.store().activePreview().has_value(), kTimeout);
        QCOMPARE(w.procColours(1), row(5, kGreen));         // chosen
        QCOMPARE(w.procColours(2), row(5, kPink, kGreen));  // same pid
        QCOMPARE(w.procColours(0), row(5, kPink));          // parent
        QCOMPARE(w.procColours(3), row(5, text));           // child: plain
        // What is painted follows the same colours.
        QTRY_VERIFY_WITH_TIMEOUT(cellShows(w.procList(), 1, 1, kGreen), kTimeout);
        QVERIFY(cellShows(w.procList(), 0, 1, kPink));
        QVERIFY(!cellShows(w.procList(), 3, 1, kPink));

        // pid equal to its own ppid: the other rows of that pid follow the same-pid rule.
        clickRow(w.procList(), 5);
        QTRY_COMPARE_WITH_TIMEOUT(w.store().activePreview()->pid, 30, kTimeout);
        QCOMPARE(w.procColours(5), row(5, kGreen));
        QCOMPARE(w.procColours(6), row(5, kPink, kGreen));
        QCOMPARE(w.procColours(1), row(5, text));
    }

    void fileColoursStandApart() {
        Window w;
        w.view.tabs()->setCurrentIndex(1);
        w.load(fileLog_, w.files(), 4);  // only file events: the rows still come
        QCOMPARE(w.files().cellText(0, 3), QStringLiteral("/tmp/a"));

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
        QTRY_VERIFY_WITH_TIMEOUT(w.store().activeFilePreview().has_value(), kTimeout);
        QCOMPARE(w.fileColours(0), row(4, kGreen));
        QCOMPARE(w.fileColours(1), row(4, kPink, kGreen));
        QCOMPARE(w.fileColours(2), row(4, plain));  // pid 10: no parent rule
        QTRY_VERIFY_WITH_TIMEOUT(cellShows(w.fileList(), 1, 0, kPink), kTimeout);

        // A process choice afterwards leaves the file colours as they are.
        w.load(procLog_, w.procs(), kProcRows);
        w.view.tabs()->setCurrentIndex(0);
        clickRow(w.procList(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(w.store().activePreview().has_value(), kTimeout);
        QCOMPARE(w.fileColours(1), row(4, kPink, kGreen));
    }

    void selectedRowIgnoresClicks() {
        Window w;
        w.load(procLog_, w.procs(), kProcRows);
        clickRow(w.procList(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(procPreview(w.view)->selector().selectedRow(),
                                  w.procs().entryId(1), kTimeout);
        w.bar()->legendButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), Content::legend, kTimeout);
        clickRow(w.procList(), 1);  // the selected row: ignored (a click is handled at once)
        QVERIFY(w.store().showLegend());

        // A second load keeps the choice green and unclickable.
        w.load(procLog_, w.procs(), 2 * kProcRows);
        QCOMPARE(w.procColours(1), row(5, kGreen));
        clickRow(w.procList(), 1);
        QVERIFY(w.store().showLegend());

        // Any other row: legend gone, that row's text shown.
        clickRow(w.procList(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), Content::eventText, kTimeout);
        QCOMPARE(w.store().activePreview()->id, w.procs().entryId(2));
    }

    void eventTextAndCopy() {
        Window w;
        auto* textView = w.procDetail()->eventTextView();
        QVERIFY(textView->copyButton()->isHidden());
        QVERIFY(textView->textLabel()->text().isEmpty());
        w.load(procLog_, w.procs(), kProcRows);
        QCOMPARE(w.procs().cellText(8, 4), markup_);
        auto* other = new QMimeData;
        other->setImageData(QImage(4, 4, QImage::Format_RGB32));
        other->setData(QStringLiteral("application/x-other"), "xyz");
        QGuiApplication::clipboard()->setMimeData(other);

        // The store's text, shown as plain text: markup in a path stays text.
        clickRow(w.procList(), 8);
        QTRY_VERIFY_WITH_TIMEOUT(textView->copyButton()->isVisible(), kTimeout);
        const QString expected = QString::fromStdString(w.store().activeEventJson());
        QVERIFY(expected.contains(QStringLiteral("<b>bold<\\/b>&amp;")));
        QCOMPARE(textView->textLabel()->text(), expected);
        QCOMPARE(textView->textLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(w.view.fileView()->detail()->eventTextView()->textLabel()->text(), expected);

        // Copy leaves the multi-line text alone on the clipboard.
        textView->copyButton()->click();
        const QMimeData* now = QGuiApplication::clipboard()->mimeData();
        QVERIFY(now != nullptr);
        QVERIFY(!now->hasImage());
        QVERIFY(!now->hasFormat(QStringLiteral("application/x-other")));
        QVERIFY(expected.contains(QLatin1Char('\n')));
        QCOMPARE(QGuiApplication::clipboard()->text(), expected);

        // While the legend is shown the button is not on screen.
        w.bar()->legendButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!textView->copyButton()->isVisible(), kTimeout);
    }

    void topBarSwitches() {
        Window w;
        QPushButton* legend = w.bar()->legendButton();
        QPushButton* errors = w.bar()->errorsButton();
        const struct {
            QPushButton* press;
            Content then;
        } steps[] = {
            {legend, Content::legend},    {errors, Content::errors},
            {errors, Content::eventText},  // the legend does not come back
            {errors, Content::errors},    {legend, Content::legend},
            {legend, Content::eventText},
        };
        for (const auto& step : steps) {
            step.press->click();
            QTRY_COMPARE_WITH_TIMEOUT(w.shown(), step.then, kTimeout);
            QCOMPARE(w.view.fileView()->detail()->content(), step.then);  // both panels follow
            QVERIFY(!(w.store().showLegend() && w.store().showErrors()));
        }

        // A row choice hides the error list.
        w.load(procLog_, w.procs(), kProcRows);
        errors->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), Content::errors, kTimeout);
        clickRow(w.procList(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), Content::eventText, kTimeout);
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

        const QString bad = writeLog(dir_, QStringLiteral("bad.txt"),
                                     {procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 40, 1, "/ok"),
                                      QStringLiteral("{broken"), QString(), "{broken"});
        errors->click();
        w.store().loadJsonFile(bad.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(errors->text(), QStringLiteral("Errors: 3"), kTimeout);
        QCOMPARE(errors->palette().color(QPalette::ButtonText), QColor(Qt::red));
        // Equal entries each their own row, the empty line as an empty row.
        QCOMPARE(QStringList({list->rowText(2), list->rowText(3), list->rowText(4)}),
                 QStringList({"{broken", "", "{broken"}));
        QVERIFY(list->rowColor(2) != kGreen);

        // Loads append: a second file adds to the count and after the earlier rows.
        w.store().loadJsonFile(bad.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(errors->text(), QStringLiteral("Errors: 6"), kTimeout);
        QCOMPARE(list->rowCount(), 8);
        QCOMPARE(w.shown(), Content::errors);
    }

    void scrollingLongLists() {
        Window w;
        const QString tall = QStringLiteral("{") + QStringLiteral("word ").repeated(3000);
        const QString huge = QString(300000, QLatin1Char('x'));
        QStringList lines = {tall, huge};
        for (int i = 0; i < 500; ++i) {
            lines.append(QStringLiteral("{e%1").arg(i));
        }
        w.bar()->errorsButton()->click();
        w.store().loadJsonFile(writeLog(dir_, "long-bad.txt", lines).toStdString());
        ErrorView* list = w.procDetail()->errorView();
        QTRY_COMPARE_WITH_TIMEOUT(list->rowCount(), 504, kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), kTimeout);
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
        QWidget* target = panel == 0 ? static_cast<QWidget*>(w.view.processView())
                                     : static_cast<QWidget*>(w.view.fileView());
        w.view.tabs()->setCurrentIndex(panel);
        // 1 accepted, 0 refused; -1 when the door and the drop disagree.
        auto drop = [&](const QList<QUrl>& urls, const QString& text = {}) {
            QMimeData mime;
            urls.isEmpty() ? mime.setText(text) : mime.setUrls(urls);
            const QPoint pos = target->rect().center();
            QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            QDropEvent dropped(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &dropped);
            return enter.isAccepted() == dropped.isAccepted() ? int(enter.isAccepted()) : -1;
        };

        // Plain text and remote files: refused, store untouched.
        QCOMPARE(drop({}, procLog_), 0);
        QCOMPARE(drop({QUrl(QStringLiteral("https://example.org/log.json"))}), 0);

        // One file, with blanks and accents in its name.
        const QString named = dir_.filePath(QStringLiteral("Émilie's log %1.json").arg(panel));
        QVERIFY(QFile::copy(procLog_, named));
        QCOMPARE(drop({QUrl::fromLocalFile(named)}), 1);
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), kProcRows, kTimeout);

        // Two files: only the first is loaded.
        QCOMPARE(drop({QUrl::fromLocalFile(fileLog_), QUrl::fromLocalFile(procLog_)}), 1);
        QTRY_COMPARE_WITH_TIMEOUT(w.files().rowCount(), 4, kTimeout);
        // Loads run in the order asked: once one more has run, a load made by
        // a refused drop or by the second file would have run too.
        w.store().loadJsonFile(fileLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.files().rowCount(), 8, kTimeout);
        QCOMPARE(w.store().procPreviews().size(), size_t(kProcRows));
    }

    void upAndDown() {
        Window w;
        w.load(procLog_, w.procs(), kProcRows);
        PreviewList* list = w.procList();
        auto keysGiveRow = [&](std::initializer_list<Qt::Key> keys, int r) {
            for (Qt::Key k : keys) {
                QTest::keyClick(QApplication::focusWidget(), k);
            }
            QTRY_COMPARE_WITH_TIMEOUT(w.store().activePreview().value_or(ProcPreviewEntry{}).id,
                                      w.procs().entryId(r), kTimeout);
        };
        w.view.windowHandle()->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        list->setFocus();
        keysGiveRow({Qt::Key_Down}, 0);  // nothing chosen yet: the first row
        keysGiveRow({Qt::Key_Down, Qt::Key_Down}, 2);
        QCOMPARE(procPreview(w.view)->selector().selectedRow(), w.procs().entryId(2));
        keysGiveRow({Qt::Key_Up}, 1);
        keysGiveRow({Qt::Key_Up, Qt::Key_Up}, 0);  // stays on the first row

        // A click gives the list the keyboard, and the keys go on from the clicked row.
        w.bar()->legendButton()->setFocus();
        clickRow(list, 4);
        QTRY_VERIFY_WITH_TIMEOUT(list->hasFocus(), kTimeout);
        keysGiveRow({Qt::Key_Down}, 5);
    }

    void importDialog() {
        Window w;
        auto dialog = [&] { return w.bar()->findChild<QFileDialog*>(); };
        w.bar()->importButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog() != nullptr && dialog()->isVisible(), kTimeout);

        // Cancel: nothing happens.
        dialog()->reject();
        QTRY_VERIFY_WITH_TIMEOUT(dialog() == nullptr, kTimeout);
        QCOMPARE(w.store().procPreviews().size(), 0u);

        // A fresh dialog per press, also by Ctrl+O; choosing a file loads it.
        w.view.windowHandle()->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        w.procList()->setFocus();
        QTest::keyClick(w.procList(), Qt::Key_O, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(dialog() != nullptr, kTimeout);
        dialog()->setDirectory(dir_.path());
        dialog()->selectFile(procLog_);
        static_cast<QDialog*>(dialog())->accept();
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), kProcRows, kTimeout);
    }
};

QTEST_MAIN(MainViewTest)
#include "test_main_view.moc"
