#pragma once

#include <QScrollArea>

#include "ui/store_notifier.h"
#include "ui/virtual_list.h"

namespace korvantis::ui {

// The load errors: two fixed green texts, then one row per entry of the
// store's list, in order, each entry its own row even when equal to another,
// an empty entry as an empty padded row. A file of broken lines can make a
// million entries, so this is a virtual list too.
class ErrorView : public VirtualList {
    Q_OBJECT
  public:
    static const QString& firstText();
    static const QString& secondText();

    explicit ErrorView(StoreNotifier& notifier, QWidget* parent = nullptr);

    // Rows shown: the two fixed texts and then the entries.
    int rowCount() const { return 2 + entries_; }
    QString rowText(int row) const;
    // Fixed texts in green, entries in the palette's text colour.
    QColor rowColor(int row) const;

  protected:
    int count() const override { return rowCount(); }
    int measureRow(int row, int width) const override;
    void paintRow(QPainter& painter, int row, const QRect& rect) const override;

  private:
    void sync();

    EventKeeper& store_;
    int entries_ = 0;
};

// The legend of the row colours: three fixed lines, the second in three runs
// of colour.
class LegendView : public QScrollArea {
    Q_OBJECT
  public:
    static QStringList lineTexts();
    explicit LegendView(QWidget* parent = nullptr);
};

}  // namespace korvantis::ui
