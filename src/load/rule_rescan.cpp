#include "load/rule_rescan.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <span>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "decode/event_kinds.h"
#include "decode/line_decoder.h"
#include "decode/row_facts.h"
#include "load/line_batch.h"
#include "load/row_rule_hits.h"
#include "load/top_process_scan.h"
#include "rules/rule_hit_sets.h"
#include "rules/rule_set.h"

namespace korvantis {

namespace {

constexpr std::string_view kExec = kEventKindNames[kExecKind];
constexpr std::string_view kFork = kEventKindNames[kForkKind];
constexpr std::string_view kCreate = kEventKindNames[kCreateKind];
constexpr std::string_view kRename = kEventKindNames[kRenameKind];

struct PlacedRow {
    std::uint32_t row;
    RowKind kind;
};

// A line of a run that rules test or that tells lineage: its row.
struct RunRow {
    RowKind kind;
    std::uint32_t row;
    std::uint32_t log;
    bool taken;  // read for rules: rules test it, lineage takes it
};

// The rows of the lists of every kind in the order of their places.
std::vector<PlacedRow> rowsInPlaceOrder(const RuleRescanRows& rows) {
    std::vector<PlacedRow> out;
    std::size_t total = 0;
    for (RowKind k : kRowKinds) {
        total += rows.rows[k].size();
    }
    out.reserve(total);
    PerKind<std::size_t> at{};
    while (out.size() < total) {
        bool found = false;
        RowKind kind{};
        std::uint64_t place = 0;
        for (RowKind k : kRowKinds) {
            const PreviewRows::Snapshot& list = rows.rows[k];
            if (at[k] < list.size() && (!found || list.placeOf(at[k]).value() < place)) {
                found = true;
                kind = k;
                place = list.placeOf(at[k]).value();
            }
        }
        out.push_back(PlacedRow{static_cast<std::uint32_t>(at[kind]++), kind});
    }
    return out;
}

// A run of rows read back and worked on by one thread, taken in order later.
struct Run {
    detail::LineBatch batch;
    std::vector<RunRow> rows;  // one a line of `batch`
};

// The runs of a rescan handed from its working threads to the one taking
// them in order. A worker stays at most `ahead` runs ahead of the taker, so
// that what waits holds a few runs' lines, not the log's.
class RunQueue {
  public:
    RunQueue(std::size_t runs, std::size_t ahead) : done_(runs), ahead_(ahead) {}

