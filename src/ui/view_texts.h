#pragma once

#include <QString>
#include <QStringList>

namespace korvantis::ui {

// The texts of the filter bar, the tabs, the row menu, the export and the
// detail area: the one place where they are worded.

// A count with its digits grouped by commas: 305,736.
QString groupedNumber(qulonglong n);
// "Processes (1,234 of 305,736)" while a filter is set, else just the name.
QString tabTitle(const QString& name, qulonglong shown, qulonglong total, bool filtered);
QString filterPlaceholderText();
// "searching raw lines… 40%"
QString searchingRawLinesText(int percent);
// Beside the filter field: rows a `json:` term could not test.
QString unreadableRowsText(qulonglong rows);
QString exportButtonText();
QString exportDialogTitle();
QString exportJsonLinesFilter();
QString exportCsvFilter();
QString exportFailedTitle();
QString exportedText(qulonglong rows, const QString& fileName);
QString onlyThisProcessText();
QString processAndChildrenText();
QString hideThisPathText();
QString copyRowText();
QString copyPathText();
QString copyPidText();
QString onlyThisUserText();
QString onlyThisSignerText();
QString copyCommandLineText();
// The detail area: while an event's text is made, and saving it.
QString readingEventText();
QString saveEventButtonText();
QString saveEventDialogTitle();
QString saveEventFilter();
QString saveEventFailedTitle();

// Detection rules: the tab of hits, the rules dialog, the row menu.
// "Detections (12)": the rows with hits.
QString detectionsTabTitle(qulonglong rows);
QString detectionsHeaderTexts();  // the list's column titles, one per line
QString moreHitRowsText(qulonglong rows);
QString detectionRulesMenuText();
QString detectionRulesDialogTitle();
QString bundledRulesSwitchText();
QString ruleFoldersText();
QString addRuleFolderText();
QString removeRuleFolderText();
QString reloadRulesText();
QString ruleEntriesHeaderTexts();  // the entries' column titles, one per line
QString ruleEntryStateText(bool loaded);
QString loadingRulesText();
QString rulesLoadedText(qulonglong loaded, qulonglong skipped);
QString onlyRowsOfRuleText();
// After a loaded rule's title: the fields it names that no row has.
QString neverPresentText(const QStringList& fields);

}  // namespace korvantis::ui
