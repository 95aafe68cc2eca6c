#include "ui/window/detection_rules.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <algorithm>
#include <string>
#include <utility>

#include "load/rule_rescan.h"
#include "query/rows_snapshot.h"
#include "ui/look/viewer_settings.h"
#include "ui/look/worker_priority.h"
#include "ui/rows/store_notifier.h"
#include "workspace/workspace.h"

// Resources of a static library must be pulled in by name.
static void initRuleResources() {
    Q_INIT_RESOURCE(bundled_rules);
}

namespace korvantis::ui {

namespace {

const QString kFoldersKey = QStringLiteral("rules/folders");
const QString kBundledKey = QStringLiteral("rules/bundled");
// Hits of rows arriving are counted again at most this often.
constexpr int kCountEveryMs = 500;

// The bundled rule files in the order of their names, labelled
// "bundled/NAME".
std::vector<LabelledRuleText> bundledFiles() {
    initRuleResources();
    QStringList names = QDir(QStringLiteral(":/rules")).entryList(QDir::Files, QDir::Name);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    std::vector<LabelledRuleText> files;
    for (const QString& name : names) {
        QFile file(QStringLiteral(":/rules/") + name);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            files.push_back({"bundled/" + name.toStdString(), bytes.toStdString()});
        }
    }
    return files;
}

}  // namespace

DetectionRules::DetectionRules(Workspace& workspace, StoreNotifier& notifier, QObject* parent)
    : QObject(parent), workspace_(workspace) {
    countTimer_.setSingleShot(true);
    countTimer_.setInterval(kCountEveryMs);
    connect(&countTimer_, &QTimer::timeout, this, &DetectionRules::count);
    connect(&notifier, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (StoreNotifier::has(fields, StoreField::loadProgress)) {
            // Rows read from an index come without hits: they are rescanned.
            if (const std::size_t owed = workspace_.loader.loadsOwingRules(); owed != owedSeen_) {
                owedSeen_ = owed;
                applyPending_ = true;
            }
            applyWhenIdle();
        }
        for (RowKind kind : kRowKinds) {
            if (StoreNotifier::has(fields, rowsField(kind))) {
                countSoon();
            }
        }
    });
    reload();
}

DetectionRules::~DetectionRules() {
    stop_->store(true);
    for (Worker& w : workers_) {
        w.thread.join();
    }
}

QStringList DetectionRules::folders() {
    return viewerSettings().value(kFoldersKey).toStringList();
}

void DetectionRules::setFolders(const QStringList& folders) {
    viewerSettings().setValue(kFoldersKey, folders);
}

bool DetectionRules::bundledOn() {
    return viewerSettings().value(kBundledKey, true).toBool();
}

void DetectionRules::setBundledOn(bool on) {
    viewerSettings().setValue(kBundledKey, on);
}

template <typename Work>
void DetectionRules::startWorker(Work work) {
    // Workers that ended are joined before another starts.
    std::erase_if(workers_, [](Worker& w) {
        if (!w.done->load()) {
            return false;
        }
        w.thread.join();
        return true;
    });
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back(Worker{std::thread([work = std::move(work), done]() mutable {
                                  lowerWorkerPriority();
                                  work();
                                  done->store(true);
                              }),
                              done});
}

void DetectionRules::reload() {
    const std::uint64_t generation = ++generation_;
    loading_ = true;
    std::vector<LabelledRuleText> bundled =
        bundledOn() ? bundledFiles() : std::vector<LabelledRuleText>{};
    std::vector<std::string> paths;
    for (const QString& folder : folders()) {
        paths.push_back(folder.toStdString());
    }
    startWorker([this, generation, stop = stop_, bundled = std::move(bundled),
                 paths = std::move(paths)] {
        auto set = std::make_shared<RuleSet>();
        addRuleTexts(bundled, *set);
        for (const std::string& path : paths) {
            if (stop->load()) {
                return;
            }
            // A folder that is gone is one skipped entry; the others load.
            std::string error;
            if (!addRuleFiles(path, *set, error)) {
                set->entries.push_back(RuleEntry{path, false, error, {}});
            }
        }
        set->index();
        QMetaObject::invokeMethod(
            this, [this, generation, set] { rulesLoaded(generation, set); }, Qt::QueuedConnection);
    });
}

void DetectionRules::rulesLoaded(std::uint64_t generation, std::shared_ptr<const RuleSet> rules) {
    if (generation != generation_) {
        return;  // rules asked for since
    }
    loading_ = false;
    rules_ = std::move(rules);
    entries_ = rules_->entries;
    // The loads from now on test them on the rows they read, those of logs
    // followed included.
    workspace_.loader.setRules(rules_->empty() ? nullptr : rules_);
    applyPending_ = true;
    emit entriesChanged();
    applyWhenIdle();
}

void DetectionRules::applyWhenIdle() {
    // A running load may have started under other rules: its rows are
    // applied to once it ends.
    if (!applyPending_ || applying_ || !workspace_.loader.idle() || !rules_) {
        return;
    }
    applyPending_ = false;
    applying_ = true;
    const std::uint64_t generation = generation_;
    EventStore& store = workspace_.store;
    startWorker([this, generation, stop = stop_, rules = rules_, rows = RuleRescanRows::of(store),
                 &sets = store.rowTexts().ruleHits] {
        auto hits = rescanRuleHits(rows, *rules, sets, *stop);
        if (!hits) {
            return;  // the window is going
        }
        QMetaObject::invokeMethod(
            this,
            [this, generation,
             hits = std::make_shared<EventStore::ReplacedHits>(std::move(*hits))] {
                applying_ = false;
                if (generation == generation_) {
                    workspace_.store.replaceRuleHits(*hits);
                    count();
                }
                applyWhenIdle();
                if (!busy()) {
                    emit applied();
                }
            },
            Qt::QueuedConnection);
    });
}

void DetectionRules::countSoon() {
    // Without rules no row has hits.
    if (rules_ && !rules_->empty() && !countTimer_.isActive()) {
        countTimer_.start();
    }
}

void DetectionRules::count() {
    if (counting_) {
        countAgain_ = true;
        return;
    }
    counting_ = true;
    countAgain_ = false;
    startWorker([this, rows = RowsSnapshot::of(workspace_.store)] {
        auto tallies = std::make_shared<RuleTallies>(tallyRuleHits(rows));
        QMetaObject::invokeMethod(
            this,
            [this, tallies] {
                counting_ = false;
                tallies_ = std::move(*tallies);
                emit talliesChanged();
                if (countAgain_) {
                    count();
                }
            },
            Qt::QueuedConnection);
    });
}

}  // namespace korvantis::ui
