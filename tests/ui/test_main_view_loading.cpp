// Logs coming into the main window: the error counter and list, the notice
// of lost messages, the progress of a load, its cancelling and the rows it
// shows while it runs, long error rows, drops and the import dialog.

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "main_view_fixture.h"
#include "store/load_errors.h"
#include "support/compressed_copies.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;

namespace {

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

}  // namespace

class MainViewLoadingTest : public SmallLogsTest {
    Q_OBJECT

    QString bigLog_;

  private slots:
    void initTestCase() {
        bigLog_ = dir_.filePath(u"big.json"_s);
        std::ofstream big(bigLog_.toStdString());
        for (int i = 0; i < kBigLines; ++i) {
            big << (i % kBigErrorEvery == kBigErrorEvery - 1
                        ? "{broken " + std::to_string(i)
                        : testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 1000 + i, 1,
                                                "/bin/big" + std::to_string(i), "1765000000.1"))
                << '\n';
        }
        QVERIFY(big.good());
    }

    // A log chosen in the import dialog, then gaps in eslogger's numbering:
    // a notice naming the log, a list of the gaps that jumps to the first row
    // at or after each, a close button.
    void importDialogAndLostMessages() {
        Window w;
        auto dialog = [&] { return w.bar()->findChild<QFileDialog*>(); };
        w.bar()->importButton()->click();
        TRY_VERIFY(dialog() != nullptr && dialog()->isVisible());

        // Cancel: nothing happens.
        dialog()->reject();
        TRY_VERIFY(dialog() == nullptr);
        QCOMPARE(w.workspace().store.rows(RowKind::process).size(), 0u);

        // A fresh dialog per press, also by Ctrl+O; choosing a file loads it.
        w.activate();
        w.procList()->setFocus();
        QTest::keyClick(w.procList(), Qt::Key_O, Qt::ControlModifier);
        TRY_VERIFY(dialog() != nullptr);
        dialog()->setDirectory(dir_.path());
        dialog()->selectFile(procLog_);
        static_cast<QDialog*>(dialog())->accept();
        TRY_COMPARE(w.procs().rowCount(), kProcRows);

        LostMessagesStrip* strip = w.view.lostMessagesStrip();
        QVERIFY(!strip->isVisible());
        const auto numbered = [](qint64 number, const char* kind, const char* body) {
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
        savePicture(w.view, "main-lost-messages.png");
        QCOMPARE(strip->noteLabel()->text(),
                 QStringLiteral("12,356 messages are missing from trace.json (2 gaps): dropped by "
                                "the recorder or cut from the log"));
        QMenu* menu = strip->gapsMenu();
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[1]->text(), u"trace.json:4: 12 lost"_s);
        menu->actions()[1]->trigger();  // the row of line 4, in the third tab
        TRY_COMPARE(w.view.tabs()->currentIndex(), 2);
        TRY_VERIFY(w.selection().activeRow(RowKind::other)->row.pid == 12360);
        delete menu;
        QTest::mouseClick(strip->closeButton(), Qt::LeftButton);
        TRY_VERIFY(!strip->isVisible());

        // Gaps whose sum passes any 64-bit count: said so, never wrapped.
        const QString huge = writeLog(dir_, u"huge.json"_s,
                                      {numbered(0, "exit", "{}"), numbered(INT64_MAX, "exit", "{}"),
                                       numbered(0, "exit", "{}"), numbered(INT64_MAX, "exit", "{}"),
                                       numbered(1, "exit", "{}"), numbered(7, "exit", "{}")});
        w.load(huge, w.view.otherPanel()->preview()->rows(), 10);
        TRY_VERIFY(strip->isVisible());
        QCOMPARE(strip->noteLabel()->text().section(QLatin1Char('\n'), 1),
                 u"more than 18446744073709551615 messages are missing from huge.json (3 gaps): "
                 "dropped by the recorder or cut from the log"_s);
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
        QCOMPARE(errors->palette().color(QPalette::ButtonText), filterErrorColor(w.view.palette()));
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
        QVERIFY(strip->percentLabel()->text().contains(QRegularExpression(u"^(\\d|[1-9]\\d)%$"_s)));
        QVERIFY(strip->linesLabel()->text().contains(
            QRegularExpression(u"^[1-9]\\d{0,2}(,\\d{3})* lines$"_s)));
        // The buttons keep their row; the strip sits under it.
        QVERIFY(strip->geometry().top() >= w.bar()->importButton()->geometry().bottom());

        const auto& outcomes = w.workspace().loader.outcomes();
        if (how == 0) {
            QTRY_VERIFY_WITH_TIMEOUT(w.workspace().loader.idle(), 10 * kTimeout);
            TRY_VERIFY(!strip->isVisible());
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
        QCOMPARE(std::uint64_t(w.procs().rowCount()),
                 w.workspace().store.rows(RowKind::process).size());
        QLocale english(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(strip->noteLabel()->text(), u"Cancelled after %1 lines and 1 queued log"_s.arg(
                                                 english.toString(qulonglong(read))));
        QVERIFY(!strip->cancelButton()->isVisible() && !strip->fileLabel()->isVisible());

        // Idle again: Esc reaches the line edit. The next load clears the note.
        QTest::keyClick(edit, Qt::Key_Escape);
        QCOMPARE(escapes.presses, 2);
        w.load(procLog_, w.procs(), int(read - read / kBigErrorEvery) + kProcRows);
        TRY_VERIFY(!strip->isVisible());
    }

    // A compressed log's load shows its lines and the text they came to
    // beside the share of its own bytes, which is never full before the
    // end; broken lines past the list's bound end the error list with their
    // count; a spool on a full disk stops its load with the reason.
    void loadsThatCannotBeToldByTheirBytes() {
        Window w;
        LoadProgressView* strip = w.progress();
        const std::string text = fileBytes(bigLog_).toStdString();
        const QString zst =
            writeFile(dir_, u"big.json.zst"_s,
                      QByteArray::fromStdString(testsupport::zstdCompressed(text, 3)));
        QStringList percents;
        QStringList lines;
        QTimer sample;
        connect(&sample, &QTimer::timeout, [&] {
            if (strip->percentLabel()->isVisible()) {
                percents.append(strip->percentLabel()->text());
                lines.append(strip->linesLabel()->text());
            }
        });
        sample.start(1);
        w.workspace().loader.loadJsonFile(zst.toStdString());
        QVERIFY(w.waitForFirstRows(1));
        QTRY_VERIFY_WITH_TIMEOUT(w.workspace().loader.idle(), 10 * kTimeout);
        sample.stop();
        QVERIFY(!percents.isEmpty());
        QVERIFY(!percents.contains(u"100%"_s));
        QVERIFY(lines.last().contains(
            QRegularExpression(u"^[1-9]\\d{0,2}(,\\d{3})* lines, \\d+\\.\\d [MG]B of text$"_s)));

        const int broken = 2'000'000;
        const QString brokenLog =
            writeFile(dir_, u"broken.json"_s, QByteArray("x\n").repeated(broken));
        ErrorView* list = w.procDetail()->errorView();
        w.workspace().loader.loadJsonFile(brokenLog.toStdString());
        TRY_VERIFY(w.workspace().loader.idle() && w.workspace().loader.outcomes().size() == 2u);
        const LoadErrors& errors = w.workspace().store.loadErrors();
        const std::size_t before = kBigLines / kBigErrorEvery;
        QCOMPARE(errors.size(), before + broken);
        QCOMPARE(w.bar()->errorsButton()->text(), u"Errors: %1"_s.arg(before + broken));
        TRY_COMPARE(list->rowCount(), int(2 + errors.listed() + 1));
        QCOMPARE(list->rowText(list->rowCount() - 1),
                 QString::fromStdString(LoadErrors::foldedText(errors.folded())));

        // A FIFO whose spool goes to a file system of a megabyte.
        const QString small = dir_.filePath(u"small"_s);
        QVERIFY(QDir().mkpath(small));
        if (::mount("tmpfs", small.toLocal8Bit().constData(), "tmpfs", 0, "size=1m") != 0) {
            QSKIP("no tmpfs can be mounted here: the full spool is not tried");
        }
        const QByteArray cache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", small.toLocal8Bit());
        const std::string fifo = dir_.filePath(u"fifo"_s).toStdString();
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        std::signal(SIGPIPE, SIG_IGN);  // the reader stops before the writer does
        std::thread writer([&] {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
            for (std::size_t at = 0; fd >= 0 && at < text.size();) {
                const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
                if (n <= 0) {
                    break;
                }
                at += std::size_t(n);
            }
            ::close(fd);
        });
        w.workspace().loader.loadJsonFile(fifo);
        TRY_VERIFY(w.workspace().loader.outcomes().size() == 3u);
        writer.join();
        ::umount2(small.toLocal8Bit().constData(), MNT_DETACH);
        qputenv("XDG_CACHE_HOME", cache);
        const LoadOutcome& stopped = w.workspace().loader.outcomes()[2];
        QVERIFY(stopped.stopped.find("No space left on device") != std::string::npos);
        TRY_VERIFY(strip->failureLabel()->isVisible());
        QVERIFY(strip->failureLabel()->text().startsWith(u"fifo: Loading stopped at line "_s));
        QVERIFY(strip->failureLabel()->text().endsWith(u"the lines after it are not loaded."_s));
    }

    // Rows shown while loads run can be chosen, stepped through and scrolled
    // to; the switches work. The big log is loaded
    // three times, so that loads still run when all that is done.
    void rowsWorkWhileLoading() {
        Window w;
        w.activate();
        for (int i = 0; i < 3; ++i) {
            w.workspace().loader.loadJsonFile(bigLog_.toStdString());
        }
        QVERIFY(w.waitForFirstRows(5));
        clickRow(w.procList(), 3);
        TRY_COMPARE(w.chosenPlace(), w.procs().rowPlace(3));
        auto* textView = w.procDetail()->eventTextView();
        TRY_VERIFY(textView->text()->originalText().contains(u"big3"_s));
        QTest::keyClick(w.procList(), Qt::Key_Down);
        TRY_COMPARE(w.selection().activeRow(RowKind::process)->place, w.procs().rowPlace(4));
        TRY_VERIFY(textView->text()->originalText().contains(u"big4"_s));
        w.bar()->legendButton()->click();
        TRY_COMPARE(w.shown(), Content::legend);
        w.bar()->errorsButton()->click();
        TRY_COMPARE(w.shown(), Content::errors);
        // Far down the rows shown so far: row 3000 is line 3004, after three
        // broken lines.
        QVERIFY(QTest::qWaitFor([&] { return w.procs().rowCount() > 3000; }, kTimeout));
        clickRow(w.procList(), 3000);
        TRY_COMPARE(w.selection().activeRow(RowKind::process)->place, w.procs().rowPlace(3000));
        TRY_VERIFY(textView->text()->originalText().contains(u"big3003\""_s));
        QVERIFY(w.workspace().loader.progress().running);
        savePicture(w.view, "main-loading.png");
        w.workspace().loader.cancel();
        TRY_VERIFY(w.workspace().loader.idle());
        savePicture(w.view, "main-cancelled.png");
        // The choice outlives the load.
        QCOMPARE(w.procPreview()->selector().selected().value_or(LinePlace(SIZE_MAX)),
                 w.procs().rowPlace(3000));
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
        list->scrollToRow(300);
        const int from = list->firstRow();
        QTest::keyClick(list, Qt::Key_PageDown);
        QVERIFY(list->firstRow() > from + 1);
        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(list->firstRow(), list->verticalScrollBar()->maximum());
        QVERIFY(!list->rowRect(503).isEmpty());
    }

    // Every panel takes drops the same way (one class); the process panel's stand for all.
    void drops() {
        Window w;
        QWidget* target = w.view.processPanel();
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

        // One file, with blanks and accents in its name; the title names it.
        const QString name = u"Émilie's log.json"_s;
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
        const std::string badName = folder + "/bad\xff.json";
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
};

QTEST_MAIN(MainViewLoadingTest)
#include "test_main_view_loading.moc"
