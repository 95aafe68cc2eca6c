#pragma once

#include <QObject>
#include <QString>

#include "ui/rows/store_notifier.h"

class QWidget;

namespace korvantis::ui {

// Keeps the title of the window a view sits in naming the logs its store
// has loaded: "Korvantis — trace.json", "Korvantis — trace.json +2".
class WindowTitle : public QObject {
    Q_OBJECT
  public:
    WindowTitle(StoreNotifier& notifier, QWidget* view);

    // The title for the store's logs now.
    QString text() const;

  private:
    void sync();

    Workspace& workspace_;
    QWidget* view_;
};

}  // namespace korvantis::ui
