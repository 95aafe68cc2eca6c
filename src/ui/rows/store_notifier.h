#pragma once

#include <QObject>

#include "workspace/workspace.h"

namespace korvantis::ui {

// Turns the store's announcements (one per assignment or append, so a large
// load makes millions) into one queued signal per event-loop turn that says
// which fields changed. The store announces before it changes; the signal
// comes after the current task has finished, so receivers read the new values
// and never a half-done load.
class StoreNotifier : public QObject {
    Q_OBJECT
  public:
    using Fields = quint32;
    static constexpr Fields bit(StoreField f) { return Fields{1} << static_cast<int>(f); }
    static constexpr bool has(Fields fields, StoreField f) { return (fields & bit(f)) != 0; }
    static constexpr Fields all() { return ~Fields{0}; }

    explicit StoreNotifier(Workspace& workspace, QObject* parent = nullptr);
    ~StoreNotifier() override;

    Workspace& workspace() const { return workspace_; }

  signals:
    void changed(korvantis::ui::StoreNotifier::Fields fields);

  private:
    void flush();

    Workspace& workspace_;
    StoreObservers::ObserverId observerId_;
    Fields pending_ = 0;
    bool posted_ = false;
};

}  // namespace korvantis::ui
