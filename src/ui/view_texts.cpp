#include "ui/view_texts.h"

#include <QObject>

namespace korvantis::ui {

QString groupedNumber(qulonglong n) {
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, QLatin1Char(','));
    }
    return digits;
}

QString tabTitle(const QString& name, qulonglong shown, qulonglong total, bool filtered) {
    if (!filtered) {
        return name;
    }
    return QObject::tr("%1 (%2 of %3)").arg(name, groupedNumber(shown), groupedNumber(total));
}

QString filterPlaceholderText() {
    return QObject::tr("Filter (Ctrl+F): text pid:N ppid:N tree:N type: path: time: json: -term");
}

QString searchingRawLinesText(int percent) {
    return QObject::tr("searching raw lines… %1%").arg(percent);
}

QString unreadableRowsText(qulonglong rows) {
    return rows == 1 ? QObject::tr("1 row could not be read again")
                     : QObject::tr("%1 rows could not be read again").arg(groupedNumber(rows));
}

QString exportButtonText() {
    return QObject::tr("Export…");
}
QString exportDialogTitle() {
    return QObject::tr("Export shown rows");
}
QString exportJsonLinesFilter() {
    return QObject::tr("JSON lines (*.jsonl *.json)");
}
QString exportCsvFilter() {
    return QObject::tr("CSV (*.csv)");
}
QString exportFailedTitle() {
    return QObject::tr("Export failed");
}
QString exportedText(qulonglong rows, const QString& fileName) {
    return QObject::tr("Exported %1 rows to %2").arg(groupedNumber(rows), fileName);
}

QString onlyThisProcessText() {
    return QObject::tr("Only this process");
}
QString processAndChildrenText() {
    return QObject::tr("This process and what it started");
}
QString hideThisPathText() {
    return QObject::tr("Hide this path");
}
QString copyRowText() {
    return QObject::tr("Copy row");
}
QString copyPathText() {
    return QObject::tr("Copy path");
}
QString copyPidText() {
    return QObject::tr("Copy pid");
}
QString onlyThisUserText() {
    return QObject::tr("Only this user");
}
QString onlyThisSignerText() {
    return QObject::tr("Only this signer");
}
QString copyCommandLineText() {
    return QObject::tr("Copy command line");
}

QString readingEventText() {
    return QObject::tr("Reading the event\u2026");
}

QString saveEventButtonText() {
    return QObject::tr("Save event as\u2026");
}

QString saveEventDialogTitle() {
    return QObject::tr("Save event as");
}

QString saveEventFilter() {
    return QObject::tr("JSON (*.json);;All files (*)");
}

QString saveEventFailedTitle() {
    return QObject::tr("The event could not be saved");
}

QString detectionsTabTitle(qulonglong rows) {
    return QObject::tr("Detections (%1)").arg(groupedNumber(rows));
}

QString detectionsHeaderTexts() {
    return QObject::tr("Level\nRule / Time\nCount / PID\nImage\nCommand line");
}

QString moreHitRowsText(qulonglong rows) {
    return QObject::tr("%1 more rows: use \"Only rows of this rule\"").arg(groupedNumber(rows));
}

QString detectionRulesMenuText() {
    return QObject::tr("Detection Rules\u2026");
}

QString detectionRulesDialogTitle() {
    return QObject::tr("Detection Rules");
}

QString bundledRulesSwitchText() {
    return QObject::tr("Use the bundled rules");
}

QString ruleFoldersText() {
    return QObject::tr("Rule folders:");
}

QString addRuleFolderText() {
    return QObject::tr("Add\u2026");
}

QString removeRuleFolderText() {
    return QObject::tr("Remove");
}

QString reloadRulesText() {
    return QObject::tr("Reload");
}

QString ruleEntriesHeaderTexts() {
    return QObject::tr("Document\nState\nTitle or reason");
}

QString ruleEntryStateText(bool loaded) {
    return loaded ? QObject::tr("loaded") : QObject::tr("skipped");
}

QString loadingRulesText() {
    return QObject::tr("Loading rules\u2026");
}

QString rulesLoadedText(qulonglong loaded, qulonglong skipped) {
    return QObject::tr("%1 rules loaded, %2 skipped")
        .arg(groupedNumber(loaded), groupedNumber(skipped));
}

QString onlyRowsOfRuleText() {
    return QObject::tr("Only rows of this rule");
}

QString neverPresentText(const QStringList& fields) {
    return QObject::tr("never present: %1").arg(fields.join(QStringLiteral(", ")));
}

}  // namespace korvantis::ui
