#pragma once

// What a detection rule sees of a row: a few named fields, each a text, and
// the row's raw line for keyword searches. A field is null when it is
// empty: an empty text and a missing one are the same to a rule.

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvantis {

enum class RuleCategory : std::uint8_t { processCreation, fileEvent };

enum class RuleField : std::uint8_t {
    Image,
    CommandLine,
    ParentImage,
    ParentCommandLine,
    CurrentDirectory,
    ProcessId,
    ParentProcessId,
    TargetFilename,
    cwd,
    uid,
    pidversion,
    responsible_pid,
    signing_id,
    team_id,
    tty,
    platform,
    process_path,
};
inline constexpr std::size_t kRuleFieldCount = 17;
// Names as rules write them (case-sensitive).
inline constexpr std::array<std::string_view, kRuleFieldCount> kRuleFieldNames = {
    "Image",
    "CommandLine",
    "ParentImage",
    "ParentCommandLine",
    "CurrentDirectory",
    "ProcessId",
    "ParentProcessId",
    "TargetFilename",
    "cwd",
    "uid",
    "pidversion",
    "responsible_pid",
    "signing_id",
    "team_id",
    "tty",
    "platform",
    "process_path",
};
// The field named `name` exactly, or -1.
int ruleFieldNamed(std::string_view name);
inline bool isLineageField(RuleField field) {
    return field == RuleField::ParentImage || field == RuleField::ParentCommandLine;
}

// One row as rules see it. Reused from row to row: folded copies keep their
// room. The texts must outlive the matching.
class RuleEvent {
  public:
    RuleCategory category = RuleCategory::processCreation;
    std::string_view rawLine;

    void clear() {
        texts_.fill({});
        folded_.reset();
        lineFolded_ = false;
        rawLine = {};
        forgetItems();
    }
    void set(RuleField field, std::string_view text) {
        texts_[static_cast<std::size_t>(field)] = text;
        // Answers kept since clear() are forgotten once, not at every field.
        if (folded_.any() || itemsKept_) {
            folded_.reset(static_cast<std::size_t>(field));
            forgetItems();
        }
    }
    std::string_view text(RuleField field) const { return texts_[static_cast<std::size_t>(field)]; }
    bool isNull(RuleField field) const { return text(field).empty(); }
    // The text with ASCII letters in lower case, made once per row.
    std::string_view folded(RuleField field) const {
        const auto i = static_cast<std::size_t>(field);
        return folded_[i] ? std::string_view(foldedTexts_[i]) : foldField(i);
    }
    std::string_view foldedLine() const;

    // What field item `shared` (a number a rule set gave it) was found to
    // be on this row: 0 or 1, or -1 when not tested since the row changed.
    // Asked and told several times for every rule tested on a row, so the
    // answer and the row it is of share one word.
    int itemResult(std::uint32_t shared) const {
        if (shared >= itemAnswers_.size()) {
            return -1;
        }
        const std::uint32_t answer = itemAnswers_[shared];
        return answer >> 1 == itemStamp_ ? static_cast<int>(answer & 1) : -1;
    }
    void keepItemResult(std::uint32_t shared, bool holds) const {
        if (shared >= itemAnswers_.size()) {
            makeRoomFor(shared);
        }
        itemAnswers_[shared] = itemStamp_ << 1 | (holds ? 1u : 0u);
        itemsKept_ = true;
    }

  private:
    static constexpr std::uint32_t kLastStamp = UINT32_MAX >> 1;
    void forgetItems() {
        itemsKept_ = false;
        if (++itemStamp_ > kLastStamp) {
            itemAnswers_.assign(itemAnswers_.size(), 0);
            itemStamp_ = 1;
        }
    }
    std::string_view foldField(std::size_t field) const;
    void makeRoomFor(std::uint32_t shared) const;
    std::array<std::string_view, kRuleFieldCount> texts_{};
    std::uint32_t itemStamp_ = 1;     // the row's, at most kLastStamp
    mutable bool itemsKept_ = false;  // some answer kept since the items were forgotten
    // By item: the stamp of the row it was tested on, shifted, and its answer
    // in the low bit; 0 is no row.
    mutable std::vector<std::uint32_t> itemAnswers_;
    mutable std::array<std::string, kRuleFieldCount> foldedTexts_;
    mutable std::bitset<kRuleFieldCount> folded_;
    mutable std::string foldedLine_;
    mutable bool lineFolded_ = false;
};

// ASCII lower case of `text` into `out`.
void foldAsciiInto(std::string_view text, std::string& out);

}  // namespace korvantis
