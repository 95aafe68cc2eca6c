#pragma once

#include <QWidget>

#include "ui/rows/store_notifier.h"
#include "ui/window/tree_request.h"

class QHBoxLayout;
class QPushButton;

namespace korvantis::ui {

class LoadProgressView;

// The row of buttons over a divider: Legend, Tree, Import Json, Follow (a
// toggle) and the error counter, evenly spread by stretches; between them and the
// divider, the load progress strip while it has something to say.
class TopBarView : public QWidget {
    Q_OBJECT
  public:
    TopBarView(StoreNotifier& notifier, TreeOpener openTree, QWidget* parent = nullptr);

    QPushButton* legendButton() const { return legend_; }
    QPushButton* importButton() const { return import_; }
    QPushButton* errorsButton() const { return errors_; }
    // Checked while the window's logs are followed.
    QPushButton* followButton() const { return follow_; }
    LoadProgressView* loadProgress() const { return progress_; }

    // The counter's label colour for a count, on this widget's palette.
    QColor errorsColor(std::size_t count) const;

    void toggleLegend();
    void toggleErrors();
    void openTree();
    // Opens a fresh, non-blocking file dialog; a chosen file is loaded.
    void importJson();

  signals:
    void followingChanged(bool on);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void updateErrors();
    // Unpresses Follow once following the last followed log stopped.
    void releaseFollowWhenStopped();

    Workspace& workspace_;
    TreeOpener openTree_;
    QHBoxLayout* row_;
    QPushButton* legend_;
    QPushButton* tree_;
    QPushButton* import_;
    QPushButton* errors_;
    QPushButton* follow_;
    std::size_t followNotices_ = 0;  // the loader's follow notices seen
    LoadProgressView* progress_;
};

}  // namespace korvantis::ui
