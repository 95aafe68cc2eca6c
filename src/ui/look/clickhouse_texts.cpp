#include "ui/look/clickhouse_texts.h"

#include <QObject>

#include "ui/look/view_texts.h"

namespace korvantis::ui {

QString sendToClickHouseMenuText() {
    return QObject::tr("Send to ClickHouse\u2026");
}
QString openFromClickHouseMenuText() {
    return QObject::tr("Open from ClickHouse\u2026");
}
QString sendToClickHouseTitle() {
    return QObject::tr("Send to ClickHouse");
}
QString openFromClickHouseTitle() {
    return QObject::tr("Open from ClickHouse");
}
QString clickHouseServerLabel() {
    return QObject::tr("Server:");
}
QString clickHouseUserLabel() {
    return QObject::tr("User:");
}
QString clickHousePasswordLabel() {
    return QObject::tr("Password:");
}
QString clickHouseTableLabel() {
    return QObject::tr("Table:");
}
QString clickHouseHostLabel() {
    return QObject::tr("Host:");
}
QString clickHouseWhereLabel() {
    return QObject::tr("Where:");
}
QString clickHouseWherePlaceholder() {
    return QObject::tr("CommandLine LIKE '%osascript -e%'");
}
QString sendButtonText() {
    return QObject::tr("Send");
}
QString countButtonText() {
    return QObject::tr("Count rows");
}
QString openRowsButtonText(qulonglong rows) {
    return QObject::tr("Open %1 rows").arg(groupedNumber(rows));
}
QString countingRowsText() {
    return QObject::tr("Counting the rows\u2026");
}
QString rowsMatchText(qulonglong rows) {
    return QObject::tr("%1 rows match").arg(groupedNumber(rows));
}
QString sendingText(const QString& log, qulonglong sent, qulonglong total) {
    return QObject::tr("Sending %1: %2 of %3 lines")
        .arg(log, groupedNumber(sent), groupedNumber(total));
}
QString sentText(qulonglong lines, int logs) {
    return QObject::tr("Sent %1 lines of %2 logs").arg(groupedNumber(lines)).arg(logs);
}
QString nothingToSendText() {
    return QObject::tr(
        "No log of this window can be sent: logs that came down a pipe are not kept as files.");
}
QString sendFailedText(const QString& why) {
    return QObject::tr("Sending failed: %1").arg(why);
}
QString openFailedText(const QString& why) {
    return QObject::tr("Opening failed: %1").arg(why);
}
QString cancelledText() {
    return QObject::tr("Cancelled");
}

QString clickHouseFieldsNeededText() {
    return QObject::tr(
        "an http:// server URL and a table name are needed (and a condition, to open)");
}

}  // namespace korvantis::ui
