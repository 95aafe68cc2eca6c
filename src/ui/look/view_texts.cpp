#include "ui/look/view_texts.h"

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

QString bookmarkText() {
    return QObject::tr("Bookmark");
}
QString tagsActionText() {
    return QObject::tr("Tags\u2026");
}
QString noteActionText() {
    return QObject::tr("Note\u2026");
}
QString tagsDialogLabel() {
    return QObject::tr("Tags (words of A-Z a-z 0-9 _ . : -, separated by spaces or commas):");
}
QString cardTagsText(const QString& tags) {
    return QObject::tr("Tags: %1").arg(tags);
}
QString notePlaceholderText() {
    return QObject::tr("Note on this row (kept when you leave the field, or Ctrl+Return)");
}
QString noteDialogLabel() {
    return QObject::tr("Note:");
}
QString badTagText(const QString& tag) {
    return QObject::tr("\"%1\" is not a tag: a tag is 1 to 64 characters of A-Z a-z 0-9 _ . : -")
        .arg(tag);
}
QString noteTooLongText() {
    return QObject::tr("A note holds at most 64 KiB.");
}
QString marksPanelTitle() {
    return QObject::tr("Marks");
}
QStringList marksPanelHeaders() {
    return {QObject::tr("Time"), QObject::tr("Kind"), QObject::tr("Pid"),
            QObject::tr("Path"), QObject::tr("Tags"), QObject::tr("Note")};
}
QString detachedMarkText(qulonglong line) {
    return QObject::tr("line %1 (no longer matches)").arg(line);
}
QString detachedMarksText(qulonglong marks, const QString& logName) {
    return marks == 1 ? QObject::tr("1 mark no longer matches its line in %1").arg(logName)
                      : QObject::tr("%1 marks no longer match their lines in %2")
                            .arg(groupedNumber(marks), logName);
}
QString showText() {
    return QObject::tr("Show");
}
QString restoredSessionText(const QString& when) {
    return QObject::tr("Restored marks and view from %1").arg(when);
}
QString startFreshText() {
    return QObject::tr("Start fresh");
}
QString noBookmarksText() {
    return QObject::tr("No bookmarked row in this list");
}
QString wrappedToFirstBookmarkText() {
    return QObject::tr("Went round to the first bookmark");
}
QString wrappedToLastBookmarkText() {
    return QObject::tr("Went round to the last bookmark");
}
QString rowNotShownText() {
    return QObject::tr("The marked row is not shown by the filter");
}
QString cannotMarkText() {
    return QObject::tr("Rows read from standard input cannot be marked");
}
QString saveSessionActionText() {
    return QObject::tr("Save Session As\u2026");
}
QString openSessionActionText() {
    return QObject::tr("Open Session\u2026");
}
QString marksActionText() {
    return QObject::tr("Marks");
}
QString sessionFilter() {
    return QObject::tr("Korvantis sessions (*.korvantis);;All files (*)");
}
QString sessionFailedTitle() {
    return QObject::tr("Session");
}
QString locateLogTitle(const QString& logName) {
    return QObject::tr("Where is %1?").arg(logName);
}

QString highlightsActionText() {
    return QObject::tr("Highlights…");
}
QString highlightsTitle() {
    return QObject::tr("Highlights");
}
QStringList highlightsHeaders() {
    return {QObject::tr("On"), QObject::tr("Name"), QObject::tr("Query"), QObject::tr("Colour")};
}
QString addRuleText() {
    return QObject::tr("Add");
}
QString removeRuleText() {
    return QObject::tr("Remove");
}
QString moveUpText() {
    return QObject::tr("Up");
}
QString moveDownText() {
    return QObject::tr("Down");
}
QString saveAsDefaultText() {
    return QObject::tr("Save as Default");
}
QString newRuleName(int n) {
    return QObject::tr("Rule %1").arg(n);
}
QString highlightColourLabel(const QString& colour) {
    return colour.isEmpty() ? colour : colour.front().toUpper() + colour.mid(1);
}
QString badRuleQueryText(const QString& rule, const QString& error) {
    return QObject::tr("Rule %1: %2").arg(rule, error);
}

QString exportReportActionText() {
    return QObject::tr("Export Report…");
}
QString reportFilter() {
    return QObject::tr("HTML report (*.html)");
}

QString queryHistoryText() {
    return QObject::tr("Recent queries");
}
QString saveFilterAsText() {
    return QObject::tr("Save Filter As…");
}
QString filterNameLabel() {
    return QObject::tr("Name:");
}
QString savedFiltersText() {
    return QObject::tr("Saved Filters");
}
QString noQueriesText() {
    return QObject::tr("No recent queries");
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
