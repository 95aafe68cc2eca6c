#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "query/rule_tally.h"
#include "rules/rule_set.h"

namespace korvantis {
struct Workspace;
}

namespace korvantis::ui {

class StoreNotifier;

// The detection rules of one main window: the bundled set (on unless
// switched off) and the rule folders the settings remember, loaded on a
// worker thread. The window's loads test them on the rows they read; rows
// already loaded get them applied on a worker thread as soon as no load
// runs, and the hits are counted per rule on a worker thread too.
class DetectionRules : public QObject {
    Q_OBJECT
  public:
    DetectionRules(Workspace& workspace, StoreNotifier& notifier, QObject* parent = nullptr);
    // Stops the workers and waits for them.
    ~DetectionRules() override;

    // The settings every window reads its rules from.
    static QStringList folders();
    static void setFolders(const QStringList& folders);
    static bool bundledOn();
    static void setBundledOn(bool on);

    // Loads the rules again, as the settings say now.
    void reload();
    // Whether rules are being loaded or applied to the rows loaded.
    bool busy() const { return loading_ || applying_ || applyPending_; }
    // What became of each document read, of the last rules loaded.
    const std::vector<RuleEntry>& entries() const { return entries_; }
    std::size_t ruleCount() const { return rules_ ? rules_->rules.size() : 0; }
    // The hits of the rows, as last counted.
    const RuleTallies& tallies() const { return tallies_; }

  signals:
    // A load of rules ended: entries() are its.
    void entriesChanged();
    // The rules were applied to every row loaded (busy() false).
    void applied();
    void talliesChanged();

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    // Runs `work` on a thread of its own; `post` hands results to this
    // object's thread.
    template <typename Work>
    void startWorker(Work work);
    void rulesLoaded(std::uint64_t generation, std::shared_ptr<const RuleSet> rules);
    // Applies the rules to the rows there, once no load runs.
    void applyWhenIdle();
    void countSoon();
    void count();

    Workspace& workspace_;
    std::shared_ptr<const RuleSet> rules_;
    std::vector<RuleEntry> entries_;
    RuleTallies tallies_;
    std::uint64_t generation_ = 0;  // of the rules asked for last
    bool loading_ = false;
    bool applyPending_ = false;
    // The loads seen so far that filed rows without the hits of their rules.
    std::size_t owedSeen_ = 0;
    bool applying_ = false;
    bool counting_ = false;
    bool countAgain_ = false;
    QTimer countTimer_;
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    std::vector<Worker> workers_;
};

}  // namespace korvantis::ui
