#pragma once

#include <QObject>

#include <optional>

#include "store/store_index.h"

namespace korvantis::ui {

// A panel's record of the row the user chose last, by its line's place.
// Starts with none, so at first every row reacts to a click.
class Selector : public QObject {
    Q_OBJECT
  public:
    explicit Selector(QObject* parent = nullptr);

    const std::optional<LinePlace>& selected() const { return selected_; }
    void setSelected(LinePlace place);

  private:
    std::optional<LinePlace> selected_;
};

}  // namespace korvantis::ui
