#pragma once
// The logs of exec events the application's tests load.

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <fstream>
#include <string>
#include <tuple>

// An eslogger message of `kind` from `pid` (pid version 1) at second `second`.
inline QJsonObject esMessage(int pid, int ppid, double second, const QString& kind,
                             QJsonObject body) {
    const QJsonObject token{{"pid", pid}, {"pidversion", 1}};
    return {{"time", QStringLiteral("2026-01-05T09:12:0%1Z").arg(second)},
            {"process", QJsonObject{{"audit_token", token}, {"ppid", ppid}}},
            {"event", QJsonObject{{kind, body}}}};
}

// A log of exec events, one (pid, ppid, path) each, written as JSON lines: the
// viewer's own records, or eslogger's, a second apart, then the second one's exit.
inline std::string writeExecLog(const QTemporaryDir& dir, const QString& name,
                                const QList<std::tuple<int, int, QString>>& processes,
                                bool eslogger = false) {
    const QString file = dir.filePath(name);
    std::ofstream out(file.toStdString());
    QList<QJsonObject> lines;
    for (const auto& [pid, ppid, path] : processes) {
        const QJsonObject process{{"pid", pid}, {"ppid", ppid}, {"path", path}};
        const QJsonObject target{{"audit_token", QJsonObject{{"pid", pid}, {"pidversion", 1}}},
                                 {"ppid", ppid},
                                 {"executable", QJsonObject{{"path", path}}}};
        lines.append(eslogger ? esMessage(pid, ppid, lines.size() + 1, "exec", {{"target", target}})
                              : QJsonObject{{"event", "ES_EVENT_TYPE_NOTIFY_EXEC"},
                                            {"timestamp", "1"},
                                            {"process", process}});
    }
    if (eslogger) {  // ran 2.5 s
        lines.append(esMessage(std::get<0>(processes[1]), 0, 4.5, "exit", {{"stat", 0}}));
    }
    for (const QJsonObject& line : lines) {
        out << QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString() << '\n';
    }
    return file.toStdString();
}
