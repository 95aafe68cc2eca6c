#include "ui/look/time_display_choice.h"

#include <QActionGroup>
#include <QMenu>
#include <QSettings>

#include "ui/look/viewer_settings.h"

namespace korvantis::ui {

namespace {

const QString kSettingsKey = QStringLiteral("view/timeDisplay");

// The settings' names of the displays, in the order the menus list them.
struct DisplayName {
    TimeDisplay display;
    const char* setting;
};
constexpr DisplayName kDisplays[] = {
    {TimeDisplay::asRecorded, "asRecorded"},
    {TimeDisplay::utc, "utc"},
    {TimeDisplay::local, "local"},
    {TimeDisplay::sinceFirst, "sinceFirst"},
};

}  // namespace

TimeDisplayChoice& TimeDisplayChoice::instance() {
    static TimeDisplayChoice* choice = new TimeDisplayChoice;  // lives as long as the app
    return *choice;
}

TimeDisplayChoice::TimeDisplayChoice() {
    const QString saved = viewerSettings().value(kSettingsKey).toString();
    for (const DisplayName& d : kDisplays) {
        if (saved == QLatin1String(d.setting)) {
            display_ = d.display;
        }
    }
}

void TimeDisplayChoice::setDisplay(TimeDisplay display) {
    if (display == display_) {
        return;
    }
    display_ = display;
    for (const DisplayName& d : kDisplays) {
        if (d.display == display) {
            viewerSettings().setValue(kSettingsKey, QLatin1String(d.setting));
        }
    }
    emit displayChanged();
}

QString TimeDisplayChoice::nameOf(TimeDisplay display) {
    for (const DisplayName& d : kDisplays) {
        if (d.display == display) {
            return QLatin1String(d.setting);
        }
    }
    return {};
}

std::optional<TimeDisplay> TimeDisplayChoice::named(const QString& name) {
    for (const DisplayName& d : kDisplays) {
        if (name == QLatin1String(d.setting)) {
            return d.display;
        }
    }
    return std::nullopt;
}

QString TimeDisplayChoice::textOf(TimeDisplay display) {
    switch (display) {
        case TimeDisplay::asRecorded:
            break;
        case TimeDisplay::utc:
            return QStringLiteral("UTC");
        case TimeDisplay::local:
            return QStringLiteral("Local time");
        case TimeDisplay::sinceFirst:
            return QStringLiteral("Since first event");
    }
    return QStringLiteral("As recorded");
}

void TimeDisplayChoice::addActionsTo(QMenu* menu) {
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    for (const DisplayName& d : kDisplays) {
        QAction* action = menu->addAction(textOf(d.display));
        action->setCheckable(true);
        action->setChecked(d.display == display_);
        group->addAction(action);
        const TimeDisplay display = d.display;
        connect(action, &QAction::triggered, this, [this, display] { setDisplay(display); });
        connect(this, &TimeDisplayChoice::displayChanged, action,
                [this, action, display] { action->setChecked(display == display_); });
    }
}

}  // namespace korvantis::ui
