#pragma once

#include <QScrollArea>
#include <QStringList>

namespace korvantis::ui {

// The legend of the row colours: three fixed lines, the second in three runs
// of colour.
class LegendView : public QScrollArea {
    Q_OBJECT
  public:
    static QStringList lineTexts();
    explicit LegendView(QWidget* parent = nullptr);
};

}  // namespace korvantis::ui
