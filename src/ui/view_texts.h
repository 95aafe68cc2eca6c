#pragma once

#include <QString>

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

}  // namespace korvantis::ui
