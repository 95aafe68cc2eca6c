// File > Send to ClickHouse… and File > Open from ClickHouse… against a local
// server (see clickhouse_dialogs.sh): a window's log sent and opened back,
// by the dialog and by a clickhouse+http:// address, gives the rows it had;
// failures are told in the dialogs, and Cancel ends a request that hangs.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProgressBar>

#include "store/row_fields.h"
#include "ui/look/clickhouse_texts.h"
#include "ui/window/clickhouse_connection.h"
#include "ui/window/clickhouse_open_dialog.h"
#include "ui/window/clickhouse_opening.h"
#include "ui/window/clickhouse_send_dialog.h"
#include "ui/window/main_menu_bar.h"
#include "ui/window/save_received_log.h"
#include "ui_test_support.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;

namespace {

QString serverUrl() {
    return qEnvironmentVariable("KORVANTIS_TEST_CLICKHOUSE_URL");
}

const QString kTable = u"dialog_events"_s;
const QString kHost = u"mac-ui"_s;

// The dialog File > `text` opens in `window`.
template <typename Dialog>
Dialog* openDialog(ShownWindow& window, const QString& text) {
    QAction* action = actionNamed(window.view.mainMenuBar()->fileMenu(), text);
    if (action == nullptr) {
        return nullptr;
    }
    action->trigger();
    return window.view.findChild<Dialog*>(QString(), Qt::FindDirectChildrenOnly);
}

void fillConnection(ClickHouseConnectionFields& fields, const QString& server,
                    const QString& table = kTable) {
    fields.server()->setText(server);
    fields.table()->setText(table);
    fields.user()->clear();
    fields.password()->clear();
}

// Every row of every kind of `got` has the fields the row of `want` has
// there, each as a CSV record writes it.
void compareRows(const EventStore& got, const EventStore& want) {
    std::string gotScratch;
    std::string wantScratch;
    for (RowKind kind : kRowKinds) {
        QCOMPARE(got.rows(kind).size(), want.rows(kind).size());
        for (std::size_t i = 0; i < want.rows(kind).size(); ++i) {
            for (const RowField& field : rowFields()) {
                const std::string_view a = fieldText(field.id, got.row(kind, i), gotScratch);
                const std::string_view b = fieldText(field.id, want.row(kind, i), wantScratch);
                QVERIFY2(a == b,
                         qPrintable(u"%1 row %2: %3"_s.arg(kRowKindNames[indexOf(kind)].data(),
                                                           QString::number(i), field.name.data())));
            }
        }
    }
}

}  // namespace

class ClickHouseDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        if (serverUrl().isEmpty()) {
            QSKIP("clickhouse-server is not installed: scripts/deps.sh installs it");
        }
    }

    void sentLogOpensBackAsItWas() {
        ShownWindow local;
        local.load(QStringLiteral(KORVANTIS_SAMPLES_DIR "/eslogger.json"), local.procs(), 0);
        TRY_VERIFY(!local.workspace().loader.progress().running &&
                   local.workspace().store.rows(RowKind::process).size() > 0);
        const auto lines = qulonglong(local.workspace().store.lineRefs().size());

        auto* send = openDialog<ClickHouseSendDialog>(local, sendToClickHouseMenuText());
        QVERIFY(send);
        fillConnection(send->connection(), serverUrl());
        send->hostField()->setText(kHost);
        QSignalSpy sent(send, &ClickHouseSendDialog::sendFinished);
        QTest::mouseClick(send->sendButton(), Qt::LeftButton);
        QVERIFY(send->sending());
        TRY_COMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).toString(), QString());
        QCOMPARE(send->statusLabel()->text(), sentText(lines, 1));
        QCOMPARE(send->progressBar()->value(), send->progressBar()->maximum());
        QVERIFY(!send->sending());

        // Opened back by the dialog, after it has told the count, and by an
        // address, as the command line gives one.
        for (const bool byDialog : {true, false}) {
            ShownWindow opened;
            if (byDialog) {
                auto* dialog =
                    openDialog<ClickHouseOpenDialog>(opened, openFromClickHouseMenuText());
                QVERIFY(dialog);
                fillConnection(dialog->connection(), serverUrl());
                dialog->whereField()->setText(u"host = '%1'"_s.arg(kHost));
                QTest::mouseClick(dialog->actionButton(), Qt::LeftButton);
                TRY_COMPARE(dialog->actionButton()->text(), openRowsButtonText(lines));
                QCOMPARE(dialog->statusLabel()->text(), rowsMatchText(lines));
                QTest::mouseClick(dialog->actionButton(), Qt::LeftButton);
            } else {
                // The condition percent-encoded, as a shell or a browser
                // hands it over.
                const QString address = u"clickhouse+"_s + serverUrl() + u"?table="_s + kTable +
                                        u"&where=host%20%3D%20'"_s + kHost + u"'"_s;
                QCOMPARE(ClickHouseOpening::startAt(opened.view, address.toStdString()),
                         std::string());
            }
            auto* opening = opened.view.findChild<ClickHouseOpening*>();
            QVERIFY(opening);
            QSignalSpy done(opening, &ClickHouseOpening::finished);
            TRY_COMPARE(done.count(), 1);
            QCOMPARE(done.at(0).at(0).toString(), QString());
            const Workspace& got = opened.workspace();
            TRY_VERIFY(!got.loader.progress().running &&
                       got.store.lineRefs().size() == std::size_t(lines));
            compareRows(got.store, local.workspace().store);
            QCOMPARE(got.store.logFiles().size(), 1u);
            QVERIFY(QString::fromStdString(got.store.logFiles().path(0))
                        .endsWith(u"/mac-ui: eslogger.json (ClickHouse)"_s));
            QVERIFY(hasReceivedLog(got));
        }
    }

    void failuresAreToldInTheDialogs() {
        ShownWindow local;
        local.load(QStringLiteral(KORVANTIS_SAMPLES_DIR "/sample.json"), local.procs(), 0);
        TRY_VERIFY(!local.workspace().loader.progress().running &&
                   local.workspace().store.lineRefs().size() > 0);
        const QString refused = u"http://127.0.0.1:1/"_s;  // nothing listens there
        const struct {
            const char* what;
            QString server;
            QString table;
            QString user;
            QString password;
            QString says;  // the status holds it
        } sends[] = {
            {"refused", refused, kTable, {}, {}, u"connect"_s},
            {"wrong password", serverUrl(), kTable, u"investigator"_s, u"wrong"_s, u"password"_s},
            {"bad table", serverUrl(), u"x;DROP TABLE y"_s, {}, {}, clickHouseFieldsNeededText()},
        };
        auto* send = openDialog<ClickHouseSendDialog>(local, sendToClickHouseMenuText());
        QVERIFY(send);
        for (const auto& c : sends) {
            fillConnection(send->connection(), c.server, c.table);
            send->connection().user()->setText(c.user);
            send->connection().password()->setText(c.password);
            QSignalSpy sent(send, &ClickHouseSendDialog::sendFinished);
            QTest::mouseClick(send->sendButton(), Qt::LeftButton);
            if (send->sending()) {
                TRY_COMPARE(sent.count(), 1);
                QVERIFY2(!sent.at(0).at(0).toString().isEmpty(), c.what);
            }
            const QString status = send->statusLabel()->text();
            QVERIFY2(status.startsWith(sendFailedText({})), qPrintable(status));
            QVERIFY2(status.contains(c.says, Qt::CaseInsensitive), qPrintable(status));
        }

        // A server that takes the connection and never answers: Cancel ends
        // the request on its way.
        {
            const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof address;
            QVERIFY(::bind(silent, reinterpret_cast<sockaddr*>(&address), length) == 0);
            QVERIFY(::listen(silent, 4) == 0);
            QVERIFY(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length) == 0);
            fillConnection(send->connection(),
                           u"http://127.0.0.1:%1/"_s.arg(ntohs(address.sin_port)));
            QSignalSpy sent(send, &ClickHouseSendDialog::sendFinished);
            QTest::mouseClick(send->sendButton(), Qt::LeftButton);
            QVERIFY(send->sending());
            QTest::mouseClick(send->cancelButton(), Qt::LeftButton);
            TRY_COMPARE(sent.count(), 1);
            ::close(silent);
            QCOMPARE(sent.at(0).at(0).toString(), cancelledText());
            QCOMPARE(send->statusLabel()->text(), cancelledText());
            QVERIFY(send->isVisible());  // a cancel of a send keeps the dialog
        }

        const struct {
            const char* what;
            QString server;
            QString where;
            QString says;
        } opens[] = {
            {"refused", refused, u"1"_s, u"connect"_s},
            {"bad condition", serverUrl(), u"no_such_column = 1"_s, u"no_such_column"_s},
            {"no condition", serverUrl(), u" "_s, clickHouseFieldsNeededText()},
        };
        auto* open = openDialog<ClickHouseOpenDialog>(local, openFromClickHouseMenuText());
        QVERIFY(open);
        for (const auto& c : opens) {
            fillConnection(open->connection(), c.server);
            open->whereField()->setText(c.where);
            QTest::mouseClick(open->actionButton(), Qt::LeftButton);
            TRY_VERIFY(open->actionButton()->isEnabled());
            const QString status = open->statusLabel()->text();
            QVERIFY2(status.startsWith(openFailedText({})), qPrintable(status));
            QVERIFY2(status.contains(c.says, Qt::CaseInsensitive), qPrintable(status));
            QCOMPARE(open->actionButton()->text(), countButtonText());
        }
        // An address without a table or a condition opens nothing.
        for (const char* address :
             {"clickhouse+http://127.0.0.1:1/?where=1", "clickhouse+http://127.0.0.1:1/?table=t",
              "clickhouse+ftp://127.0.0.1:1/?table=t&where=1"}) {
            QVERIFY2(!ClickHouseOpening::startAt(local.view, address).empty(), address);
        }
        QVERIFY(!local.view.findChild<ClickHouseOpening*>());
    }
};

QTEST_MAIN(ClickHouseDialogsTest)
#include "test_clickhouse_dialogs.moc"
