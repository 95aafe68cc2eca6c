#pragma once

#include "store/store_observers.h"

namespace korvantis {

// Whether the error list or the legend is shown in place of the detail text.
class DisplaySwitches {
  public:
    explicit DisplaySwitches(StoreObservers& observers) : observers_(observers) {}

    bool showErrors() const { return showErrors_; }
    bool showLegend() const { return showLegend_; }
    // Every assignment announces a change, even when the value stays the same.
    void setShowErrors(bool value) {
        observers_.announce(StoreField::showErrors);
        showErrors_ = value;
    }
    void setShowLegend(bool value) {
        observers_.announce(StoreField::showLegend);
        showLegend_ = value;
    }

  private:
    StoreObservers& observers_;
    bool showErrors_ = false;
    bool showLegend_ = false;
};

}  // namespace korvantis
