#include "ui/look/viewer_settings.h"

#include <QStringList>

namespace korvantis::ui {

namespace {

const QString kName = QStringLiteral("Korvantis");
// Marks the one file once the stray one's values are in it.
const QString kTakenOverKey = QStringLiteral("settings/strayFileTakenOver");

}  // namespace

QSettings viewerSettings() {
    return QSettings(kName, kName);
}

void takeOverStraySettings() {
    QSettings settings = viewerSettings();
    if (settings.value(kTakenOverKey).toBool()) {
        return;
    }
    const QSettings stray(QStringLiteral("Unknown Organization"), kName);
    for (const QString& key : stray.allKeys()) {
        if (!settings.contains(key)) {
            settings.setValue(key, stray.value(key));
        }
    }
    settings.setValue(kTakenOverKey, true);
}

}  // namespace korvantis::ui
