// The tree window's web view in a real web engine page: page loading, the
// hand-over of the tree JSON, failure alerts, and the tree page itself.

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWheelEvent>

#include "tree/web_view.h"
#include "tree/web_view_coordinator.h"
#include "tree/web_view_data.h"
#include "web_test_support.h"

using korvantis::WebView;
using korvantis::WebViewCoordinator;
using korvantis::WebViewData;
using korvantis::test::evalJs;
using korvantis::test::waitForJs;

namespace {

// A tree whose names try every way out of a script string or into markup.
// The JSON is written the way the program's encoder writes it ("\/" for a
// slash, non-ASCII as itself).
const QString kHostileTree =
    QString::fromUtf8(R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},)"
                      R"({"name":"it's"},)"
                      R"({"name":"say \"hi\""},)"
                      R"({"name":"back\\slash\\"},)"
                      R"({"name":"<\/script><script>window.__pwned=1<\/script>"},)"
                      R"({"name":"<img src=x onerror=\"window.__pwned=2\">"},)"
                      "{\"name\":\"line\u2028separator\u2029\"},"
                      R"({"name":"new\nline\ttab"},)"
                      "{\"name\":\"\u00dcn\u00efcode \u2713 \U0001F600\"},"
                      R"({"name":"\/"},)"
                      R"({"name":"');window.__pwned=3;('"}]}])");

const QStringList kHostileNames = {
    QStringLiteral("Untracked Heritage"),
    QStringLiteral("it's"),
    QStringLiteral("say \"hi\""),
    QStringLiteral("back\\slash\\"),
    QStringLiteral("</script><script>window.__pwned=1</script>"),
    QStringLiteral("<img src=x onerror=\"window.__pwned=2\">"),
    QString::fromUtf8("line\u2028separator\u2029"),
    QStringLiteral("new\nline\ttab"),
    QString::fromUtf8("\u00dcn\u00efcode \u2713 \U0001F600"),
    QStringLiteral("/"),
    QStringLiteral("');window.__pwned=3;('"),
};

// A view on screen with its page loaded and initialLoad called.
struct Shown {
    explicit Shown(WebViewData* data) : view(data) {
        view.resize(800, 600);
        view.show();
    }
    QWebEnginePage* page() { return view.webView()->page(); }
    bool waitForTree() {
        return waitForJs(page(), "window.__korvantis && __korvantis.calls === 1");
    }
    WebView view;
};

// Serves one fixed HTTP answer to every connection.
class FixedHttpServer : public QObject {
  public:
    explicit FixedHttpServer(QByteArray answer) : answer_(std::move(answer)) {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    socket->write(answer_);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/page").arg(server_.serverPort()));
    }

  private:
    QTcpServer server_;
    QByteArray answer_;
};

struct Alert {
    QString title;
    QString text;
    bool loadingWhileShown;
};

// How many lines of `printed` are exactly "title: text". (The test log
// shares standard output.)
int linesPrinted(const QByteArray& printed, const Alert& alert) {
    const QByteArray line = (alert.title + QStringLiteral(": ") + alert.text).toUtf8();
    return static_cast<int>(printed.split('\n').count(line));
}

// A local port where nothing listens.
QUrl refusingUrl() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port));
}

}  // namespace

class WebViewTest : public QObject {
    Q_OBJECT

  private slots:
    void escapesTheScriptArgument();
    void dataAnnouncesOnlyChanges();
    void loadsThePageOncePerUrl();
    void handsOverTheTreeExactlyAndRunsNothing();
    void handsOverAgainAfterThePageReloads();
    void emptyUrlLoadsNothing();
    void unreachablePageShowsOneLoadingError();
    void missingFileShowsOneLoadingError();
    void errorStatusShowsOneNavigationError();
    void pageOpensClosesAndPagesChildren();
    void mouseOpensNodesAndZooms();
    void pageExplainsWhatItCannotDraw();
    void pageDrawsAVeryDeepChain();

  private:
    QList<Alert> failAndCollectAlerts(const QUrl& url, QByteArray* printed);
};

