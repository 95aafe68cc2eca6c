// The main window's menu bar: its commands and their keys, that no key is
// claimed twice, that the keys reach the commands, and the two Help dialogs.

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QShortcut>

#include "korvantis_version.h"
#include "ui/list/column_choice.h"
#include "ui/look/view_texts.h"
#include "ui/look/viewer_settings.h"
#include "ui/look/window_keys.h"
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
        using C = WindowCommand;
        const struct {
            QMenu* menu;
            const char* text;
            WindowCommand command;
        } cases[] = {
            {bar->fileMenu(), "Import Json\u2026", C::importJson},
            {bar->fileMenu(), "Export\u2026", C::exportRows},
            {bar->fileMenu(), "New Window", C::newWindow},
            {bar->fileMenu(), "Close Window", C::closeWindow},
            {bar->fileMenu(), "Quit", C::quit},
            {bar->viewMenu(), "Follow", C::follow},
            {bar->viewMenu(), "Timeline", C::timeline},
            {bar->viewMenu(), "Summary", C::summary},
            {bar->helpMenu(), "Keyboard Shortcuts", C::none},
            {bar->helpMenu(), "About Korvantis", C::none},
        };
        for (const auto& c : cases) {
            QAction* action = actionNamed(c.menu, QString::fromUtf8(c.text));
            QVERIFY2(action, c.text);
            QCOMPARE(action->shortcut(), keysOf(c.command));
        }
        // Every key the window holds is in the key table, and a key held by
        // two shortcuts of one window would fire neither.
        QStringList keys;
        for (QShortcut* s : view.findChildren<QShortcut*>()) {
            if (s->context() != Qt::WidgetShortcut) {
                keys << s->key().toString();
            }
        }
        for (QAction* a : view.findChildren<QAction*>()) {
            if (!a->shortcut().isEmpty() && a->shortcutContext() != Qt::WidgetShortcut) {
                keys << a->shortcut().toString();
            }
        }
        QStringList tabled;
        for (const WindowKey& k : windowKeys()) {
            if (k.command != C::none) {
                tabled << QKeySequence(k.keys).toString();
            }
        }
        const QString all = keys.join(u' ');
        QVERIFY2(keys.removeDuplicates() == 0, qPrintable(all));
        keys.sort();
        tabled.sort();
        QCOMPARE(keys, tabled);
    }

    // The README's key list is a copy of the window's key table, line for line.
    void readmeListsTheWindowKeys() {
        QFile readme(QStringLiteral(KORVANTIS_README));
        QVERIFY(readme.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(readme.readAll()).split(u'\n');
        const qsizetype header = lines.indexOf(u"| Keys | What they do |"_s);
        QVERIFY(header >= 0);
        QStringList listed;
        for (qsizetype i = header + 2; i < lines.size() && lines[i].startsWith(u'|'); ++i) {
            listed << lines[i];
        }
        QStringList expected;
        for (const KeyListLine& line : keyListLines()) {
            expected << u"| %1 | %2 |"_s.arg(line.keys, QString::fromUtf8(line.what));
        }
        QCOMPARE(listed, expected);
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

        // The Keyboard Shortcuts dialog shows every line of the key table.
        bar->shortcutsAction()->trigger();
        TRY_VERIFY(bar->shortcutsDialog() && bar->shortcutsDialog()->isVisible());
        const QString keys = labelText(bar->shortcutsDialog());
        for (const KeyListLine& line : keyListLines()) {
            QVERIFY2(keys.contains(u"<b>%1</b>"_s.arg(line.keys)), qPrintable(line.keys));
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
