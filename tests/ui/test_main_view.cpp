// The main window's rows driven as a user would: their colours, clicks and
// keys, the top bar's switches (Follow among them), the other events' tab,
// the rows' height and the columns' widths.

#include <QScopeGuard>
#include <QStyle>
#include <QStyleFactory>

#include <filesystem>

#include "main_view_fixture.h"
#include "ui/look/wrap_choice.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;

namespace {

void appendLines(const QString& path, int from, int to) {
    std::ofstream out(path.toStdString(), std::ios::app);
    for (int pid = from; pid < to; ++pid) {
        out << testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", pid, 1, "/bin/p") << '\n';
    }
}

// A dark palette as desktops give one: rows on #3D3D3D.
QPalette darkPalette() {
    QPalette p;
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, QColor(0x35, 0x35, 0x35));
        p.setColor(group, QPalette::WindowText, Qt::white);
        p.setColor(group, QPalette::Base, QColor(0x3D, 0x3D, 0x3D));
        p.setColor(group, QPalette::AlternateBase, QColor(0x45, 0x45, 0x45));
        p.setColor(group, QPalette::Text, Qt::white);
        p.setColor(group, QPalette::Button, QColor(0x35, 0x35, 0x35));
        p.setColor(group, QPalette::ButtonText, Qt::white);
        p.setColor(group, QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
        p.setColor(group, QPalette::Link, QColor(0x2A, 0x82, 0xDA));
        p.setColor(group, QPalette::LinkVisited, QColor(0x8A, 0x5C, 0xD0));
        p.setColor(group, QPalette::Midlight, QColor(0x60, 0x60, 0x60));
        p.setColor(group, QPalette::PlaceholderText, QColor(0xA0, 0xA0, 0xA0));
    }
    return p;
}

}  // namespace

class MainViewTest : public SmallLogsTest {
    Q_OBJECT

  private slots:
    // Every text colour the views choose reads at least 4.5:1 on each
    // background it is drawn on, in a light and in a dark palette.
    void textColoursAreReadableInBothPalettes() {
        const struct {
            const char* name;
            QPalette palette;
        } palettes[] = {{"light", QStyleFactory::create(u"Fusion"_s)->standardPalette()},
                        {"dark", darkPalette()}};
        for (const auto& [name, palette] : palettes) {
            const QColor base = palette.color(QPalette::Base);
            const QColor window = palette.color(QPalette::Window);
            const QColor button = palette.color(QPalette::Button);
            const struct {
                const char* what;
                QColor text, background;
            } pairs[] = {
                {"chosen row", markColor(Mark::green, StandardColor::white, palette), base},
                {"relatives", markColor(Mark::pink, StandardColor::white, palette), base},
                {"file rows", markColor(Mark::standard, StandardColor::white, palette), base},
                {"process rows", markColor(Mark::standard, StandardColor::paletteText, palette),
                 base},
                {"column titles", greenColor(palette), window},
                {"legend green", greenColor(palette), window},
                {"legend pink", pinkColor(palette), window},
                {"query error", filterErrorColor(palette), base},
                {"load error count", filterErrorColor(palette), button},
                {"timeline ticks", timelineColors(palette).text,
                 timelineColors(palette).background},
            };
            for (const auto& pair : pairs) {
                const double ratio = contrast(pair.text, pair.background);
                QVERIFY2(ratio >= 4.5,
                         qPrintable(QStringLiteral("%1, %2: %3 on %4 is %5:1")
                                        .arg(QLatin1String(name), QLatin1String(pair.what),
                                             pair.text.name(), pair.background.name())
                                        .arg(ratio, 0, 'f', 2)));
            }
        }
    }

