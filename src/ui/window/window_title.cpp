#include "ui/window/window_title.h"

#include <QStringList>
#include <QWidget>

#include "ui/look/load_texts.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

WindowTitle::WindowTitle(StoreNotifier& notifier, QWidget* view)
    : QObject(view), workspace_(notifier.workspace()), view_(view) {
    connect(&notifier, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (StoreNotifier::has(fields, StoreField::loadedLogs)) {
            sync();
        }
    });
    sync();
}

QString WindowTitle::text() const {
    const LogFiles& logs = workspace_.store.logFiles();
    QStringList names;
    for (std::uint32_t log = 0; log < logs.size(); ++log) {
        names.append(QString::fromStdString(logs.fileName(log)));
    }
    return LoadTexts::windowTitle(names);
}

void WindowTitle::sync() {
    view_->window()->setWindowTitle(text());
}

}  // namespace korvantis::ui