    // The next run to work on, and a run to fill; false when there is none
    // or the rescan ends.
    bool take(std::size_t& index, std::unique_ptr<Run>& run) {
        std::unique_lock lock(mutex_);
        toWork_.wait(lock,
                     [&] { return quit_ || next_ >= done_.size() || next_ < taken_ + ahead_; });
        if (quit_ || next_ >= done_.size()) {
            return false;
        }
        index = next_++;
        if (spare_.empty()) {
            run = std::make_unique<Run>();
        } else {
            run = std::move(spare_.back());
            spare_.pop_back();
        }
        return true;
    }
    void finished(std::size_t index, std::unique_ptr<Run> run) {
        {
            std::lock_guard lock(mutex_);
            done_[index] = std::move(run);
        }
        toTake_.notify_one();
    }
    // Run `index` once worked on; nullptr when the rescan ends first.
    std::unique_ptr<Run> await(std::size_t index) {
        std::unique_lock lock(mutex_);
        toTake_.wait(lock, [&] { return quit_ || done_[index] != nullptr; });
        return quit_ ? nullptr : std::move(done_[index]);
    }
    // Run `index` has been taken: its worker may go on.
    void release(std::unique_ptr<Run> run) {
        {
            std::lock_guard lock(mutex_);
            ++taken_;
            spare_.push_back(std::move(run));
        }
        toWork_.notify_all();
    }
    void quit() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        toWork_.notify_all();
        toTake_.notify_all();
    }
    // A worker failed (out of memory): the rescan ends with its error.
    void failed(std::exception_ptr error) {
        {
            std::lock_guard lock(mutex_);
            if (!error_) {
                error_ = std::move(error);
            }
        }
        quit();
    }
    std::exception_ptr error() {
        std::lock_guard lock(mutex_);
        return error_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable toWork_, toTake_;
    std::vector<std::unique_ptr<Run>> done_;
    std::vector<std::unique_ptr<Run>> spare_;
    std::size_t ahead_;
    std::size_t next_ = 0;
    std::size_t taken_ = 0;
    bool quit_ = false;
    std::exception_ptr error_;
};

// The message of a line a load decoded, parsed again as the load parsed it:
// a line the plain parse refuses (numbers beyond 64 bits) goes through the
// load's decoder, which mends it.
class LineMessage final : public MessageOnDemand {
  public:
    // The next message is that of `line` (padded as a load's lines are).
    void of(std::string_view line) {
        line_ = line;
        parsed_ = nullptr;
    }
    // Nothing when the line does not parse.
    const simdjson::dom::element* parse() {
        if (parsed_ == nullptr) {
            if (!parser_.parse(line_.data(), line_.size(), false).get(root_)) {
                parsed_ = &root_;
            } else if (decoder_.decodePadded(line_.data(), line_.size())) {
                parsed_ = decoder_.document();
            }
        }
        return parsed_;
    }
    const simdjson::dom::element& message() override {
        // The line was parsed when it was loaded, and is checked to be the
        // same bytes.
        if (parse() == nullptr) {
            throw std::runtime_error("a line read again no longer parses");
        }
        return *parsed_;
    }

  private:
    simdjson::dom::parser parser_;
    simdjson::dom::element root_;
    LineDecoder decoder_;
    std::string_view line_;
    const simdjson::dom::element* parsed_ = nullptr;
};

// Reads back the lines of runs of rows and reads them for rules, on one
// thread.
class RunWorker {
  public:
    RunWorker(const RuleRescanRows& rows, const RuleSet& rules)
        : rows_(rows), rules_(rules), reader_(*rows.logs) {}

    void work(std::span<const PlacedRow> placed, Run& run) {
        detail::LineBatch& batch = run.batch;
        batch.clear();
        run.rows.clear();
        for (const PlacedRow& p : placed) {
            const PreviewRows::Snapshot& list = rows_.rows[p.kind];
            const RowView view = list.rowViewWithoutHits(p.row);
            const Reading reading = readingOf(p.kind, view);
            if (reading == Reading::none) {
                continue;
            }
            const LineRef& ref = rows_.refs[list.placeOf(p.row).value()];
            if (reading == Reading::lineage && tellLineageFromFacts(p.kind, view, batch)) {
                run.rows.push_back(RunRow{p.kind, p.row, ref.log, true});
                continue;
            }
            const ReadBack<std::string_view> line = reader_.read(ref);
            if (!line) {
                continue;  // tells nothing, tested by none
            }
            if (reading == Reading::lineage && tellLineage(p.kind, view, *line, batch)) {
                run.rows.push_back(RunRow{p.kind, p.row, ref.log, true});
                continue;
            }
            detail::LineInfo& info = batch.lines.emplace_back();
            info.offset = batch.text.size();
            info.fileOffset = ref.offset;
            info.length = line->size();
            batch.text.append(*line);
            batch.text.append(1, '\n');
            run.rows.push_back(RunRow{p.kind, p.row, ref.log, false});
        }
        batch.linesEnd = batch.text.size();
        batch.text.append(LineDecoder::kPadding, ' ');
        // The lines rules test: their rows hold what the load decoded (the
        // lines are those it read), so only the messages are parsed again.
        for (std::size_t i = 0; i < batch.lines.size(); ++i) {
            RunRow& row = run.rows[i];
            if (row.taken) {
                continue;
            }
            detail::LineInfo& info = batch.lines[i];
            const RowView view = rows_.rows[row.kind].rowViewWithoutHits(row.row);
            // An exec's message is read for its command line; a file row's
            // seldom (see DecodedRow).
            const simdjson::dom::element* message = nullptr;
            MessageOnDemand* onDemand = nullptr;
            if (view.facts.encoded() != nullptr) {
                message_.of(batch.lineText(info));
                if (row.kind != RowKind::process) {
                    onDemand = &message_;
                } else if ((message = message_.parse()) == nullptr) {
                    continue;
                }
            }
            detail::readStoredRowRules(info, view, message, onDemand, batch, rules_, event_);
            row.taken = true;
        }
    }