void WebViewTest::escapesTheScriptArgument() {
    const QString text = QString::fromUtf8("a'b\"c\\d</e>\n\u2028\u00e9\U0001F600 ~");
    QCOMPARE(WebViewCoordinator::escapedForScriptString(text),
             QStringLiteral("a\\u0027b\\u0022c\\u005cd\\u003c\\u002fe\\u003e\\u000a\\u2028"
                            "\\u00e9\\ud83d\\ude00 ~"));
    QCOMPARE(WebViewCoordinator::initialLoadScript(QStringLiteral("[1]")),
             QStringLiteral("initialLoad('[1]')"));
    QCOMPARE(WebViewCoordinator::initialLoadScript(QString()), QStringLiteral("initialLoad('')"));
}

void WebViewTest::dataAnnouncesOnlyChanges() {
    WebViewData data;
    QCOMPARE(data.url(), QUrl(QStringLiteral("qrc:/tree.html")));
    QVERIFY(QFile::exists(QStringLiteral(":/vendor/d3/d3.min.js")));
    QVERIFY(!data.loading());
    QVERIFY(data.d3Json().isEmpty());

    QSignalSpy urls(&data, &WebViewData::urlChanged);
    QSignalSpy trees(&data, &WebViewData::d3JsonChanged);
    QSignalSpy loadings(&data, &WebViewData::loadingChanged);
    data.setUrl(data.url());
    data.setD3Json(QString());
    data.setLoading(false);
    QCOMPARE(urls.count() + trees.count() + loadings.count(), 0);
    data.setUrl(QUrl());
    data.setD3Json(QStringLiteral("[]"));
    data.setLoading(true);
    QCOMPARE(urls.count(), 1);
    QCOMPARE(trees.count(), 1);
    QCOMPARE(loadings.count(), 1);
}

void WebViewTest::loadsThePageOncePerUrl() {
    WebViewData data;
    QList<bool> loadingSeen;
    connect(&data, &WebViewData::loadingChanged, this, [&] { loadingSeen.append(data.loading()); });
    Shown shown(&data);
    QSignalSpy started(shown.page(), &QWebEnginePage::loadStarted);
    QVERIFY(shown.waitForTree());
    // A window opened before any load hands the page the empty string.
    QCOMPARE(evalJs(shown.page(), "__korvantis.received === ''").toBool(), true);
    QVERIFY(!evalJs(shown.page(), "__korvantis.message").toString().isEmpty());
    QTRY_COMPARE(loadingSeen, (QList<bool>{true, false}));

    // However often the view updates, nothing is loaded again.
    for (int i = 0; i < 20; ++i) {
        shown.view.updateView();
        data.setD3Json(QString::number(i));
        data.setUrl(data.url());
        QCoreApplication::processEvents();
    }
    QTest::qWait(1000);
    QCOMPARE(started.count(), 1);
    QCOMPARE(shown.view.coordinator()->loadedUrl(), data.url());
    QCOMPARE(evalJs(shown.page(), "__korvantis.calls").toInt(), 1);
    QCOMPARE(evalJs(shown.page(), "__korvantis.received").toString(), QString());
    QVERIFY(!data.loading());
}

void WebViewTest::handsOverTheTreeExactlyAndRunsNothing() {
    WebViewData data;
    data.setD3Json(kHostileTree);
    Shown shown(&data);
    QVERIFY(shown.waitForTree());
    QCOMPARE(evalJs(shown.page(), "__korvantis.received").toString(), kHostileTree);
    QCOMPARE(evalJs(shown.page(), "__korvantis.message").toString(), QString());
    QCOMPARE(evalJs(shown.page(), "__korvantis.drawn").toInt(), 1 + kHostileNames.size());

    // Every name is drawn as the very text it is; no markup was made of it.
    const QStringList drawn =
        evalJs(shown.page(),
               "Array.from(document.querySelectorAll('.node title'), t => t.textContent)")
            .toStringList();
    QCOMPARE(drawn, QStringList{QStringLiteral("launchd")} + kHostileNames);
    QCOMPARE(
        evalJs(shown.page(), "document.querySelectorAll('img, script:not([src])').length").toInt(),
        0);
    QTest::qWait(500);
    QCOMPARE(evalJs(shown.page(), "typeof window.__pwned").toString(), QStringLiteral("undefined"));
}

