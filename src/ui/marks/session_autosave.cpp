// The session kept for each set of logs.

#include "ui/marks/session_autosave.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QStandardPaths>

#include <memory>

#include "investigation/mark_book_copy.h"
#include "ui/marks/window_marks.h"

namespace korvantis::ui {

namespace {

// A session as the window's thread hands it to the worker that writes it.
struct SessionCopy {
    std::vector<std::string> logs;
    MarkBookCopy marks;
    std::string view;
};

// The session file's text read, and its marks' texts copied, on the worker
// (a session may bring a hundred thousand notes).
struct ReadSession {
    SessionRead read;
    KeptMarkTexts texts;
};

std::shared_ptr<ReadSession> readWithTexts(const std::string& file) {
    auto read = std::make_shared<ReadSession>();
    read->read = readSession(file);
    if (read->read.session) {
        read->texts = KeptMarkTexts(read->read.session->marks);
    }
    return read;
}

}  // namespace

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
        std::shared_ptr<ReadSession> read = readWithTexts(file);
        QMetaObject::invokeMethod(
            this,
            [this, asked, read, when] {
                if (asked != logsChanged_) {
                    return;  // the window went on to other logs meanwhile
                }
                if (!read->read.session) {
                    emit saveFailed(QString::fromStdString(read->read.error));
                    return;
                }
                emit restored(*read->read.session, read->texts, when);
            },
            Qt::QueuedConnection);
    });
}

void SessionAutosave::readFrom(const QString& file) {
    files_.start([this, file, name = QFile::encodeName(file).toStdString()] {
        std::shared_ptr<ReadSession> read = readWithTexts(name);
        QMetaObject::invokeMethod(
            this, [this, file, read] { emit fileRead(file, read->read, read->texts); },
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
    write(file_, [this](const QString& failed) {
        if (!failed.isEmpty()) {
            emit saveFailed(failed);
        }
    });
}

void SessionAutosave::saveTo(const QString& file) {
    write(file, [this, file](const QString& failed) { emit savedTo(file, failed); });
}

void SessionAutosave::write(const QString& file, std::function<void(const QString&)> done) {
    auto kept = std::make_shared<SessionCopy>();
    kept->logs = logs_;
    kept->marks = MarkBookCopy(marks_.book());
    kept->view = view_ ? view_() : lastView_;
    const std::string name = QFile::encodeName(file).toStdString();
    // The folder of kept sessions is made when first needed; a file the
    // user named goes where it says, or nowhere.
    const QString folder = file == file_ ? SessionAutosave::folder() : QString();
    files_.start([this, kept, name, folder, done = std::move(done)] {
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
        }
        Session session;
        session.logs = std::move(kept->logs);
        session.marks = kept->marks.book();
        session.view = std::move(kept->view);
        const QString failed = QString::fromStdString(writeSession(name, session));
        QMetaObject::invokeMethod(
            this, [done, failed] { done(failed); }, Qt::QueuedConnection);
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