    // The window in a dark palette, a row chosen: marks in their dark shades.
    void darkPaletteWindow() {
        const QPalette before = QApplication::palette();
        const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
        QApplication::setPalette(darkPalette());
        Window w(procLog_);
        clickRow(w.procList(), 1);
        TRY_VERIFY(w.selection().activeRow(RowKind::process).has_value());
        TRY_VERIFY(cellShows(w.procList(), 1, 1, greenColor(darkPalette())));
        QVERIFY(cellShows(w.procList(), 0, 1, pinkColor(darkPalette())));
        savePicture(w.view, "main-dark.png");
    }

    void processRowsColoursAndClicks() {
        Window w(procLog_);
        QCOMPARE(w.procs().text(4, FieldId::pid) + w.procs().text(4, FieldId::ppid), u"-5-7"_s);
        const QColor text = w.procList()->palette().color(QPalette::Text);
        QCOMPARE(marks(w.procPreview(), text),
                 u"ttttt ttttt ttttt ttttt ttttt ttttt ttttt ttttt ttttt"_s);
        // Long cells wrap within the viewport.
        w.procList()->scrollToRow(8);
        QVERIFY(w.procList()->rowRect(8).height() > 2 * w.procList()->rowRect(7).height());
        QVERIFY(w.procList()->cellRects(8)[4].right() <= w.procList()->viewport()->width());
        w.procList()->scrollToRow(0);

        // pid 11, ppid 10: chosen; its parent and its pid's other row pink; its child plain.
        clickRow(w.procList(), 1);
        TRY_VERIFY(w.selection().activeRow(RowKind::process).has_value());
        QCOMPARE(marks(w.procPreview(), text),
                 u"ppppp ggggg ppgpp ttttt ttttt ttttt ttttt ttttt ttttt"_s);
        // What is painted follows the same colours.
        TRY_VERIFY(cellShows(w.procList(), 1, 1, kGreen));
        savePicture(w.view, "main-loaded-selected.png");
        QVERIFY(cellShows(w.procList(), 0, 1, kPink));
        QVERIFY(!cellShows(w.procList(), 3, 1, kPink));

        // pid equal to its own ppid: the other rows of that pid follow the same-pid rule.
        clickRow(w.procList(), 5);
        TRY_COMPARE(w.selection().activeRow(RowKind::process)->row.pid, 30);
        QCOMPARE(marks(w.procPreview(), text),
                 u"ttttt ttttt ttttt ttttt ttttt ggggg ppgpp ttttt ttttt"_s);
        // A click on the chosen row is ignored (it would hide the legend), also after
        // a second load; another row's text replaces the legend or the error list.
        clickRow(w.procList(), 1);
        TRY_COMPARE(w.procPreview()->selector().selected().value_or(LinePlace(SIZE_MAX)),
                    w.procs().rowPlace(1));
        w.bar()->legendButton()->click();
        TRY_COMPARE(w.shown(), Content::legend);
        savePicture(w.view, "main-legend.png");
        clickRow(w.procList(), 1);  // handled at once
        QVERIFY(w.workspace().switches.showLegend());
        w.load(procLog_, 2 * kProcRows);
        QCOMPARE(marks(w.procPreview()).section(' ', 1, 1), u"ggggg"_s);
        clickRow(w.procList(), 1);
        QVERIFY(w.workspace().switches.showLegend());
        clickRow(w.procList(), 2);
        TRY_COMPARE(w.shown(), Content::eventText);
        QCOMPARE(w.selection().activeRow(RowKind::process)->place, w.procs().rowPlace(2));
        w.bar()->errorsButton()->click();
        TRY_COMPARE(w.shown(), Content::errors);
        savePicture(w.view, "main-errors.png");
        clickRow(w.procList(), 3);
        TRY_COMPARE(w.shown(), Content::eventText);
    }