void WebViewTest::handsOverAgainAfterThePageReloads() {
    const QString first = QStringLiteral(R"([{"name":"launchd","children":[{"name":"a"}]}])");
    const QString second = QStringLiteral(R"([{"name":"launchd","children":[{"name":"b"}]}])");
    WebViewData data;
    data.setD3Json(first);
    Shown shown(&data);
    QSignalSpy started(shown.page(), &QWebEnginePage::loadStarted);
    QVERIFY(shown.waitForTree());
    QCOMPARE(evalJs(shown.page(), "__korvantis.received").toString(), first);

    // A tree arriving after the page has loaded waits for the next navigation.
    data.setD3Json(second);
    QTest::qWait(500);
    QCOMPARE(evalJs(shown.page(), "__korvantis.received").toString(), first);

    evalJs(shown.page(), "window.__before = true; setTimeout(() => location.reload(), 0); 1");
    QVERIFY(waitForJs(shown.page(),
                      "window.__before === undefined && window.__korvantis && "
                      "__korvantis.calls === 1"));
    QCOMPARE(evalJs(shown.page(), "__korvantis.received").toString(), second);
    QCOMPARE(started.count(), 2);
    QTRY_VERIFY(!data.loading());
}

void WebViewTest::emptyUrlLoadsNothing() {
    WebViewData data;
    data.setUrl(QUrl());
    Shown shown(&data);
    QSignalSpy started(shown.page(), &QWebEnginePage::loadStarted);
    QTest::qWait(1000);
    QCOMPARE(started.count(), 0);
    QVERIFY(!data.loading());
    QVERIFY(shown.view.coordinator()->loadedUrl().isEmpty());
}

QList<Alert> WebViewTest::failAndCollectAlerts(const QUrl& url, QByteArray* printed) {
    WebViewData data;
    Shown shown(&data);
    // Failures show up as a missing alert in the caller.
    (void)shown.waitForTree();
    (void)QTest::qWaitFor([&] { return !data.loading(); }, 60000);

    QList<Alert> alerts;
    shown.view.coordinator()->setAlertPresenter([&](const QString& title, const QString& text) {
        alerts.append({title, text, data.loading()});
        // The alert is modal: nothing may go on until it has been dismissed.
        QTest::qWait(300);
        if (!data.loading()) {
            alerts.last().loadingWhileShown = false;
        }
    });
    korvantis::test::StdoutCapture capture;
    data.setUrl(url);
    (void)QTest::qWaitFor([&] { return !alerts.isEmpty() && !data.loading(); }, 120000);
    QTest::qWait(1500);
    *printed = capture.finish();
    return alerts;
}

void WebViewTest::unreachablePageShowsOneLoadingError() {
    QByteArray printed;
    const QList<Alert> alerts = failAndCollectAlerts(refusingUrl(), &printed);
    QCOMPARE(alerts.size(), 1);
    QCOMPARE(alerts[0].title, QStringLiteral("Loading Error"));
    QVERIFY(!alerts[0].text.isEmpty());
    QVERIFY(alerts[0].loadingWhileShown);
    QCOMPARE(linesPrinted(printed, alerts[0]), 1);
}

void WebViewTest::missingFileShowsOneLoadingError() {
    QByteArray printed;
    const QList<Alert> alerts =
        failAndCollectAlerts(QUrl("file:///nonexistent/korvantis/tree.html"), &printed);
    QCOMPARE(alerts.size(), 1);
    QCOMPARE(alerts[0].title, QStringLiteral("Loading Error"));
    QVERIFY(alerts[0].loadingWhileShown);
    QCOMPARE(linesPrinted(printed, alerts[0]), 1);
}

void WebViewTest::errorStatusShowsOneNavigationError() {
    const QByteArray body = "<html><body>gone</body></html>";
    FixedHttpServer server("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
                           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
                           body);
    QByteArray printed;
    const QList<Alert> alerts = failAndCollectAlerts(server.url(), &printed);
    QCOMPARE(alerts.size(), 1);
    QCOMPARE(alerts[0].title, QStringLiteral("Navigation Error"));
    QVERIFY(alerts[0].loadingWhileShown);
    QCOMPARE(linesPrinted(printed, alerts[0]), 1);
}

