// The session kept for each set of logs.

#include "ui/marks/session_autosave.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QStandardPaths>

#include <memory>

#include "ui/marks/window_marks.h"

namespace korvantis::ui {

SessionAutosave::SessionAutosave(WindowMarks& marks, std::function<std::string()> view,
                                 QObject* parent)
    : QObject(parent), marks_(marks), view_(std::move(view)) {
    files_.setMaxThreadCount(1);
    timer_.setSingleShot(true);
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &SessionAutosave::saveNow);
    connect(&marks_, &WindowMarks::changed, this, &SessionAutosave::changed);
}

SessionAutosave::~SessionAutosave() {
    // The window's views may be gone: the view as last seen is saved.
    view_ = nullptr;
    saveNow();
    waitForFiles();
}

void SessionAutosave::waitForFiles() {
    files_.waitForDone();
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
    ++logsChanged_;
    logs_ = logs;
    file_ = logs_.empty() ? QString() : fileFor(logs_);
    if (!restore || file_.isEmpty() || !QFileInfo::exists(file_)) {
        changed();
        return;
    }
    const std::uint64_t asked = ++logsChanged_;
    const std::string file = QFile::encodeName(file_).toStdString();
    const QDateTime when = QFileInfo(file_).lastModified();
    files_.start([this, asked, file, when] {
        auto read = std::make_shared<SessionRead>(readSession(file));
        // A session may bring a hundred thousand notes: they are copied
        // here, not on the window's thread.
        auto texts = std::make_shared<KeptMarkTexts>();
        if (read->session) {
            *texts = KeptMarkTexts(read->session->marks);
        }
        QMetaObject::invokeMethod(
            this,
            [this, asked, read, texts, when] {
                if (asked != logsChanged_) {
                    return;  // the window went on to other logs meanwhile
                }
                if (!read->session) {
                    emit saveFailed(QString::fromStdString(read->error));
                    return;
                }
                emit restored(*read->session, *texts, when);
            },
            Qt::QueuedConnection);
    });
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
    auto kept = std::make_shared<const Session>(session());
    const std::string file = QFile::encodeName(file_).toStdString();
    const std::string folder = QFile::encodeName(SessionAutosave::folder()).toStdString();
    files_.start([this, kept, file, folder] {
        QDir().mkpath(QFile::decodeName(folder.c_str()));
        const std::string failed = writeSession(file, *kept);
        if (!failed.empty()) {
            QMetaObject::invokeMethod(
                this, [this, failed] { emit saveFailed(QString::fromStdString(failed)); },
                Qt::QueuedConnection);
        }
    });
}

void SessionAutosave::forget() {
    timer_.stop();
    dirty_ = false;
    waitForFiles();  // a save asked for before must not bring the file back
    if (!file_.isEmpty()) {
        QFile::remove(file_);
    }
}

}  // namespace korvantis::ui
