// The main window driven as a user would: rows, colours, clicks, keys, the
// top bar's switches and counter, the detail text and its copy button, drops
// and the import dialog.

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QUrl>
#include <QWindow>

#include "tree/tree_url.h"
#include "ui_test_support.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;

namespace {

constexpr int kTimeout = 20000;

const QColor kGreen(61, 210, 130);
const QColor kPink(210, 0, 130);

struct Window {
    QStringList opened;
    MainView view{[this](const QString& url) { opened.append(url); }};
    Window() {
        view.resize(1500, 900);
        view.show();
    }
    PreviewModel& procs() { return procPreview(view)->model(); }
    PreviewModel& files() { return filePreview(view)->model(); }
    PreviewList* procList() { return procPreview(view)->list(); }
    PreviewList* fileList() { return filePreview(view)->list(); }
    DetailArea* procDetail() { return view.processView()->detail(); }
    DetailArea* fileDetail() { return view.fileView()->detail(); }
    EventKeeper& store() { return view.store(); }
    // Both detail areas follow the same flags.
    DetailArea::Content shown() {
        const auto a = procDetail()->content();
        if (a != fileDetail()->content()) {
            qFatal("the two panels disagree on the detail content");
        }
        return a;
    }
    QColor procColor(int row, int col) {
        return procs().cellColor(row, col, procList()->palette());
    }
    QColor fileColor(int row, int col) {
        return files().cellColor(row, col, fileList()->palette());
    }
    void click(PreviewList* list, int row) {
        list->scrollToRow(row);
        const QRect r = list->rowRect(row);
        QVERIFY2(!r.isEmpty(), "row not on screen");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(list->cellRects(row)[0].center().x(), r.center().y()));
    }
};

}  // namespace

class MainViewTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QString procLog_;
    QString fileLog_;
    QString badLog_;

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
            });
        fileLog_ = writeLog(dir_, QStringLiteral("files.json"),
                            {
                                fileLine("ES_EVENT_TYPE_NOTIFY_WRITE", 20, "/tmp/a"),  // 0
                                fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 20, "/tmp/b"),   // 1
                                fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 10, "/tmp/c"),   // 2
                                fileLine("ES_EVENT_TYPE_NOTIFY_CLOSE", 21, "/tmp/d"),  // 3
                            });
        badLog_ = writeLog(dir_, QStringLiteral("bad.txt"),
                           {
                               procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 40, 1, "/ok"),
                               QStringLiteral("{broken"),
                               QString(),
                               QStringLiteral("{broken"),
                           });
    }

    void freshWindow() {
        Window w;
        // Nine children: stretch, Legend, stretch, Tree, stretch, Import Json, stretch,
        // Errors, stretch.
        QHBoxLayout* row = w.view.topBar()->buttonRow();
        QCOMPARE(row->count(), 9);
        const QStringList labels = {"Legend", "Tree", "Import Json", "Errors: 0"};
        for (int i = 0; i < 9; ++i) {
            QLayoutItem* item = row->itemAt(i);
            if (i % 2 == 0) {
                QVERIFY(item->spacerItem() != nullptr);
            } else {
                auto* b = qobject_cast<QPushButton*>(item->widget());
                QVERIFY(b != nullptr);
                QCOMPARE(b->text(), labels[i / 2]);
            }
        }
        QCOMPARE(w.view.tabs()->count(), 2);
        QCOMPARE(w.view.tabs()->tabText(0), QStringLiteral("Processes"));
        QCOMPARE(w.view.tabs()->tabText(1), QStringLiteral("Files"));
        QCOMPARE(w.view.tabs()->currentIndex(), 0);

        QCOMPARE(procPreview(w.view)->headers()->texts(),
                 QStringList({"Time", "Type", "PID", "PPID", "Path"}));
        QCOMPARE(filePreview(w.view)->headers()->texts(),
                 QStringList({"Time", "Type", "PID", "Path"}));
        QList<int> widths;
        for (const QRect& r : filePreview(w.view)->headers()->textRects()) {
            widths.append(r.width());
        }
        QCOMPARE(widths, QList<int>({205, 215, 55, 55}));
        // Header and cells 100 px apart.
        const auto hr = procPreview(w.view)->headers()->textRects();
        QCOMPARE(hr[1].left() - hr[0].right() - 1, 100);

        // The bundled font stands in where "Chalkboard" is not installed.
        const QString family = listFontFamily();
        QVERIFY(family == QStringLiteral("Chalkboard") || family == QStringLiteral("Comic Neue"));
        QCOMPARE(QFontInfo(rowFont()).family(), family);
        QCOMPARE(rowFont().pixelSize(), 13);
        QCOMPARE(headerFont().pixelSize(), 15);

        QCOMPARE(w.procs().rowCount(), 0);
        QCOMPARE(w.shown(), DetailArea::Content::eventText);
        QVERIFY(w.procDetail()->eventTextView()->copyButton()->isHidden());
        QVERIFY(w.procDetail()->eventTextView()->textLabel()->text().isEmpty());
    }

    void processRowsAndColours() {
        Window w;
        w.store().loadJsonFile(procLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 8, kTimeout);
        QCOMPARE(w.procs().cellText(0, 1), QStringLiteral("ES_EVENT_TYPE_NOTIFY_EXEC"));
        QCOMPARE(w.procs().cellText(1, 1), QStringLiteral("ES_EVENT_TYPE_NOTIFY_FORK"));
        QCOMPARE(w.procs().cellText(1, 0), QStringLiteral("1765000000.1"));
        QCOMPARE(w.procs().cellText(1, 2), QStringLiteral("11"));
        QCOMPARE(w.procs().cellText(1, 3), QStringLiteral("10"));
        QCOMPARE(w.procs().cellText(1, 4), QStringLiteral("/bin/sh"));
        QCOMPARE(w.procs().cellText(4, 2), QStringLiteral("-5"));
        QCOMPARE(w.procs().cellText(4, 3), QStringLiteral("-7"));
        // Row cells: 200, 200, 50, 50, then the path; 100 px between them.
        const auto cells = w.procList()->cellRects(1);
        QCOMPARE(cells.size(), 5);
        QCOMPARE(cells[0].width(), 200);
        QCOMPARE(cells[1].width(), 200);
        QCOMPARE(cells[2].width(), 50);
        QCOMPARE(cells[3].width(), 50);
        QCOMPARE(cells[1].left() - cells[0].right() - 1, 100);

        const QColor text = w.procList()->palette().color(QPalette::Text);
        for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < 5; ++c) {
                QCOMPARE(w.procColor(r, c), text);
            }
        }

        // Choose pid 11 (ppid 10).
        w.click(w.procList(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(w.store().activePreview().has_value(), kTimeout);
        QCOMPARE(w.store().activePreview()->pid, 11);
        for (int c = 0; c < 5; ++c) {
            QCOMPARE(w.procColor(1, c), kGreen);                   // chosen
            QCOMPARE(w.procColor(2, c), c == 2 ? kGreen : kPink);  // same pid
            QCOMPARE(w.procColor(0, c), kPink);                    // parent
            QCOMPARE(w.procColor(3, c), text);                     // child: plain
            QCOMPARE(w.procColor(7, c), text);
        }
        // What is painted follows the same colours.
        QTRY_VERIFY_WITH_TIMEOUT(cellShows(w.procList(), 1, 1, kGreen), kTimeout);
        QVERIFY(cellShows(w.procList(), 0, 1, kPink));
        QVERIFY(cellShows(w.procList(), 2, 2, kGreen));
        QVERIFY(!cellShows(w.procList(), 3, 1, kPink));

        auto* textView = w.procDetail()->eventTextView();
        QTRY_VERIFY_WITH_TIMEOUT(!textView->copyButton()->isHidden(), kTimeout);
        QCOMPARE(textView->textLabel()->text(),
                 QString::fromStdString(w.store().activeEventJson()));
        QVERIFY(textView->textLabel()->text().contains(QStringLiteral("\"pid\" : 11")));
        QCOMPARE(textView->textLabel()->textFormat(), Qt::PlainText);

        // pid equal to its own ppid: the other rows of that pid follow the same-pid rule.
        w.click(w.procList(), 5);
        QTRY_COMPARE_WITH_TIMEOUT(w.store().activePreview()->pid, 30, kTimeout);
        for (int c = 0; c < 5; ++c) {
            QCOMPARE(w.procColor(5, c), kGreen);
            QCOMPARE(w.procColor(6, c), c == 2 ? kGreen : kPink);
            QCOMPARE(w.procColor(1, c), text);
        }
    }

    void selectedRowIgnoresClicks() {
        Window w;
        w.store().loadJsonFile(procLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 8, kTimeout);
        w.click(w.procList(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(procPreview(w.view)->selector().selectedRow(),
                                  w.procs().entryId(1), kTimeout);
        w.view.topBar()->legendButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), DetailArea::Content::legend, kTimeout);
        w.click(w.procList(), 1);  // the selected row: ignored
        QTest::qWait(50);
        QCOMPARE(w.shown(), DetailArea::Content::legend);
        QVERIFY(w.store().showLegend());

        // A second load keeps the choice green and unclickable.
        w.store().loadJsonFile(procLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 16, kTimeout);
        QCOMPARE(w.procColor(1, 0), kGreen);
        w.click(w.procList(), 1);
        QTest::qWait(50);
        QVERIFY(w.store().showLegend());

        // Any other row: legend gone, that row's text shown.
        w.click(w.procList(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), DetailArea::Content::eventText, kTimeout);
        QVERIFY(!w.store().showLegend());
        QCOMPARE(w.store().activePreview()->id, w.procs().entryId(2));

        // A choice in the file panel leaves this panel's selector alone.
        const Uuid before = procPreview(w.view)->selector().selectedRow();
        w.store().loadJsonFile(fileLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.files().rowCount(), 4, kTimeout);
        w.view.tabs()->setCurrentIndex(1);
        w.click(w.fileList(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(w.store().activeFilePreview().has_value(), kTimeout);
        QCOMPARE(procPreview(w.view)->selector().selectedRow(), before);
        QCOMPARE(w.store().activePreview()->id, w.procs().entryId(2));
    }

    void fileOnlyLoadAndColours() {
        Window w;
        w.view.tabs()->setCurrentIndex(1);
        w.store().loadJsonFile(fileLog_.toStdString());
        // Only file events: the rows still come.
        QTRY_COMPARE_WITH_TIMEOUT(w.files().rowCount(), 4, kTimeout);
        QCOMPARE(w.procs().rowCount(), 0);
        QCOMPARE(w.files().columnCount(), 4);
        QCOMPARE(w.files().cellText(0, 1), QStringLiteral("ES_EVENT_TYPE_NOTIFY_WRITE"));
        QCOMPARE(w.files().cellText(0, 2), QStringLiteral("20"));
        QCOMPARE(w.files().cellText(0, 3), QStringLiteral("/tmp/a"));
        const auto cells = w.fileList()->cellRects(0);
        QCOMPARE(cells[1].width(), 215);

        // Unmarked file cells: white on a dark list, the palette's text on a light one.
        QPalette dark = w.fileList()->palette();
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        w.fileList()->setPalette(dark);
        QCOMPARE(w.fileColor(0, 0), QColor(Qt::white));
        QPalette light = dark;
        light.setColor(QPalette::Base, QColor(250, 250, 250));
        light.setColor(QPalette::Text, QColor(10, 10, 10));
        w.fileList()->setPalette(light);
        QCOMPARE(w.fileColor(0, 0), QColor(10, 10, 10));
        QTRY_VERIFY_WITH_TIMEOUT(cellShows(w.fileList(), 0, 1, QColor(10, 10, 10)), kTimeout);
        const QColor plain = w.fileColor(0, 0);

        w.click(w.fileList(), 0);  // WRITE, pid 20
        QTRY_VERIFY_WITH_TIMEOUT(w.store().activeFilePreview().has_value(), kTimeout);
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(w.fileColor(0, c), kGreen);
            QCOMPARE(w.fileColor(1, c), c == 2 ? kGreen : kPink);
            QCOMPARE(w.fileColor(2, c), plain);  // no parent rule
            QCOMPARE(w.fileColor(3, c), plain);
        }
        QTRY_VERIFY_WITH_TIMEOUT(cellShows(w.fileList(), 1, 0, kPink), kTimeout);

        // A process choice afterwards leaves the file colours as they are.
        w.store().loadJsonFile(procLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 8, kTimeout);
        w.view.tabs()->setCurrentIndex(0);
        w.click(w.procList(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(w.store().activePreview().has_value(), kTimeout);
        QCOMPARE(w.fileColor(0, 0), kGreen);
        QCOMPARE(w.fileColor(1, 0), kPink);
        // The detail text is the store's one text in both panels.
        QCOMPARE(w.fileDetail()->eventTextView()->textLabel()->text(),
                 w.procDetail()->eventTextView()->textLabel()->text());
    }

    void legendAndErrorsSwitching() {
        Window w;
        QPushButton* legend = w.view.topBar()->legendButton();
        QPushButton* errors = w.view.topBar()->errorsButton();
        auto expect = [&](DetailArea::Content c) {
            QTRY_COMPARE_WITH_TIMEOUT(w.shown(), c, kTimeout);
            QVERIFY(!(w.store().showLegend() && w.store().showErrors()));
        };
        expect(DetailArea::Content::eventText);
        legend->click();  // neither -> legend
        expect(DetailArea::Content::legend);
        legend->click();  // legend -> neither
        expect(DetailArea::Content::eventText);
        errors->click();  // neither -> errors
        expect(DetailArea::Content::errors);
        errors->click();  // errors -> neither
        expect(DetailArea::Content::eventText);
        legend->click();
        errors->click();  // legend -> errors
        expect(DetailArea::Content::errors);
        legend->click();  // errors -> legend
        expect(DetailArea::Content::legend);
        errors->click();
        errors->click();  // legend -> errors -> neither; the legend does not come back
        expect(DetailArea::Content::eventText);

        // A row choice hides the error list.
        w.store().loadJsonFile(procLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 8, kTimeout);
        errors->click();
        expect(DetailArea::Content::errors);
        w.click(w.procList(), 3);
        expect(DetailArea::Content::eventText);

        QCOMPARE(LegendView::lineTexts().size(), 3);
        const auto labels = w.procDetail()->legendView()->findChildren<QLabel*>();
        QCOMPARE(labels.size(), 3);
        QVERIFY(labels[1]->text().contains(QStringLiteral("An entirely pink row with a </span>")));
        QVERIFY(labels[1]->text().contains(kGreen.name() +
                                           QStringLiteral("\">green pid field </span>")));
    }

    void errorCounterAndList() {
        Window w;
        QPushButton* errors = w.view.topBar()->errorsButton();
        QCOMPARE(errors->text(), QStringLiteral("Errors: 0"));
        QCOMPARE(errors->palette().color(QPalette::ButtonText),
                 readableWhite(w.view.topBar()->palette(), QPalette::Button, QPalette::ButtonText));
        // Zero errors: white where the button is dark, readable text where it is light.
        QPalette dark = w.view.topBar()->palette();
        dark.setColor(QPalette::Button, QColor(40, 40, 40));
        w.view.topBar()->setPalette(dark);
        QCOMPARE(errors->palette().color(QPalette::ButtonText), QColor(Qt::white));
        QPalette light = dark;
        light.setColor(QPalette::Button, QColor(240, 240, 240));
        light.setColor(QPalette::ButtonText, QColor(5, 5, 5));
        w.view.topBar()->setPalette(light);
        QCOMPARE(errors->palette().color(QPalette::ButtonText), QColor(5, 5, 5));

        ErrorView* list = w.procDetail()->errorView();
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(list->rowText(0), ErrorView::firstText());
        QCOMPARE(list->rowText(1), ErrorView::secondText());
        QCOMPARE(list->rowColor(0), kGreen);
        QCOMPARE(list->rowColor(1), kGreen);

        errors->click();
        w.store().loadJsonFile(badLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(errors->text(), QStringLiteral("Errors: 3"), kTimeout);
        QCOMPARE(errors->palette().color(QPalette::ButtonText), QColor(Qt::red));
        // Equal entries each their own row, the empty line as an empty row.
        QCOMPARE(list->rowCount(), 5);
        QCOMPARE(list->rowText(2), QStringLiteral("{broken"));
        QCOMPARE(list->rowText(3), QString());
        QCOMPARE(list->rowText(4), QStringLiteral("{broken"));
        QVERIFY(list->rowColor(2) != kGreen);

        // Loads append: a second file adds to the count and after the earlier rows.
        w.store().loadJsonFile(badLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(errors->text(), QStringLiteral("Errors: 6"), kTimeout);
        QCOMPARE(list->rowCount(), 8);
        QCOMPARE(w.shown(), DetailArea::Content::errors);
    }

    void longErrorLines() {
        Window w;
        QStringList words;
        for (int i = 0; i < 3000; ++i) {
            words.append(QStringLiteral("word%1").arg(i));
        }
        const QString tall = QStringLiteral("{") + words.join(QLatin1Char(' '));
        const QString huge = QString(300000, QLatin1Char('x'));
        const QString path =
            writeLog(dir_, QStringLiteral("long-bad.txt"), {tall, huge, QStringLiteral("{tail")});
        w.view.topBar()->errorsButton()->click();
        w.store().loadJsonFile(path.toStdString());
        ErrorView* list = w.procDetail()->errorView();
        QTRY_COMPARE_WITH_TIMEOUT(list->rowCount(), 5, kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), kTimeout);
        QCOMPARE(list->rowText(2), tall);
        QCOMPARE(list->rowText(3), huge);  // kept whole; only its display is cut short

        // A row taller than the screen is read by scrolling through it.
        list->scrollToRow(2);
        QCOMPARE(list->firstRow(), 2);
        QCOMPARE(list->firstRowOffset(), 0);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->firstRow(), 2);
        QVERIFY(list->firstRowOffset() > 0);
        int presses = 1;
        while (list->firstRow() == 2 && presses < 10000) {
            QTest::keyClick(list, Qt::Key_Down);
            ++presses;
        }
        QVERIFY(presses > 5);
        QCOMPARE(list->firstRow(), 3);
        QTest::keyClick(list, Qt::Key_Up);  // back into the end of the tall row
        QCOMPARE(list->firstRow(), 2);
        QVERIFY(list->firstRowOffset() > 0);
        QTest::keyClick(list, Qt::Key_End);
        QVERIFY(!list->rowRect(4).isEmpty());
    }

    void copyToClipboard() {
        Window w;
        w.store().loadJsonFile(procLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 8, kTimeout);
        auto* other = new QMimeData;
        QImage img(4, 4, QImage::Format_RGB32);
        img.fill(Qt::red);
        other->setImageData(img);
        other->setData(QStringLiteral("application/x-other"), "xyz");
        QGuiApplication::clipboard()->setMimeData(other);
        QVERIFY(QGuiApplication::clipboard()->mimeData()->hasImage());

        w.click(w.procList(), 1);
        QPushButton* copy = w.procDetail()->eventTextView()->copyButton();
        QTRY_VERIFY_WITH_TIMEOUT(copy->isVisible(), kTimeout);
        copy->click();
        const QMimeData* now = QGuiApplication::clipboard()->mimeData();
        QVERIFY(now != nullptr);
        QVERIFY(!now->hasImage());
        QVERIFY(!now->hasFormat(QStringLiteral("application/x-other")));
        const QString expected = QString::fromStdString(w.store().activeEventJson());
        QVERIFY(expected.contains(QLatin1Char('\n')));
        QCOMPARE(QGuiApplication::clipboard()->text(), expected);

        // While the legend is shown the button is not on screen.
        w.view.topBar()->legendButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!copy->isVisible(), kTimeout);
    }

    void eventTextIsPlain() {
        Window w;
        const QString path =
            writeLog(dir_, QStringLiteral("markup.json"),
                     {procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 7, 1, "/tmp/<b>bold</b>&amp;")});
        w.store().loadJsonFile(path.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 1, kTimeout);
        QCOMPARE(w.procs().cellText(0, 4), QStringLiteral("/tmp/<b>bold</b>&amp;"));
        w.click(w.procList(), 0);
        QLabel* label = w.procDetail()->eventTextView()->textLabel();
        QTRY_VERIFY_WITH_TIMEOUT(label->text().contains(QStringLiteral("<b>bold<\\/b>&amp;")),
                                 kTimeout);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
    }

    void drops_data() {
        QTest::addColumn<int>("panel");
        QTest::newRow("processes") << 0;
        QTest::newRow("files") << 1;
    }

    void drops() {
        QFETCH(int, panel);
        Window w;
        EventPanel* target = panel == 0 ? static_cast<EventPanel*>(w.view.processView())
                                        : static_cast<EventPanel*>(w.view.fileView());
        w.view.tabs()->setCurrentIndex(panel);
        auto drop = [&](QMimeData* mime) {
            const QPoint pos = target->rect().center();
            QDragEnterEvent enter(pos, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            const bool entered = enter.isAccepted();
            QDropEvent dropEvent(QPointF(pos), Qt::CopyAction, mime, Qt::LeftButton,
                                 Qt::NoModifier);
            QApplication::sendEvent(target, &dropEvent);
            const bool dropped = dropEvent.isAccepted();
            delete mime;
            // Refused at the door exactly when refused at the drop.
            return entered && dropped ? 1 : (!entered && !dropped ? 0 : -1);
        };

        // Plain text: refused, store untouched.
        auto* text = new QMimeData;
        text->setText(procLog_);
        QCOMPARE(drop(text), 0);
        auto* web = new QMimeData;
        web->setUrls({QUrl(QStringLiteral("https://example.org/log.json"))});
        QCOMPARE(drop(web), 0);
        QTest::qWait(50);
        QCOMPARE(w.store().procPreviews().size(), 0u);

        // One file, with blanks and accents in its name.
        const QString named = dir_.filePath(QStringLiteral("Émilie's log %1.json").arg(panel));
        QVERIFY(QFile::copy(procLog_, named));
        auto* one = new QMimeData;
        one->setUrls({QUrl::fromLocalFile(named)});
        QCOMPARE(drop(one), 1);
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 8, kTimeout);

        // Two files: only the first is loaded.
        auto* two = new QMimeData;
        two->setUrls({QUrl::fromLocalFile(fileLog_), QUrl::fromLocalFile(procLog_)});
        QCOMPARE(drop(two), 1);
        QTRY_COMPARE_WITH_TIMEOUT(w.files().rowCount(), 4, kTimeout);
        QTest::qWait(100);
        QCOMPARE(w.procs().rowCount(), 8);
        QCOMPARE(w.store().procPreviews().size(), 8u);
    }

    void upAndDown() {
        Window w;
        w.store().loadJsonFile(procLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 8, kTimeout);
        PreviewList* list = w.procList();
        list->setFocus();
        w.view.topBar()->errorsButton()->click();
        QTest::keyClick(list, Qt::Key_Down);  // nothing chosen yet: the first row shown
        QTRY_VERIFY_WITH_TIMEOUT(w.store().activePreview().has_value(), kTimeout);
        QCOMPARE(w.store().activePreview()->id, w.procs().entryId(0));
        QTRY_VERIFY_WITH_TIMEOUT(!w.store().showErrors(), kTimeout);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QTRY_COMPARE_WITH_TIMEOUT(w.store().activePreview()->id, w.procs().entryId(2), kTimeout);
        QCOMPARE(procPreview(w.view)->selector().selectedRow(), w.procs().entryId(2));
        QTest::keyClick(list, Qt::Key_Up);
        QTRY_COMPARE_WITH_TIMEOUT(w.store().activePreview()->id, w.procs().entryId(1), kTimeout);
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Up);  // stays on the first row
        QTRY_COMPARE_WITH_TIMEOUT(w.store().activePreview()->id, w.procs().entryId(0), kTimeout);

        // A click gives the list the keyboard, and the keys go on from the clicked row.
        w.view.windowHandle()->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        w.view.topBar()->legendButton()->setFocus();
        w.click(list, 4);
        QTRY_VERIFY_WITH_TIMEOUT(list->hasFocus(), kTimeout);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTRY_COMPARE_WITH_TIMEOUT(w.store().activePreview()->id, w.procs().entryId(5), kTimeout);
    }

    void scrollingByRows() {
        Window w;
        QStringList lines;
        for (int i = 0; i < 500; ++i) {
            lines.append(procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 1000 + i, 1, "/bin/x"));
        }
        const QString path = writeLog(dir_, QStringLiteral("many.json"), lines);
        w.store().loadJsonFile(path.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 500, kTimeout);
        PreviewList* list = w.procList();
        QScrollBar* bar = list->verticalScrollBar();
        QVERIFY(bar->maximum() > 400 && bar->maximum() < 500);
        QCOMPARE(list->firstRow(), 0);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_PageDown);
        const int page = list->firstRow();
        QVERIFY(page > 1);
        QCOMPARE(list->rowAt(0), page);
        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(list->firstRow(), bar->maximum());
        QVERIFY(!list->rowRect(499).isEmpty());
        // The last row stays reachable by keys.
        w.click(list, 499);
        QTRY_COMPARE_WITH_TIMEOUT(w.store().activePreview()->pid, 1499, kTimeout);
        QTest::keyClick(list, Qt::Key_Home);
        QCOMPARE(list->firstRow(), 0);
    }

    void longCellsWrap() {
        Window w;
        const QString longTs = QString(60, QLatin1Char('7'));
        const QString longPath = QStringLiteral("/very/long") + QString(400, QLatin1Char('p'));
        const QString path =
            writeLog(dir_, QStringLiteral("long.json"),
                     {procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 1, 0, "/short"),
                      procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 1, 0, longPath, longTs)});
        w.store().loadJsonFile(path.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 2, kTimeout);
        const QRect shortRow = w.procList()->rowRect(0);
        const QRect longRow = w.procList()->rowRect(1);
        QVERIFY(longRow.height() > 2 * shortRow.height());
        const auto cells = w.procList()->cellRects(1);
        QCOMPARE(cells[0].width(), 200);
        // The path takes what the row leaves and no more than the viewport.
        QVERIFY(cells[4].right() <= w.procList()->viewport()->width());
    }

    void importDialog() {
        Window w;
        QPushButton* import = w.view.topBar()->importButton();
        import->click();
        QFileDialog* dialog = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(
            (dialog = w.view.topBar()->findChild<QFileDialog*>()) != nullptr && dialog->isVisible(),
            kTimeout);
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(dialog->labelText(QFileDialog::Accept), QStringLiteral("Import Json"));
        QVERIFY(dialog->testOption(QFileDialog::ReadOnly));
        QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(dialog->nameFilters().size(), 1);
        QVERIFY(dialog->nameFilters().first().contains(QStringLiteral("*.json *.txt")));
        QVERIFY(!dialog->isModal());
        // The window stays usable while the dialog is open.
        w.view.topBar()->legendButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(w.store().showLegend(), kTimeout);

        // Cancel: nothing happens.
        QPointer<QFileDialog> first = dialog;
        dialog->reject();
        QTest::qWait(100);
        QCOMPARE(w.store().procPreviews().size(), 0u);
        QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), kTimeout);

        // A fresh dialog per press; choosing a file loads it.
        import->click();
        QTRY_VERIFY_WITH_TIMEOUT((dialog = w.view.topBar()->findChild<QFileDialog*>()) != nullptr,
                                 kTimeout);
        dialog->setDirectory(dir_.path());
        dialog->selectFile(procLog_);
        static_cast<QDialog*>(dialog)->accept();
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 8, kTimeout);

        // Ctrl+O opens one too.
        QTRY_VERIFY_WITH_TIMEOUT(w.view.topBar()->findChild<QFileDialog*>() == nullptr, kTimeout);
        w.view.activateWindow();
        w.view.windowHandle()->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        w.procList()->setFocus();
        QTest::keyClick(w.procList(), Qt::Key_O, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(w.view.topBar()->findChild<QFileDialog*>() != nullptr, kTimeout);
        w.view.topBar()->findChild<QFileDialog*>()->reject();
    }

    void treeButton() {
        Window w;
        w.view.topBar()->treeButton()->click();
        QCOMPARE(w.opened.size(), 1);
        QCOMPARE(w.opened[0], QString::fromStdString(makeTreeUrlText(w.store().jsonTreeRaw())));
        QVERIFY(w.opened[0].startsWith(QStringLiteral("KorvantisTree://")));
        w.store().loadJsonFile(procLog_.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 8, kTimeout);
        w.view.topBar()->treeButton()->click();
        QCOMPARE(w.opened.size(), 2);
        const std::string expected = makeTreeUrlText(w.store().jsonTreeRaw());
        QCOMPARE(w.opened[1], QString::fromStdString(expected));
        QVERIFY(expected.size() > 40);
    }

    void closingWithPendingLoad() {
        // A load asked for just before the window goes never runs on a dead store.
        auto* w = new Window;
        w->store().loadJsonFile(procLog_.toStdString());
        delete w;
        QTest::qWait(50);
    }
};

QTEST_MAIN(MainViewTest)
#include "test_main_view.moc"
