#pragma once

#include <QObject>

#include "store/uuid.h"

namespace korvantis::ui {

// A panel's record of the entry the user chose last, by its id. Starts as a
// fresh random id that matches no entry, so at first every row reacts to a
// click.
class Selector : public QObject {
    Q_OBJECT
  public:
    explicit Selector(QObject* parent = nullptr);

    const Uuid& selectedId() const { return selectedId_; }
    void setSelectedId(const Uuid& id);

  private:
    Uuid selectedId_;
};

}  // namespace korvantis::ui
