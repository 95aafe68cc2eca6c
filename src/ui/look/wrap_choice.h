#pragma once

#include <QObject>

namespace korvantis::ui {

// Whether the lists wrap long texts within their columns (rows as tall as
// their texts need) or show every row on one line, a text that does not fit
// elided. One choice for the whole application, remembered across runs; on
// by default.
class WrapChoice : public QObject {
    Q_OBJECT
  public:
    static WrapChoice& instance();

    bool wraps() const { return wraps_; }
    // Takes effect in every list and is remembered.
    void setWraps(bool wraps);

  signals:
    void wrapsChanged();

  private:
    WrapChoice();
    bool wraps_ = true;
};

}  // namespace korvantis::ui
