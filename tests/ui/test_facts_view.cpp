// The facts of eslogger rows in the window: columns chosen from the header's
// menu (and remembered) and added to the CSV export, the facts card above
// the readable JSON, the row actions for users, signers and command lines,
// and pictures of the eslogger sample.

#include "ui/window/export_action.h"
#include "ui_test_support.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;

namespace {

// An eslogger exec of `pid` by user `uid`, signed `signer`, running `args`.
QString esExec(qint64 pid, int uid, const QString& signer, const QString& args) {
    return QStringLiteral(
               R"({"time":"2026-01-05T09:12:0%1Z","process":{"audit_token":{"pid":1},"ppid":0},)"
               R"("event":{"exec":{"target":{"audit_token":{"pid":%1,"euid":%2,"pidversion":4},)"
               R"("ppid":1,"signing_id":"%3","executable":{"path":"\/bin\/tool"}},)"
               R"("args":[%4]}}})")
        .arg(pid)
        .arg(uid)
        .arg(signer, args);
}

struct Window : ShownWindow {
    EventPreview* procs() { return procPreview(); }
    QStringList headers() { return procs()->headers()->texts(); }
    // The columns menu's entries, and which are checked.
    QStringList menuEntries() {
        QMenu* menu = procs()->columnsMenu();
        QStringList out;
        // The columns, above the time display's choices.
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) {
                break;
            }
            out << (a->isChecked() ? "+" : "-") + a->text();
        }
        menu->close();
        return out;
    }
    // The bytes of the shown rows exported as CSV to `path`.
    QByteArray exportedCsv(const QString& path) {
        QSignalSpy done(view.filterBar()->exportAction(), &ExportAction::finished);
        view.filterBar()->exportAction()->exportTo(path, ExportFormat::csv);
        return done.wait(kTimeout) ? fileBytes(path) : QByteArray();
    }
    void toggle(const QString& title) {
        QMenu* menu = procs()->columnsMenu();
        actionNamed(menu, title)->trigger();
        menu->close();
    }
};

}  // namespace

class FactsViewTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QString log_;

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        log_ = writeLog(dir_, u"facts.json"_s,
                        {esExec(40, 501, "com.x.tool", "\"tool\",\"it's here\""),
                         esExec(41, 0, "com.y", "\"sudo\",\"-s\""),
                         procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 42, 1, "/bin/native")});
    }

    void columnsChosenAndRemembered() {
        const QStringList defaults = {"Time", "Type", "PID", "PPID", "Path"};
        {
            Window w;
            w.load(log_, 3);
            QCOMPARE(w.headers(), defaults);
            QCOMPARE(
                w.menuEntries(),
                (QStringList{"+Time", "+Type", "+PID", "+PPID", "-Args", "-CWD", "-User",
                             "-PID version", "-Responsible PID", "-Signing ID", "-Team ID", "-TTY",
                             "-Platform", "-Signing", "-Process", "-Outcome", "+Path"}));
            w.toggle("User");
            w.toggle("Args");
            w.toggle("PPID");
            QCOMPARE(w.headers(), (QStringList{"Time", "Type", "PID", "Args", "User", "Path"}));
            // Cells of the new columns show the facts, and how runs ended.
            QCOMPARE(w.procs()->rows().text(1, fieldOf(Fact::uid)), "0");
            QCOMPARE(w.procs()->rows().text(1, FieldId::outcome), "still running");
            QCOMPARE(w.procs()->rows().text(2, FieldId::outcome), "");
            // The CSV export: the six fields, then the shown facts in the list's order.
            QVERIFY(w.exportedCsv(dir_.filePath("rows.csv"))
                        .startsWith("kind,type,timestamp,pid,ppid,path,args,uid\n"
                                    "process,ES_EVENT_TYPE_NOTIFY_EXEC,"));
            // The Outcome column is exported too, where it stands.
            w.toggle("Outcome");
            const QList<QByteArray> records =
                w.exportedCsv(dir_.filePath("outcome.csv")).split('\n');
            QCOMPARE(records.value(0), "kind,type,timestamp,pid,ppid,path,args,uid,outcome");
            QVERIFY2(records.value(1).endsWith(",still running"), records.value(1).constData());
            w.toggle("Outcome");
            // A new column is as wide as its title; dragged widths stay.
            const QFontMetrics metrics(headerFont());
            QVERIFY(w.procs()->columns().width(4, 0) >= metrics.horizontalAdvance("User"));
            QVERIFY(w.procs()->columns().width(4, 0) < metrics.horizontalAdvance("User") + 20);
            w.procs()->columns().setWidth(3, 333);
            w.toggle("Signing ID");
            QCOMPARE(w.procs()->columns().width(3, 0), 333);
            w.toggle("Signing ID");
        }
        // Another window, as after a restart, shows the same columns, as wide.
        Window again;
        QCOMPARE(again.headers(), (QStringList{"Time", "Type", "PID", "Args", "User", "Path"}));
        QCOMPARE(again.procs()->columns().width(3, 0), 333);
        // The file list keeps its own choice.
        QCOMPARE(again.filePreview()->headers()->texts(),
                 (QStringList{"Time", "Type", "PID", "Path"}));
        // Default columns come back; the last shown column cannot go.
        again.toggle("PPID");
        for (const char* title : {"Time", "Type", "PID", "PPID", "Args", "User"}) {
            again.toggle(title);
        }
        QCOMPARE(again.headers(), QStringList{"Path"});
        again.toggle("Path");
        QCOMPARE(again.headers(), QStringList{"Path"});
        for (const char* title : {"Time", "Type", "PID", "PPID"}) {
            again.toggle(title);
        }
        QCOMPARE(again.headers(), defaults);
    }

    void cardAboveTheJson() {
        Window w;
        w.load(log_, 3);
        EventTextView* text = w.view.processPanel()->detail()->eventTextView();
        FactsCardView* card = text->card();
        clickRow(w.procs()->list(), 0);
        TRY_VERIFY(card->isVisible());
        QCOMPARE(card->text()->originalText(),
                 QString::fromStdString(w.view.workspace().selection.activeEventCard()));
        QVERIFY(card->y() < text->text()->y());
        // Copy takes the readable JSON only.
        text->copyButton()->click();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QString::fromStdString(w.view.workspace().selection.activeEventJson()));
        // The viewer's own records show no card.
        clickRow(w.procs()->list(), 2);
        TRY_VERIFY(!card->isVisible());
    }

    void rowActionsAndKeys() {
        Window w;
        w.load(log_, 3);
        QLineEdit* field = w.view.filterBar()->field();
        // 0: user and signer, with the whole command line to copy.
        RowMenu* menu = w.procs()->menuForRow(0);
        QVERIFY(menu->onlyUserAction() && menu->onlySignerAction());
        QCOMPARE(menu->onlyUserAction()->text(), "Only this user");
        QCOMPARE(menu->onlySignerAction()->text(), "Only this signer");
        menu->copyCommandLineAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), "tool 'it'\\''s here'");
        menu->onlyUserAction()->trigger();
        QCOMPARE(field->text(), "uid:501");
        TRY_COMPARE(w.procs()->rows().rowCount(), 1);
        menu->close();
        field->setText("-path:x uid:0");
        TRY_COMPARE(w.procs()->rows().text(0, FieldId::pid), QString("41"));
        menu = w.procs()->menuForRow(0);
        menu->onlySignerAction()->trigger();
        QCOMPARE(field->text(), "-path:x uid:0 signing_id:\"com.y\"");
        TRY_COMPARE(w.procs()->rows().rowCount(), 1);
        menu->close();
        // The native row has none of them.
        field->clear();
        TRY_COMPARE(w.procs()->rows().rowCount(), 3);
        menu = w.procs()->menuForRow(2);
        QVERIFY(!menu->onlyUserAction() && !menu->onlySignerAction() &&
                !menu->copyCommandLineAction());
        menu->close();
    }

    // The eslogger sample at a laptop's size, pictured for a person to look
    // at: a chosen event, then the facts as columns and as a chosen exec's card.
    void samplePictures() {
        Window w;
        w.view.resize(1400, 860);
        w.load(QStringLiteral(KORVANTIS_SAMPLES_DIR "/eslogger.json"), 7);
        const auto choose = [&](int row, const std::function<bool()>& chosen) {
            clickRow(w.procs()->list(), row);
            TRY_VERIFY(chosen() && !w.selection().detailPending());
        };
        choose(1, [&] { return w.selection().activeRow(RowKind::process).has_value(); });
        savePicture(w.view, "main-eslogger.png");
        w.procs()->columnChoice().setShown(fieldOf(Fact::args), true);
        w.procs()->columnChoice().setShown(fieldOf(Fact::uid), true);
        choose(3, [&] { return w.procDetail()->eventTextView()->card()->isVisible(); });
        savePicture(w.view, "main-facts.png");
    }
};

QTEST_MAIN(FactsViewTest)
#include "test_facts_view.moc"