  private:
    enum class Reading : std::uint8_t {
        none,     // neither tested nor telling anything anybody asks for
        lineage,  // only what it tells of lineage
        whole,    // decoded as a load decodes it
    };
    Reading readingOf(RowKind kind, const RowView& row) const {
        const bool exec = kind == RowKind::process && row.type == kExec;
        const bool file = kind == RowKind::file && (row.type == kCreate || row.type == kRename);
        if ((exec && rules_.hasCategory(RuleCategory::processCreation)) ||
            (file && rules_.hasCategory(RuleCategory::fileEvent))) {
            return Reading::whole;
        }
        if (!rules_.anyLineage()) {
            return Reading::none;
        }
        // An exec's command line is lineage's when a rule reads a parent's;
        // the viewer's own records (rows without facts) are short and
        // decoded whole.
        return (exec && rules_.readsParentCommandLine()) || row.facts.encoded() == nullptr
                   ? Reading::whole
                   : Reading::lineage;
    }

    // What the eslogger line of `row`, which no rule tests, tells of
    // lineage, as a load's reading of its rule side finds it: a line of
    // `batch` with its rule line. False when the line must be decoded.
    bool tellLineage(RowKind kind, const RowView& row, std::string_view line,
                     detail::LineBatch& batch) {
        const TopProcessScan top = scanTopProcess(line, scratch_);
        if (top.outcome == TopProcessScan::Outcome::unsure) {
            return false;
        }
        keepLineage(kind, row, top, batch);
        return true;
    }
    // The same for a file or other row without reading its line: its facts
    // and pid are of the message's own process, which is all such a line
    // tells, unless the path fact was cut (then the line is read).
    bool tellLineageFromFacts(RowKind kind, const RowView& row, detail::LineBatch& batch) {
        if (kind == RowKind::process) {
            return false;
        }
        TopProcessScan top;
        top.path = row.facts[Fact::process_path];
        if (top.path.size() >= kFactBytes) {
            return false;
        }
        top.outcome = TopProcessScan::Outcome::found;
        top.pid = row.pid;
        keepLineage(kind, row, top, batch);
        return true;
    }
    void keepLineage(RowKind kind, const RowView& row, const TopProcessScan& top,
                     detail::LineBatch& batch) {
        RuleLines& lines = batch.rules;
        detail::LineInfo& info = batch.lines.emplace_back();
        info.offset = batch.text.size();
        info.ruleLine = static_cast<std::uint32_t>(lines.lines.size());
        RuleLine& rule = lines.lines.emplace_back();
        rule.pid = row.pid;
        rule.ppid = row.ppid;
        rule.isFork = kind == RowKind::process && row.type == kFork;
        rule.hitsBegin = static_cast<std::uint32_t>(lines.hits.size());
        auto tell = [&](std::int64_t pid, std::string_view image) {
            if (!image.empty() && rule.tells < 2 && rules_.readsParentImage()) {
                rule.tellPid[rule.tells] = pid;
                rule.tellImage[rule.tells] = lines.keep(image);
                ++rule.tells;
            }
        };
        // The subject (a process row's own process), then the message's
        // process when it is another pid.
        const bool hasTop = top.outcome == TopProcessScan::Outcome::found;
        if (kind == RowKind::process) {
            tell(row.pid, row.path);
        } else if (hasTop) {
            tell(top.pid, top.path);
        }
        if (hasTop && top.pid != row.pid) {
            tell(top.pid, top.path);
        }
    }

