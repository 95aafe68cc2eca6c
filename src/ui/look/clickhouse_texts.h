#pragma once

#include <QString>

namespace korvantis::ui {

// The texts of File > Send to ClickHouse… and File > Open from ClickHouse…:
// the one place where they are worded.
QString sendToClickHouseMenuText();
QString openFromClickHouseMenuText();
QString sendToClickHouseTitle();
QString openFromClickHouseTitle();
QString clickHouseServerLabel();
QString clickHouseUserLabel();
QString clickHousePasswordLabel();
QString clickHouseTableLabel();
QString clickHouseHostLabel();
QString clickHouseWhereLabel();
QString clickHouseWherePlaceholder();
QString sendButtonText();
QString countButtonText();
// "Open 1,234 rows"
QString openRowsButtonText(qulonglong rows);
// "Counting the rows…", "1,234 rows match", "Sending trace.json: 1,000 of 5,000 lines"
QString countingRowsText();
QString rowsMatchText(qulonglong rows);
QString sendingText(const QString& log, qulonglong sent, qulonglong total);
// "Sent 5,000 lines of 2 logs"
QString sentText(qulonglong lines, int logs);
// "No log of this window can be sent: logs that came down a pipe are not kept as files."
QString nothingToSendText();
// "Sending failed: …" / "Opening failed: …"
QString sendFailedText(const QString& why);
QString openFailedText(const QString& why);
QString cancelledText();
// When a field is missing or wrong.
QString clickHouseFieldsNeededText();

}  // namespace korvantis::ui