    void fileColoursStandApart() {
        Window w;
        w.view.tabs()->setCurrentIndex(1);
        w.load(fileLog_, w.files(), 4);  // only file events: the rows still come
        QCOMPARE(w.files().text(0, FieldId::path), u"/tmp/a"_s);

        clickRow(w.fileList(), 0);  // WRITE, pid 20
        TRY_VERIFY(w.selection().activeRow(RowKind::file).has_value());
        // Unmarked file cells: white on a dark palette, the palette's text on a light one.
        const QColor fg(220, 220, 220);
        w.view.setPalette(QPalette(fg, QColor(60, 60, 64), QColor(90, 90, 96), QColor(20, 20, 22),
                                   QColor(40, 40, 44), fg, Qt::white, QColor(30, 30, 32),
                                   QColor(45, 45, 48)));
        const QString fileMarks = u"gggg ppgp tttt tttt"_s;  // pid 10: no parent rule
        QCOMPARE(marks(w.filePreview(), Qt::white), fileMarks);
        savePicture(w.view, "main-files-dark.png");
        const QColor plain(10, 10, 10);
        QPalette pal = w.fileList()->palette();
        pal.setColor(QPalette::Base, QColor(250, 250, 250));
        pal.setColor(QPalette::Text, plain);
        w.fileList()->setPalette(pal);
        QCOMPARE(marks(w.filePreview(), plain), fileMarks);
        TRY_VERIFY(cellShows(w.fileList(), 1, 0, kPink));

        // A process choice afterwards leaves the file colours as they are.
        w.load(procLog_, kProcRows);
        w.view.tabs()->setCurrentIndex(0);
        clickRow(w.procList(), 0);
        TRY_VERIFY(w.selection().activeRow(RowKind::process).has_value());
        QCOMPARE(marks(w.filePreview(), plain), fileMarks);
    }

    // Other events get a third tab once a log has one; it has its own chosen
    // row, coloured by the Files tab's rules, and counts what a filter shows.
    void otherEventsTab() {
        Window w(procLog_);
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
        QCOMPARE(others.text(0, fieldOf(Fact::summary)), u"signal 9"_s);
        QCOMPARE(others.text(1, FieldId::ppid), u"1"_s);

        w.view.tabs()->setCurrentIndex(2);
        EventPreview* preview = w.view.otherPanel()->preview();
        TRY_VERIFY(preview->list()->isVisible());
        clickRow(preview->list(), 0);
        TRY_VERIFY(w.selection().activeRow(RowKind::other).has_value());
        savePicture(w.view, "main-other-events.png");
        // Another pid: no parent rule.
        QCOMPARE(marks(preview, preview->list()->palette().color(QPalette::Text)),
                 u"gggggg ppgppp tttttt"_s);
        QVERIFY(!w.selection().activeRow(RowKind::file).has_value());

        w.view.filterBar()->setQuery(u"dyld"_s);
        TRY_COMPARE(w.view.tabs()->tabText(2), u"Other events (1 of 3)"_s);
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
                    const QString path = preview->rows().text(r, FieldId::path);
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
        savePicture(w.view, "main-empty.png");
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
        QVERIFY(list->cellRects(0).last().right() < list->viewport()->width());
        // A double click on that border fits Type to its widest text in view.
        QTest::mouseDClick(headers, Qt::LeftButton, {}, QPoint(headers->borderX(1), grip.y()));
        const QFontMetrics metrics(rowFont());
        int widest = 0;  // every row of the small logs is in view
        for (int row = 0; row < list->rows().rowCount(); ++row) {
            widest =
                std::max(widest, metrics.horizontalAdvance(list->rows().text(row, FieldId::type)));
        }
        QCOMPARE(list->cellRects(0)[1].width(), widest + 2);
        // One line a row, the columns stand closer, the titles over their
        // cells and the borders between them.
        const int wrappedPathLeft = list->cellRects(0).last().left();
        WrapChoice::instance().setWraps(false);
        const auto restore = qScopeGuard([] { WrapChoice::instance().setWraps(true); });
        TRY_VERIFY(list->cellRects(0).last().left() < wrappedPathLeft);
        QVERIFY(linedUp());
        const QList<QRect> titles = headers->textRects();
        for (int c = 0; c + 1 < titles.size(); ++c) {
            QVERIFY(headers->borderX(c) > titles[c].right() &&
                    headers->borderX(c) < titles[c + 1].left());
        }
    }