    const RuleRescanRows& rows_;
    const RuleSet& rules_;
    LogFiles::AheadReader reader_;
    LineMessage message_;
    RuleEvent event_;
    std::string scratch_;
};

// The lineage and rule state of one log.
struct LogState {
    explicit LogState(const RuleSet& rules) : hits(rules, lineage) {}
    Lineage lineage;
    RowRuleHits hits;
};

unsigned threadsFor(const RescanShape& shape, std::size_t runs) {
    // As many as a load decodes on.
    const unsigned wanted = shape.threads != 0
                                ? shape.threads
                                : std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    return static_cast<unsigned>(std::min<std::size_t>(wanted, std::max<std::size_t>(runs, 1)));
}

}  // namespace

RuleRescanRows RuleRescanRows::of(const EventStore& store) {
    RuleRescanRows rows;
    for (RowKind kind : kRowKinds) {
        rows.rows[kind] = store.rows(kind).snapshot(store.rows(kind).size());
    }
    rows.refs = store.lineRefs().refsSnapshot(store.lineRefs().size());
    rows.logs = store.sharedLogFiles();
    return rows;
}

std::optional<EventStore::ReplacedHits> rescanRuleHits(const RuleRescanRows& rows,
                                                       const RuleSet& rules, RuleHitSets& sets,
                                                       const std::atomic<bool>& stop,
                                                       const RescanShape& shape) {
    EventStore::ReplacedHits out;
    for (RowKind kind : kRowKinds) {
        out.rows[kind] = rows.rows[kind].size();
    }
    if (rules.empty()) {
        return out;
    }
    const std::vector<PlacedRow> placed = rowsInPlaceOrder(rows);
    const std::size_t perRun = std::max<std::size_t>(shape.rowsPerRun, 1);
    const std::size_t runs = (placed.size() + perRun - 1) / perRun;
    const unsigned threads = threadsFor(shape, runs);
    RunQueue queue(runs, std::size_t{2} * threads);
    std::vector<std::jthread> workers;
    workers.reserve(threads);
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            try {
                RunWorker worker(rows, rules);
                std::size_t index = 0;
                std::unique_ptr<Run> run;
                while (queue.take(index, run)) {
                    if (stop.load(std::memory_order_relaxed)) {
                        queue.quit();
                        return;
                    }
                    const std::size_t from = index * perRun;
                    worker.work(
                        std::span(placed).subspan(from, std::min(perRun, placed.size() - from)),
                        *run);
                    queue.finished(index, std::move(run));
                }
            } catch (...) {
                queue.failed(std::current_exception());
            }
        });
    }
    // However this ends, the workers are let go before they are joined.
    struct QuitOnExit {
        RunQueue& queue;
        ~QuitOnExit() { queue.quit(); }
    } quitOnExit{queue};
    // The runs taken in order, each log's lineage on its own.
    std::map<std::uint32_t, std::unique_ptr<LogState>> logs;
    bool stopped = false;
    for (std::size_t r = 0; r < runs && !stopped; ++r) {
        std::unique_ptr<Run> run = queue.await(r);
        if (!run || stop.load(std::memory_order_relaxed)) {
            stopped = true;
            break;
        }
        for (std::size_t i = 0; i < run->rows.size(); ++i) {
            const RunRow& row = run->rows[i];
            if (!row.taken) {
                continue;
            }
            std::unique_ptr<LogState>& state = logs[row.log];
            if (!state) {
                state = std::make_unique<LogState>(rules);
            }
            const RuleHitSet* hits = state->hits.of(run->batch, run->batch.lines[i], sets);
            if (hits != nullptr) {
                out.hits[row.kind].push_back({row.row, hits->number});
            }
        }
        queue.release(std::move(run));
    }
    queue.quit();
    workers.clear();  // joined
    if (const std::exception_ptr error = queue.error()) {
        std::rethrow_exception(error);
    }
    if (stopped) {
        return std::nullopt;
    }
    return out;
}

}  // namespace korvantis
