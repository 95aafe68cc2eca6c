// What the main window marks on the tree page's nodes, in a real web engine
// page: rule hits (the ring in the highest level's colour, the rules in the
// tooltip) and highlights (the dot), kept up to date through the channel.

#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <fstream>
#include <memory>

#include "rules/guarded_yaml.h"
#include "rules/rule_set.h"
#include "support/log_lines.h"
#include "treeview/tree_window.h"
#include "treeview/web_view.h"
#include "ui/look/style.h"
#include "ui/marks/highlight_rules.h"
#include "ui/marks/highlighted_rows.h"
#include "ui/rows/store_notifier.h"
#include "ui/window/tree_marks_feed.h"
#include "web_test_support.h"
#include "workspace/workspace.h"

using namespace korvantis;
using korvantis::test::evalJs;
using korvantis::test::waitForJs;
using namespace Qt::StringLiterals;

namespace {

constexpr const char* kRules = R"(title: Git run
level: high
logsource: {product: macos, category: process_creation}
detection: {s: {Image|endswith: /git}, condition: s}
---
title: Payload written
level: critical
logsource: {product: macos, category: file_event}
detection: {s: {TargetFilename|endswith: /payload}, condition: s}
---
title: Shell run
level: low
logsource: {product: macos, category: process_creation}
detection: {s: {Image|endswith: /ssh}, condition: s}
)";

// launchd > [Untracked Heritage, zsh 100 > [git 200, ssh 300]]; ssh writes
// the payload after it started.
std::string writeLog(const QTemporaryDir& dir) {
    const std::string path = dir.filePath(u"log.json"_s).toStdString();
    std::ofstream(path) << testsupport::joinedLines(
        {testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 100, 1, "/bin/zsh"),
         testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 200, 100, "/usr/bin/git"),
         testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 300, 100, "/usr/bin/ssh"),
         testsupport::fileLine("ES_EVENT_TYPE_NOTIFY_CREATE", 300, "/tmp/payload")});
    return path;
}

QString cssColour(const QColor& colour) {
    return u"rgb(%1, %2, %3)"_s.arg(colour.red()).arg(colour.green()).arg(colour.blue());
}

}  // namespace

class TreeMarksTest : public QObject {
    Q_OBJECT

  private slots:
    void marksNodesWithHitsAndHighlights();
};

void TreeMarksTest::marksNodesWithHitsAndHighlights() {
    QTemporaryDir dir;
    QWidget origin;  // the main window that opened the tree
    Workspace workspace([&origin](LogLoader::Task task) {
        QMetaObject::invokeMethod(&origin, std::move(task), Qt::QueuedConnection);
    });
    ui::StoreNotifier notifier(workspace);
    ui::HighlightRules rules;
    rules.setRules({{u"zsh"_s, u"pid:100"_s, u"rose"_s, true}});
    PerKind<std::unique_ptr<ui::HighlightedRows>> owned;
    PerKind<ui::HighlightedRows*> highlighted{};
    for (const RowKind kind : kRowKinds) {
        owned[kind] = std::make_unique<ui::HighlightedRows>(kind, notifier, rules);
        highlighted[kind] = owned[kind].get();
    }
    ui::TreeMarksFeed feed(notifier, rules, highlighted, origin);
    auto set = std::make_shared<RuleSet>();
    loadRuleText(kRules, "marks", *set);
    workspace.loader.setRules(set);
    workspace.loader.loadJsonFile(writeLog(dir));
    QTRY_VERIFY_WITH_TIMEOUT(workspace.loader.outcomes().size() == 1, 60000);

    TreeWindow window;
    window.setFacts(workspace.store.sharedJsonTreeFacts());
    window.setOrigin({&origin, {}, {}, &feed});
    window.openTree(workspace.store.sharedJsonTree());
    window.resize(900, 500);
    window.show();
    QWebEnginePage* page = window.webView()->webView()->page();
    QVERIFY(korvantis::test::waitForTree(page));
    QVERIFY(waitForJs(page, "__korvantis.facts === 'ready' && __korvantis.marks === 3"));
    const auto names = [&](const QString& selector) {
        return evalJs(page,
                      u"Array.from(document.querySelectorAll('%1'), e => e.textContent)"_s.arg(
                          selector))
            .toStringList();
    };
    QCOMPARE(names(u".node.hit .name"_s), (QStringList{u"git"_s, u"ssh"_s}));
    QCOMPARE(names(u".node.highlighted .name"_s), QStringList{u"zsh"_s});
    const QPalette palette = origin.palette();
    const QString ring =
        u"getComputedStyle(d3.selectAll('.node').filter(d => d.data.name === "
        u"'%1').select('circle').node()).%2"_s;
    QCOMPARE(evalJs(page, ring.arg(u"ssh"_s, u"stroke"_s)).toString(),
             cssColour(ui::ruleLevelColor(RuleLevel::critical, palette)));
    QCOMPARE(evalJs(page, ring.arg(u"zsh"_s, u"fill"_s)).toString(),
             cssColour(ui::highlightColor(u"rose"_s, palette)));

    // The tooltip names the node's rules, its own and its file rows', in
    // rule order, as text.
    evalJs(page,
           u"d3.selectAll('.node').filter(d => d.data.name === 'ssh').node()"
           u".dispatchEvent(new MouseEvent('mouseenter', {clientX: 200, clientY: 150}))"_s);
    const QStringList tip =
        evalJs(page, u"document.getElementById('tooltip').innerText"_s).toString().split(u'\n');
    QVERIFY2(tip.contains(u"level: critical"_s), qPrintable(tip.join(u'|')));
    QVERIFY2(tip.contains(u"rules: Payload written; Shell run"_s), qPrintable(tip.join(u'|')));

    // Other highlights reach the page without a new tree.
    rules.setRules({{u"git"_s, u"pid:200"_s, u"amber"_s, true}});
    QTRY_COMPARE_WITH_TIMEOUT(names(u".node.highlighted .name"_s), QStringList{u"git"_s}, 60000);
    QCOMPARE(evalJs(page, ring.arg(u"git"_s, u"fill"_s)).toString(),
             cssColour(ui::highlightColor(u"amber"_s, palette)));
    QCOMPARE(evalJs(page, u"__korvantis.calls"_s).toInt(), 1);

    QVERIFY(waitForJs(page, "__korvantis.paintedAt > 0"));
    const QString path = QStringLiteral(KORVANTIS_SCREENSHOT_DIR "/tree-marks.png");
    QVERIFY(window.grab().toImage().save(path));
    qInfo("screenshot: %s", qPrintable(path));
}

int main(int argc, char** argv) {
    // Rule files are parsed by a program started anew, not by forking a
    // process that runs threads.
    setYamlChildProgram(KORVANTIS_RULE_YAML_CHILD);
    korvantis::test::prepareWebEngine();
    QApplication app(argc, argv);
    TreeMarksTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_tree_marks.moc"