void WebViewTest::pageOpensClosesAndPagesChildren() {
    // launchd > wide (250 leaves), deep > mid > leaf
    QString json = QStringLiteral(R"([{"name":"launchd","children":[{"name":"wide","children":[)");
    for (int i = 0; i < 250; ++i) {
        json += QStringLiteral(R"({"name":"w%1"},)").arg(i);
    }
    json.chop(1);
    json += QStringLiteral(
        R"(]},{"name":"deep","children":[{"name":"mid","children":[{"name":"leaf"}]}]}]}])");
    WebViewData data;
    data.setD3Json(json);
    Shown shown(&data);
    QVERIFY(shown.waitForTree());
    QWebEnginePage* page = shown.page();
    auto drawn = [&] { return evalJs(page, "__korvantis.drawn").toInt(); };
    auto idOf = [&](const QString& name) {
        return evalJs(page, QStringLiteral("d3.selectAll('.node').filter(d => d.data.name === "
                                           "'%1').datum().data.__id")
                                .arg(name));
    };
    auto click = [&](const QVariant& id) {
        QVERIFY(evalJs(page, QStringLiteral("__korvantis.click(%1)")
                                 .arg(id.typeId() == QMetaType::QString ? "'" + id.toString() + "'"
                                                                        : id.toString()))
                    .toBool());
    };
    auto countText = [&](const QString& name) {
        return evalJs(page, QStringLiteral("d3.selectAll('.node').filter(d => d.data.name === "
                                           "'%1').select('.count').text()")
                                .arg(name))
            .toString();
    };
    // Two levels open: launchd, wide with its first 100 leaves and a "more"
    // node, deep with mid, which is closed and shows its one descendant.
    QCOMPARE(evalJs(page, "__korvantis.total").toInt(), 1 + 1 + 250 + 3);
    QCOMPARE(drawn(), 1 + 1 + 100 + 1 + 1 + 1);
    QCOMPARE(countText("mid"), QStringLiteral(" (1)"));
    QCOMPARE(countText("deep"), QString());

    click(idOf("mid"));
    QCOMPARE(drawn(), 105 + 1);
    QCOMPARE(countText("mid"), QString());
    click(idOf("deep"));
    QCOMPARE(drawn(), 104);
    QCOMPARE(countText("deep"), QStringLiteral(" (2)"));
    click(idOf("deep"));
    QCOMPARE(drawn(), 106);  // mid stays open inside

    // The stand-in for undrawn children draws a hundred more per click.
    const QVariant more = evalJs(page, "d3.selectAll('.node.more').datum().data.__id");
    QCOMPARE(evalJs(page, "d3.select('.node.more title').text()").toString(),
             QStringLiteral("+ 150 more"));
    click(more);
    QCOMPARE(drawn(), 206);
    click(more);
    QCOMPARE(drawn(), 255);
    QCOMPARE(evalJs(page, "document.querySelectorAll('.node.more').length").toInt(), 0);
    click(idOf("wide"));
    QCOMPARE(drawn(), 5);
    QCOMPARE(countText("wide"), QStringLiteral(" (250)"));
    // A leaf does nothing.
    click(idOf("leaf"));
    QCOMPARE(drawn(), 5);
}

