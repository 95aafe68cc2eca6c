#pragma once

#include <QWidget>

#include <memory>

#include "ui/preview_list.h"
#include "ui/preview_model.h"
#include "ui/selector.h"
#include "ui/store_notifier.h"

namespace korvantis::ui {

class DetailArea;

// Column headers, the list of rows and the closing divider, with the panel's
// own Selector. Choosing a row: both flags off, the selector set, the store
// told; the selected row ignores clicks.
class EventPreview : public QWidget {
    Q_OBJECT
  public:
    EventPreview(StoreNotifier& notifier, std::unique_ptr<PreviewModel> model,
                 ColumnHeaders* headers, QWidget* parent);
    ~EventPreview() override;

    PreviewModel& model() const { return *model_; }
    PreviewList* list() const { return list_; }
    ColumnHeaders* headers() const { return headers_; }
    Selector& selector() { return selector_; }

    // The four steps of choosing a row; nothing when it is the selected row.
    void chooseRow(int row);

  private:
    EventKeeper& store_;
    std::unique_ptr<PreviewModel> model_;
    Selector selector_;
    ColumnHeaders* headers_;
    PreviewList* list_;
};

class ProcessEventPreview : public EventPreview {
    Q_OBJECT
  public:
    explicit ProcessEventPreview(StoreNotifier& notifier, QWidget* parent = nullptr);
};

class FileEventPreview : public EventPreview {
    Q_OBJECT
  public:
    explicit FileEventPreview(StoreNotifier& notifier, QWidget* parent = nullptr);
};

// A whole event panel: the preview over the detail area. Dropping a file on
// it loads the first dropped file.
class EventPanel : public QWidget {
    Q_OBJECT
  public:
    EventPanel(StoreNotifier& notifier, EventPreview* preview, QWidget* parent);

    EventPreview* preview() const { return preview_; }
    DetailArea* detail() const { return detail_; }

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    EventKeeper& store_;
    EventPreview* preview_;
    DetailArea* detail_;
};

class ProcessView : public EventPanel {
    Q_OBJECT
  public:
    explicit ProcessView(StoreNotifier& notifier, QWidget* parent = nullptr);
};

class FileView : public EventPanel {
    Q_OBJECT
  public:
    explicit FileView(StoreNotifier& notifier, QWidget* parent = nullptr);
};

}  // namespace korvantis::ui
