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

// Marks and sessions: the row menu, the Marks panel, the notices, the
// session menu entries and dialogs.
QString bookmarkText();
QString tagsActionText();
QString noteActionText();
QString tagsDialogLabel();
QString noteDialogLabel();
QString badTagText(const QString& tag);
QString noteTooLongText();
// Under the facts card: "Tags: bookmark,dropper" and the note field's hint.
QString cardTagsText(const QString& tags);
QString notePlaceholderText();
QString marksPanelTitle();
QStringList marksPanelHeaders();
// A detached mark in the Marks panel: "line 12 (no longer matches)".
QString detachedMarkText(qulonglong line);
// "3 marks no longer match their lines in trace.json"
QString detachedMarksText(qulonglong marks, const QString& logName);
QString showText();
// "Restored marks and view from 2026-12-07 14:02"
QString restoredSessionText(const QString& when);
QString startFreshText();
QString noBookmarksText();
QString wrappedToFirstBookmarkText();
QString wrappedToLastBookmarkText();
QString rowNotShownText();
QString cannotMarkText();
QString saveSessionActionText();
QString openSessionActionText();
QString marksActionText();
QString sessionFilter();
QString sessionFailedTitle();
// Highlight rules: the menu entry, the dialog's title, columns and buttons,
// a new rule's name ("Rule 3"), a colour's name as shown, and a rule whose
// query is wrong ("Rule curl: unclosed quote").
QString highlightsActionText();
QString highlightsTitle();
QStringList highlightsHeaders();
QString addRuleText();
QString removeRuleText();
QString moveUpText();
QString moveDownText();
QString saveAsDefaultText();
QString newRuleName(int n);
QString highlightColourLabel(const QString& colour);
QString badRuleQueryText(const QString& rule, const QString& error);
// File > Export Report…: the entry and its file filter.
QString exportReportActionText();
QString reportFilter();
// The filter's memory: the history button's tip, the naming of a query, the
// Saved Filters menu, an empty history.
QString queryHistoryText();
QString saveFilterAsText();
QString filterNameLabel();
QString savedFiltersText();
QString noQueriesText();
// "Where is trace.json?"
QString locateLogTitle(const QString& logName);
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