void WebViewTest::mouseOpensNodesAndZooms() {
    WebViewData data;
    data.setD3Json(QStringLiteral(
        R"([{"name":"launchd","children":[{"name":"a","children":[{"name":"b","children":[{"name":"c"}]}]}]}])"));
    Shown shown(&data);
    QVERIFY(shown.waitForTree());
    QWebEnginePage* page = shown.page();
    QCOMPARE(evalJs(page, "__korvantis.drawn").toInt(), 3);
    const QVariantList at = evalJs(page,
                                   "(() => { const r = d3.selectAll('.node').filter(d => "
                                   "d.data.name === 'b').select('circle').node()"
                                   ".getBoundingClientRect(); return [r.x + r.width / 2, "
                                   "r.y + r.height / 2]; })()")
                                .toList();
    QCOMPARE(at.size(), 2);
    QWidget* input = shown.view.webView()->focusProxy();
    QVERIFY(input);
    const QPoint point(qRound(at[0].toDouble()), qRound(at[1].toDouble()));
    QTest::mouseClick(input, Qt::LeftButton, {}, point);
    QVERIFY(waitForJs(page, "__korvantis.drawn === 4"));
    QTest::mouseClick(input, Qt::LeftButton, {}, point);
    QVERIFY(waitForJs(page, "__korvantis.drawn === 3"));

    // The wheel zooms the picture.
    const double scale = evalJs(page, "d3.zoomTransform(d3.select('#tree').node()).k").toDouble();
    QWheelEvent wheel(QPointF(point), QPointF(input->mapToGlobal(point)), QPoint(), QPoint(0, 240),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(input, &wheel);
    QVERIFY(waitForJs(
        page, QStringLiteral("d3.zoomTransform(d3.select('#tree').node()).k > %1").arg(scale)));
}

void WebViewTest::pageExplainsWhatItCannotDraw() {
    WebViewData data;
    data.setD3Json(QStringLiteral(R"([{"name":"launchd"}])"));
    Shown shown(&data);
    QVERIFY(shown.waitForTree());
    QWebEnginePage* page = shown.page();
    const QStringList bad = {QStringLiteral("{"),
                             QStringLiteral("[]"),
                             QStringLiteral("42"),
                             QStringLiteral(R"([{"name":1}])"),
                             QStringLiteral(R"([{"name":"a","children":{"name":"b"}}])"),
                             QStringLiteral(R"([{"name":"a","children":[null]}])")};
    for (const QString& text : bad) {
        evalJs(page, WebViewCoordinator::initialLoadScript(text) + ";1");
        QCOMPARE(evalJs(page, "__korvantis.received").toString(), text);
        QCOMPARE(evalJs(page, "__korvantis.drawn").toInt(), 0);
        QCOMPARE(evalJs(page, "document.querySelectorAll('.node').length").toInt(), 0);
        QVERIFY2(!evalJs(page, "document.getElementById('message').hidden").toBool(),
                 qPrintable(text));
        QVERIFY(
            !evalJs(page, "document.getElementById('message').textContent").toString().isEmpty());
    }
    evalJs(page, WebViewCoordinator::initialLoadScript(QStringLiteral(R"([{"name":"x"}])")) + ";1");
    QCOMPARE(evalJs(page, "__korvantis.drawn").toInt(), 1);
    QVERIFY(evalJs(page, "document.getElementById('message').hidden").toBool());
}

void WebViewTest::pageDrawsAVeryDeepChain() {
    // Far deeper than any recursion in the page could go.
    constexpr int kDepth = 200000;
    QString json;
    json.reserve(kDepth * 40);
    json += QStringLiteral("[");
    for (int i = 0; i < kDepth; ++i) {
        json += QStringLiteral(R"({"name":"p%1","children":[)").arg(i);
    }
    json += QStringLiteral(R"({"name":"end"})");
    for (int i = 0; i < kDepth; ++i) {
        json += QStringLiteral("]}");
    }
    json += QStringLiteral("]");
    WebViewData data;
    data.setD3Json(json);
    Shown shown(&data);
    QVERIFY(shown.waitForTree());
    QWebEnginePage* page = shown.page();
    QCOMPARE(evalJs(page, "__korvantis.message").toString(), QString());
    QCOMPARE(evalJs(page, "__korvantis.total").toInt(), kDepth + 1);
    QCOMPARE(evalJs(page, "__korvantis.drawn").toInt(), 3);
    QCOMPARE(evalJs(page, "d3.selectAll('.node.closed .count').text()").toString(),
             QStringLiteral(" (199,998)"));
    QVERIFY(evalJs(page, "__korvantis.click(__korvantis.biggestClosed())").toBool());
    QCOMPARE(evalJs(page, "__korvantis.drawn").toInt(), 4);
}

KORVANTIS_WEB_TEST_MAIN(WebViewTest)
#include "test_web_view.moc"