    void keyboard() {
        Window w;
        const QString many = dir_.filePath(u"many.json"_s);
        appendLines(many, 100, 180);
        w.load(many, 80);
        PreviewList* list = w.procList();
        w.activate();
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
            TRY_COMPARE(w.chosenPlace(), w.procs().rowPlace(step.row));
            QCOMPARE(w.procPreview()->selector().selected().value_or(LinePlace(SIZE_MAX)),
                     w.procs().rowPlace(step.row));
            QVERIFY(!list->rowRect(step.row).isEmpty());
        }

        // A click gives the list the keyboard, and the keys go on from the clicked row.
        w.bar()->legendButton()->setFocus();
        clickRow(list, 4);
        TRY_VERIFY(list->hasFocus());
        QTest::keyClick(list, Qt::Key_Down);
        TRY_COMPARE(w.selection().activeRow(RowKind::process)->place, w.procs().rowPlace(5));

        // Ctrl+Tab and Ctrl+Shift+Tab step through the tabs.
        QTest::keyClick(list, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.view.tabs()->currentIndex(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.view.tabs()->currentIndex(), 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab,
                        Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w.view.tabs()->currentIndex(), 1);
    }

    // The Follow toggle: its button and key, and what a followed log does to
    // the window: rows come, a list at its end stays there, one scrolled
    // elsewhere stays put, and a log cut short is told in the load strip and
    // releases the button.
    void followedLogsFeedTheLists() {
        const QString path = dir_.filePath(u"growing.json"_s);
        appendLines(path, 100, 300);
        ShownWindow w(900, 500);
        MainView& view = w.view;
        // The button and Ctrl+Shift+F switch following; so does the window's setter.
        w.activate();
        QPushButton* button = view.topBar()->followButton();
        QCOMPARE(button->text(), u"Follow"_s);
        for (bool on : {true, false}) {
            QTest::keyClick(&view, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
            TRY_COMPARE(button->isChecked(), on);
            QCOMPARE(view.workspace().loader.following(), on);
        }
        view.setFollowing(true);
        QVERIFY(button->isChecked() && view.workspace().loader.following());

        w.load(path, 200);
        RowSource& rows = w.procs();
        PreviewList* list = w.procList();
        TRY_VERIFY(list->isVisible() && list->rowsOnScreen() > 1);

        // Scrolled to its end: it follows the rows that come.
        list->scrollToRow(199);
        QVERIFY(list->atEnd());
        const int firstBefore = list->firstRow();
        appendLines(path, 300, 350);
        TRY_COMPARE(rows.rowCount(), 250);
        TRY_VERIFY(list->atEnd());
        QVERIFY(list->firstRow() > firstBefore);

        // Scrolled elsewhere: it stays where it is.
        list->scrollToRow(0);
        appendLines(path, 350, 400);
        TRY_COMPARE(rows.rowCount(), 300);
        QCOMPARE(list->firstRow(), 0);

        // Cut short: following stops, with a notice where loads tell theirs.
        std::filesystem::resize_file(path.toStdString(), 10);
        QLabel* notice = view.topBar()->loadProgress()->failureLabel();
        TRY_VERIFY(notice->isVisible());
        QCOMPARE(notice->text(), u"growing.json was truncated; following stopped at line 300"_s);
        QCOMPARE(rows.rowCount(), 300);
        // Nothing is followed any more: the button is no longer pressed.
        TRY_VERIFY(!button->isChecked());
        QVERIFY(!view.workspace().loader.following());
    }
};

QTEST_MAIN(MainViewTest)
#include "test_main_view.moc"
