// The main window's menu bar: its commands and their keys, that no key is
// claimed twice, that the keys reach the commands, and the two Help dialogs.

#include <QAction>
#include <QFileDialog>
#include <QShortcut>

#include "korvantis_version.h"
#include "ui/list/column_choice.h"
#include "ui/look/view_texts.h"
#include "ui/look/viewer_settings.h"
#include "ui/panel/event_panel.h"
#include "ui/window/main_menu_bar.h"
#include "ui/window/shortcuts_dialog.h"
#include "ui_test_support.h"

using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;

namespace {

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
        auto* bar = new MainMenuBar(view);
        QCOMPARE(bar->fileMenu()->title(), u"File"_s);
        QCOMPARE(bar->viewMenu()->title(), u"View"_s);
        QCOMPARE(bar->helpMenu()->title(), u"Help"_s);
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
        // A key held by two shortcuts of one window fires neither.
        QStringList keys;
        for (QShortcut* s : view.findChildren<QShortcut*>()) {
            if (s->context() != Qt::WidgetShortcut) {
                keys << s->key().toString();
            }
        }
        for (QAction* a : bar->findChildren<QAction*>()) {
            if (!a->shortcut().isEmpty()) {
                keys << a->shortcut().toString();
            }
        }
        QVERIFY(keys.contains(u"Ctrl+O"_s));
        QVERIFY(keys.contains(u"Ctrl+L"_s));
        const QString all = keys.join(u' ');
        QVERIFY2(keys.removeDuplicates() == 0, qPrintable(all));
    }

    // View > Columns offers the columns of the list in front, and its
    // actions show and hide them there.
    void viewColumnsFollowTheListInFront() {
        MainView view([](const TreeRequest&) {});
        QMenu* columns = actionNamed((new MainMenuBar(view))->viewMenu(), "Columns")->menu();
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
            ShownWindow w;
            w.activate();
            QMenu* timeMenu = actionNamed(w.menus->viewMenu(), "Time Display")->menu();
            QVERIFY(timeMenu);
            QCOMPARE(texts(timeMenu), displays);
            QMenu* header = w.view.processPanel()->preview()->columnsMenu();
            QCOMPARE(texts(header).mid(texts(header).size() - 4), displays);
            actionNamed(header, "UTC")->trigger();
            QVERIFY(actionNamed(timeMenu, "UTC")->isChecked());
            actionNamed(timeMenu, "As recorded")->trigger();
            QVERIFY(actionNamed(header, "As recorded")->isChecked());
            delete header;

            QAction* timeline = w.menus->timelineAction();
            QVERIFY(timeline->isChecked() && w.view.timeline()->isVisible());
            QTest::keyClick(&w.view, Qt::Key_T, Qt::ControlModifier);
            QVERIFY(!timeline->isChecked() && !w.view.timeline()->isVisible());
        }
        {
            ShownWindow w;
            w.activate();
            QVERIFY(!w.menus->timelineAction()->isChecked());
            QVERIFY(!w.view.timeline()->isVisible());
            QTest::keyClick(&w.view, Qt::Key_T, Qt::ControlModifier);
            QVERIFY(w.view.timeline()->isVisible());
            // Ctrl+I: the summary window.
            QTest::keyClick(&w.view, Qt::Key_I, Qt::ControlModifier);
            TRY_VERIFY(w.view.summaryWindow() && w.view.summaryWindow()->isVisible());
        }
    }

    void keysReachTheCommands() {
        ShownWindow w;
        w.activate();
        // Ctrl+E: the export's save dialog.
        auto dialog = [&] { return w.view.findChild<QFileDialog*>(); };
        QTest::keyClick(&w.view, Qt::Key_E, Qt::ControlModifier);
        TRY_VERIFY(dialog() != nullptr && dialog()->isVisible());
        QCOMPARE(dialog()->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog()->selectedNameFilter(), exportJsonLinesFilter());
        // The format chosen is offered again next time.
        QTemporaryDir dir;
        dialog()->selectNameFilter(exportCsvFilter());
        dialog()->selectFile(dir.filePath(u"rows"_s));
        static_cast<QDialog*>(dialog())->accept();
        TRY_VERIFY(dialog() == nullptr);
        w.activate();
        QTest::keyClick(&w.view, Qt::Key_E, Qt::ControlModifier);
        TRY_VERIFY(dialog() != nullptr && dialog()->isVisible());
        QCOMPARE(dialog()->selectedNameFilter(), exportCsvFilter());
        dialog()->reject();
        TRY_VERIFY(dialog() == nullptr || !dialog()->isVisible());

        w.activate();
        QTest::keyClick(&w.view, Qt::Key_W, Qt::ControlModifier);
        TRY_VERIFY(!w.view.isVisible());
    }

    void helpDialogs() {
        ShownWindow w;
        MainMenuBar* bar = w.menus;
        bar->aboutAction()->trigger();
        TRY_VERIFY(bar->aboutBox() && bar->aboutBox()->isVisible());
        QCOMPARE(bar->aboutBox()->windowTitle(), u"About Korvantis"_s);
        const QString text = labelText(bar->aboutBox());
        QVERIFY2(text.contains(QStringLiteral("Korvantis " KORVANTIS_VERSION)), qPrintable(text));
        for (const char* part : {"MIT", "Qt 6", "simdjson", "D3", "Comic Relief", "zlib", "zstd"}) {
            QVERIFY2(text.contains(QLatin1String(part)), part);
        }
        // Asked again, the same box comes forward.
        QDialog* first = bar->aboutBox();
        bar->aboutAction()->trigger();
        QCOMPARE(bar->aboutBox(), first);

        // Every key of the window's menus is in the Keyboard Shortcuts list.
        bar->shortcutsAction()->trigger();
        TRY_VERIFY(bar->shortcutsDialog() && bar->shortcutsDialog()->isVisible());
        const QString keys = labelText(bar->shortcutsDialog());
        for (QAction* a : bar->findChildren<QAction*>()) {
            if (!a->shortcut().isEmpty()) {
                const QString shortcut = a->shortcut().toString(QKeySequence::PortableText);
                QVERIFY2(keys.contains(u"<b>%1</b>"_s.arg(shortcut)), qPrintable(shortcut));
            }
        }
        for (const char* key : {"Ctrl+L", "Ctrl+R", "Ctrl+F", "Esc"}) {
            QVERIFY2(keys.contains(QLatin1String(key)), key);
        }
    }

    // Settings an earlier version wrote to a second file come over once;
    // what the one file has already stays.
    void straySettingsTakenOverOnce() {
        QSettings stray(u"Unknown Organization"_s, u"Korvantis"_s);
        stray.setValue(u"view/strayOnly"_s, u"utc"_s);
        stray.setValue(u"view/both"_s, u"stray"_s);
        stray.sync();
        viewerSettings().setValue(u"view/both"_s, u"kept"_s);
        takeOverStraySettings();
        QCOMPARE(viewerSettings().value(u"view/strayOnly"_s).toString(), u"utc"_s);
        QCOMPARE(viewerSettings().value(u"view/both"_s).toString(), u"kept"_s);
        stray.setValue(u"view/later"_s, 1);
        stray.sync();
        takeOverStraySettings();
        QVERIFY(!viewerSettings().contains(u"view/later"_s));
    }
};

QTEST_MAIN(MainMenuBarTest)
#include "test_main_menu_bar.moc"
