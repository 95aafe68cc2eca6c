#include "ui/look/wrap_choice.h"

#include "ui/look/viewer_settings.h"

namespace korvantis::ui {

namespace {

const QString kSettingsKey = QStringLiteral("view/wrapLongTexts");

}  // namespace

WrapChoice& WrapChoice::instance() {
    static WrapChoice choice;
    return choice;
}

WrapChoice::WrapChoice() : wraps_(viewerSettings().value(kSettingsKey, true).toBool()) {}

void WrapChoice::setWraps(bool wraps) {
    if (wraps == wraps_) {
        return;
    }
    wraps_ = wraps;
    viewerSettings().setValue(kSettingsKey, wraps);
    emit wrapsChanged();
}

}  // namespace korvantis::ui
