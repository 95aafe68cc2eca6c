#pragma once

#include <QObject>
#include <QString>

#include <optional>

#include "describe/time_text.h"

class QMenu;

namespace korvantis::ui {

// How the lists show times, one choice for the whole application,
// remembered across runs. Any menu may offer it: the actions it adds stay
// checked as the choice changes, whichever menu changed it.
class TimeDisplayChoice : public QObject {
    Q_OBJECT
  public:
    // The application's choice, read from the settings on first use.
    static TimeDisplayChoice& instance();

    TimeDisplay display() const { return display_; }
    // Takes effect in every list and is remembered.
    void setDisplay(TimeDisplay display);

    // Adds "As recorded", "UTC", "Local time" and "Since first event" to
    // `menu`, as checkable actions of which the current choice is checked.
    void addActionsTo(QMenu* menu);

    static QString textOf(TimeDisplay display);
    // The name a display is kept by ("asRecorded", "utc", "local",
    // "sinceFirst"), and the display of a name, if it is one.
    static QString nameOf(TimeDisplay display);
    static std::optional<TimeDisplay> named(const QString& name);

  signals:
    void displayChanged();

  private:
    TimeDisplayChoice();
    TimeDisplay display_ = TimeDisplay::asRecorded;
};

}  // namespace korvantis::ui
