// The main window's menu bar: its commands and their keys, that no key is
// claimed twice, that the keys reach the commands, and the two Help dialogs.

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QSignalSpy>
#include <QTabWidget>

#include "korvantis_version.h"
#include "ui/column_choice.h"
#include "ui/event_panel.h"
#include "ui/main_menu_bar.h"
#include "ui/shortcuts_dialog.h"
#include "ui/summary_window.h"
#include "ui/timeline_strip.h"
#include "ui_test_support.h"

using namespace korvantis::ui;

namespace {

constexpr int kTimeout = 20000;

QAction* actionNamed(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->text() == text) {
            return a;
        }
    }
    return nullptr;
}

QString labelText(QDialog* dialog) {
    QString text;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        text += label->text();
    }
    return text;
}

}  // namespace

class MainMenuBarTest : public QObject {
    Q_OBJECT

  private slots:
    void menusHoldTheirActionsAndKeys() {
        MainView view([](const TreeRequest&) {});
        MainMenuBar* bar = view.mainMenuBar();
        QVERIFY(bar);
        QCOMPARE(bar->fileMenu()->title(), QStringLiteral("File"));
        QCOMPARE(bar->viewMenu()->title(), QStringLiteral("View"));
        QCOMPARE(bar->helpMenu()->title(), QStringLiteral("Help"));
        const struct {
            QMenu* menu;
            const char* text;
            QKeySequence keys;
        } cases[] = {
            {bar->fileMenu(), "Import Json\u2026", QKeySequence(Qt::CTRL | Qt::Key_O)},
            {bar->fileMenu(), "Export\u2026", QKeySequence(Qt::CTRL | Qt::Key_E)},
            {bar->fileMenu(), "New Window", QKeySequence(Qt::CTRL | Qt::Key_N)},
            {bar->fileMenu(), "Close Window", QKeySequence(Qt::CTRL | Qt::Key_W)},
            {bar->fileMenu(), "Quit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
            {bar->viewMenu(), "Timeline", QKeySequence(Qt::CTRL | Qt::Key_T)},
            {bar->viewMenu(), "Summary", QKeySequence(Qt::CTRL | Qt::Key_I)},
            {bar->helpMenu(), "Keyboard Shortcuts", QKeySequence()},
            {bar->helpMenu(), "About Korvantis", QKeySequence()},
        };
        for (const auto& c : cases) {
            QAction* action = actionNamed(c.menu, QString::fromUtf8(c.text));
            QVERIFY2(action, c.text);
            QCOMPARE(action->shortcut(), c.keys);
        }
    }

    // View > Columns offers the columns of the list in front, and its
    // actions show and hide them there.
    void viewColumnsFollowTheListInFront() {
        MainView view([](const TreeRequest&) {});
        QMenu* columns = actionNamed(view.mainMenuBar()->viewMenu(), "Columns")->menu();
        QVERIFY(columns);
        for (EventPanel* panel : {view.processPanel(), view.filePanel()}) {
            view.tabs()->setCurrentWidget(panel);
            emit columns->aboutToShow();
            ColumnChoice& choice = panel->preview()->columnChoice();
            QCOMPARE(columns->actions().size(), static_cast<int>(choice.available().size()));
            QAction* args = actionNamed(columns, "Args");
            QVERIFY(args && !args->isChecked());
            args->trigger();
            QVERIFY(choice.isShown(choice.available()[columns->actions().indexOf(args)].key));
            args->trigger();
        }
    }

    // View > Time Display and the list header's menu offer the same four
    // choices, kept in step; View > Timeline (Ctrl+T) hides the strip, and a
    // new window remembers it.
    void viewTimeDisplayAndTimeline() {
        const QStringList displays = {"As recorded", "UTC", "Local time", "Since first event"};
        const auto texts = [](QMenu* menu) {
            QStringList out;
            for (QAction* a : menu->actions()) {
                if (!a->isSeparator()) {
                    out << a->text();
                }
            }
            return out;
        };
        {
            MainView view([](const TreeRequest&) {});
            view.show();
            QVERIFY(QTest::qWaitForWindowActive(&view));
            QMenu* timeMenu = actionNamed(view.mainMenuBar()->viewMenu(), "Time Display")->menu();
            QVERIFY(timeMenu);
            QCOMPARE(texts(timeMenu), displays);
            QMenu* header = view.processPanel()->preview()->columnsMenu();
            QCOMPARE(texts(header).mid(texts(header).size() - 4), displays);
            actionNamed(header, "UTC")->trigger();
            QVERIFY(actionNamed(timeMenu, "UTC")->isChecked());
            actionNamed(timeMenu, "As recorded")->trigger();
            QVERIFY(actionNamed(header, "As recorded")->isChecked());
            delete header;

            QAction* timeline = view.mainMenuBar()->timelineAction();
            QVERIFY(timeline->isChecked() && view.timeline()->isVisible());
            QTest::keyClick(&view, Qt::Key_T, Qt::ControlModifier);
            QVERIFY(!timeline->isChecked() && !view.timeline()->isVisible());
        }
        {
            MainView view([](const TreeRequest&) {});
            view.show();
            QVERIFY(QTest::qWaitForWindowActive(&view));
            QVERIFY(!view.mainMenuBar()->timelineAction()->isChecked());
            QVERIFY(!view.timeline()->isVisible());
            QTest::keyClick(&view, Qt::Key_T, Qt::ControlModifier);
            QVERIFY(view.timeline()->isVisible());
            // Ctrl+I: the summary window.
            QTest::keyClick(&view, Qt::Key_I, Qt::ControlModifier);
            QTRY_VERIFY_WITH_TIMEOUT(view.summaryWindow() && view.summaryWindow()->isVisible(),
                                     kTimeout);
        }
    }

    // A key held by two shortcuts of one window fires neither.
    void noKeyIsClaimedTwice() {
        MainView view([](const TreeRequest&) {});
        QStringList keys;
        for (QShortcut* s : view.findChildren<QShortcut*>()) {
            if (s->context() != Qt::WidgetShortcut) {
                keys << s->key().toString();
            }
        }
        for (QAction* a : view.mainMenuBar()->findChildren<QAction*>()) {
            if (!a->shortcut().isEmpty()) {
                keys << a->shortcut().toString();
            }
        }
        QVERIFY(keys.contains(QStringLiteral("Ctrl+O")));
        QVERIFY(keys.contains(QStringLiteral("Ctrl+L")));
        QStringList seen;
        for (const QString& k : keys) {
            QVERIFY2(!seen.contains(k), qPrintable(k));
            seen << k;
        }
    }

    void keysReachTheCommands() {
        MainView view([](const TreeRequest&) {});
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QSignalSpy newWindow(&view, &MainView::newWindowRequested);
        QTest::keyClick(&view, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(newWindow.count(), 1);

        // Ctrl+E: the export's save dialog.
        auto dialog = [&] { return view.findChild<QFileDialog*>(); };
        QTest::keyClick(&view, Qt::Key_E, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(dialog() != nullptr && dialog()->isVisible(), kTimeout);
        QCOMPARE(dialog()->acceptMode(), QFileDialog::AcceptSave);
        dialog()->reject();
        QTRY_VERIFY_WITH_TIMEOUT(dialog() == nullptr || !dialog()->isVisible(), kTimeout);

        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QTest::keyClick(&view, Qt::Key_W, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!view.isVisible(), kTimeout);
    }

    void aboutShowsTheVersionAndLicences() {
        MainView view([](const TreeRequest&) {});
        view.show();
        MainMenuBar* bar = view.mainMenuBar();
        bar->aboutAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(bar->aboutBox() && bar->aboutBox()->isVisible(), kTimeout);
        QCOMPARE(bar->aboutBox()->windowTitle(), QStringLiteral("About Korvantis"));
        const QString text = labelText(bar->aboutBox());
        QVERIFY2(text.contains(QStringLiteral("Korvantis " KORVANTIS_VERSION)), qPrintable(text));
        for (const char* part : {"MIT", "Qt 6", "simdjson", "D3", "Comic Relief", "zlib", "zstd"}) {
            QVERIFY2(text.contains(QLatin1String(part)), part);
        }
        // Asked again, the same box comes forward.
        QDialog* first = bar->aboutBox();
        bar->aboutAction()->trigger();
        QCOMPARE(bar->aboutBox(), first);
    }

    // Every key of the window's menus is in the Keyboard Shortcuts list.
    void shortcutsListEveryMenuKey() {
        MainView view([](const TreeRequest&) {});
        view.show();
        MainMenuBar* bar = view.mainMenuBar();
        bar->shortcutsAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(bar->shortcutsDialog() && bar->shortcutsDialog()->isVisible(),
                                 kTimeout);
        const QString text = labelText(bar->shortcutsDialog());
        for (QAction* a : bar->findChildren<QAction*>()) {
            if (!a->shortcut().isEmpty()) {
                const QString keys = a->shortcut().toString(QKeySequence::PortableText);
                QVERIFY2(text.contains(QStringLiteral("<b>%1</b>").arg(keys)), qPrintable(keys));
            }
        }
        for (const char* keys : {"Ctrl+L", "Ctrl+R", "Ctrl+F", "Esc"}) {
            QVERIFY2(text.contains(QLatin1String(keys)), keys);
        }
    }
};

QTEST_MAIN(MainMenuBarTest)
#include "test_main_menu_bar.moc"
