// The session kept for each set of logs.

#include "ui/session_autosave.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "ui/window_marks.h"

namespace korvantis::ui {

SessionAutosave::SessionAutosave(WindowMarks& marks, std::function<std::string()> view,
                                 QObject* parent)
    : QObject(parent), marks_(marks), view_(std::move(view)) {
    timer_.setSingleShot(true);
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &SessionAutosave::saveNow);
    connect(&marks_, &WindowMarks::changed, this, &SessionAutosave::changed);
}

SessionAutosave::~SessionAutosave() {
    // The window's views may be gone: the view as last seen is saved.
    view_ = nullptr;
    saveNow();
}

QString SessionAutosave::folder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/korvantis/sessions");
}

QString SessionAutosave::fileFor(const std::vector<std::string>& logs) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const std::string& log : logs) {
        hash.addData(QByteArrayView(log.data(), static_cast<qsizetype>(log.size() + 1)));
    }
    return folder() + QLatin1Char('/') + QString::fromLatin1(hash.result().toHex().left(32)) +
           QStringLiteral(".korvantis");
}

void SessionAutosave::setLogs(const std::vector<std::string>& logs, bool restore) {
    if (logs == logs_) {
        return;
    }
    // What the earlier set learned stays with it.
    saveNow();
    logs_ = logs;
    file_ = logs_.empty() ? QString() : fileFor(logs_);
    if (!restore || file_.isEmpty() || !QFileInfo::exists(file_)) {
        changed();
        return;
    }
    SessionRead read = readSession(QFile::encodeName(file_).toStdString());
    if (!read.session) {
        emit saveFailed(QString::fromStdString(read.error));
        return;
    }
    emit restored(*read.session, QFileInfo(file_).lastModified());
}

void SessionAutosave::changed() {
    dirty_ = true;
    if (view_) {
        lastView_ = view_();  // for a save once the views are gone
    }
    if (!timer_.isActive()) {
        timer_.start();
    }
}

Session SessionAutosave::session() const {
    Session session;
    session.logs = logs_;
    session.marks = marks_.book();
    session.view = view_ ? view_() : lastView_;
    return session;
}

void SessionAutosave::saveNow() {
    timer_.stop();
    if (view_) {
        const std::string view = view_();
        dirty_ = dirty_ || view != lastView_;
        lastView_ = view;
    }
    if (!dirty_ || file_.isEmpty()) {
        return;
    }
    if (marks_.book().size() == 0 && !QFileInfo::exists(file_)) {
        return;  // nothing learned yet: no file for every set of logs ever opened
    }
    dirty_ = false;
    QDir().mkpath(folder());
    const std::string failed = writeSession(QFile::encodeName(file_).toStdString(), session());
    if (!failed.empty()) {
        emit saveFailed(QString::fromStdString(failed));
    }
}

void SessionAutosave::forget() {
    timer_.stop();
    dirty_ = false;
    if (!file_.isEmpty()) {
        QFile::remove(file_);
    }
}

}  // namespace korvantis::ui
