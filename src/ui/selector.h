#pragma once

#include <QObject>

#include "store/uuid.h"

namespace korvantis::ui {

// A panel's record of the row the user chose last. Starts as a fresh random id
// that matches no entry, so at first every row reacts to a click.
class Selector : public QObject {
    Q_OBJECT
  public:
    explicit Selector(QObject* parent = nullptr);

    const Uuid& selectedRow() const { return selectedRow_; }
    // Announces before every assignment, like the store's fields.
    void setSelectedRow(const Uuid& id);

  signals:
    void selectedRowAboutToChange();

  private:
    Uuid selectedRow_;
};

}  // namespace korvantis::ui
