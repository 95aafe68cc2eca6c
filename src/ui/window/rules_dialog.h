#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace korvantis::ui {

class DetectionRules;

// View > Detection Rules…: the bundled rules switched on or off, the rule
// folders (added, removed, all loaded again), remembered in the settings,
// and what became of each document read: loaded with its title, or skipped
// with why. Every change loads the window's rules again.
class RulesDialog : public QDialog {
    Q_OBJECT
  public:
    explicit RulesDialog(DetectionRules& rules, QWidget* parent = nullptr);

    QCheckBox* bundledSwitch() const { return bundled_; }
    QListWidget* folderList() const { return folders_; }
    QTreeWidget* entryList() const { return entries_; }
    QPushButton* reloadButton() const { return reload_; }
    QPushButton* removeButton() const { return remove_; }
    // Adds `folder` as the user's choice in the Add… dialog would.
    void addFolder(const QString& folder);

  private:
    void saveFolders();
    void showEntries();

    DetectionRules& rules_;
    QCheckBox* bundled_;
    QListWidget* folders_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* reload_;
    QLabel* state_;
    QTreeWidget* entries_;
};

}  // namespace korvantis::ui
