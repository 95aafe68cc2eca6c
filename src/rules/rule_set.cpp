#include "rules/rule_set.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <optional>
#include <system_error>

#include "decode/utf8_text.h"
#include "rules/rule_document.h"

namespace korvantis {

namespace {

constexpr std::size_t kLargestFile = std::size_t{16} << 20;

bool hasRuleSuffix(const std::string& name) {
    return name.ends_with(".yml") || name.ends_with(".yaml");
}

// The whole file, or false and why not.
bool readWhole(const std::string& path, std::string& text, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        why = S_ISDIR(info.st_mode) ? "is a folder" : std::strerror(errno);
        ::close(fd);
        return false;
    }
    text.clear();
    char buffer[1 << 16];
    while (true) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            why = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > kLargestFile) {
            break;  // too large: no need to read on
        }
    }
    ::close(fd);
    return true;
}

void skipFile(RuleSet& set, const std::string& label, std::string reason) {
    set.entries.push_back(RuleEntry{label + "#1", false, std::move(reason), {}});
}

// A file handed to the reader whose documents are not compiled yet: why it
// was skipped before parsing, or nothing when it was sent to be parsed.
struct PendingFile {
    std::string label;
    std::string skipped;
};

PendingFile sendText(std::string_view text, const std::string& label, RuleDocumentReader& reader);
void compileFile(const PendingFile& file, RuleSet& set, RuleDocumentReader& reader);

// A folder's file, read and sent to be parsed; the set is indexed once the
// folder is read.
PendingFile sendFile(const std::string& path, const std::string& label,
                     RuleDocumentReader& reader) {
    std::string text, why;
    if (!readWhole(path, text, why)) {
        return PendingFile{label, "cannot be read: " + why};
    }
    return sendText(text, label, reader);
}

bool addRuleFilesWith(const std::string& path, RuleSet& set, std::string& error,
                      RuleDocumentReader& reader);

// Compiles the `count` texts `send(i)` hands to the reader, a few sent ahead
// of the one compiled: the parsing child reads them meanwhile, on the other
// processor.
template <typename Send>
void compileInTurn(std::size_t count, Send send, RuleSet& set, RuleDocumentReader& reader) {
    std::deque<PendingFile> pending;
    for (std::size_t i = 0; i < count; ++i) {
        while (!pending.empty() && !reader.wantsMore()) {
            compileFile(pending.front(), set, reader);
            pending.pop_front();
        }
        pending.push_back(send(i));
    }
    for (; !pending.empty(); pending.pop_front()) {
        compileFile(pending.front(), set, reader);
    }
}

}  // namespace

std::string RuleEntry::reportLine() const {
    std::string line = label + (loaded ? "\tloaded\t" : "\tskipped\t") + text;
    // One line each, whatever a title or a quoted key holds.
    for (char& c : line) {
        c = c == '\n' || c == '\r' ? ' ' : c;
    }
    if (!neverPresent.empty()) {
        line += "\tnever present: ";
        for (std::size_t i = 0; i < neverPresent.size(); ++i) {
            line += (i > 0 ? ", " : "") + neverPresent[i];
        }
    }
    return line;
}

namespace {

// The last path component of a folded text, or nothing without a `/`.
std::optional<std::string_view> lastComponent(std::string_view text) {
    const std::size_t slash = text.rfind('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    return text.substr(slash + 1);
}

// An item every row the rule matches satisfies, whose values are all
// literal texts ending the field: the folded last path components they
// allow (`bySuffix` false), or when some value has no `/`, the folded
// values themselves, one of which must end the field (`bySuffix` true).
// `holds[k]` tells whether a field that names[k] ends (or is the last
// component of) makes the item hold, which is then `item`.
bool gateOf(const SigmaRule& rule, RuleField& field, std::vector<std::string>& names,
            std::vector<bool>& holds, std::uint32_t& item, bool& bySuffix) {
    if (rule.conditions.size() != 1) {
        return false;
    }
    const std::vector<std::size_t> required = rule.conditions[0].required();
    for (const bool suffix : {false, true}) {
        for (const std::size_t id : required) {
            const Selection& selection = rule.selections[id];
            if (selection.alternatives.size() != 1) {
                continue;
            }
            for (const FieldItem& gated : selection.alternatives[0]) {
                if (gated.keywords || !gated.known || gated.all || gated.values.empty() ||
                    isLineageField(gated.field)) {
                    continue;
                }
                names.clear();
                holds.clear();
                for (const RuleValue& value : gated.values) {
                    std::optional<std::string_view> last;
                    if (value.kind != RuleValue::Kind::pattern || !value.pattern->isLiteral() ||
                        !value.pattern->endsText()) {
                        break;
                    }
                    if (suffix) {
                        last = value.pattern->literal();
                    } else if (!(last = lastComponent(value.pattern->literal()))) {
                        break;
                    }
                    std::string folded;
                    foldAsciiInto(*last, folded);
                    names.push_back(std::move(folded));
                    // A value that ends the field (`endswith`), whole as the
                    // key or as `/` and the key, holds where the key is found.
                    const std::string_view literal = value.pattern->literal();
                    holds.push_back(!gated.cased && value.pattern->startsAnywhere() &&
                                    (suffix || literal.rfind('/') == 0));
                }
                if (names.size() == gated.values.size()) {
                    field = gated.field;
                    item = gated.shared;
                    bySuffix = suffix;
                    return true;
                }
            }
        }
    }
    return false;
}

}  // namespace

std::uint64_t RuleSet::nextSerial() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

void RuleSet::noteFieldsRead(const FieldItem& item) {
    auto note = [&](RuleField field) {
        parentImages_ = parentImages_ || field == RuleField::ParentImage;
        parentCommandLines_ = parentCommandLines_ || field == RuleField::ParentCommandLine;
        fieldsRead_.set(static_cast<std::size_t>(field));
    };
    if (!item.keywords && item.known) {
        note(item.field);
    }
    for (const RuleValue& value : item.values) {
        if (value.kind == RuleValue::Kind::fieldref) {
            note(value.other);
        }
    }
}

void RuleSet::index() {
    parentImages_ = false;
    parentCommandLines_ = false;
    fieldsRead_.reset();
    for (std::size_t c = 0; c < 2; ++c) {
        byCategory_[c].clear();
        indexed_[c] = {};
    }
    // Items written alike in several rules share a number.
    std::unordered_map<std::string, std::uint32_t> alike;
    for (SigmaRule& rule : rules) {
        for (Selection& selection : rule.selections) {
            for (std::vector<FieldItem>& items : selection.alternatives) {
                for (FieldItem& item : items) {
                    noteFieldsRead(item);
                    std::string key{static_cast<char>(item.field), item.keywords ? 'k' : 'f',
                                    item.known ? 'n' : 'u', item.all ? 'a' : 'o',
                                    item.cased ? 'c' : 'i'};
                    key += item.sameness;
                    item.shared =
                        alike.emplace(std::move(key), static_cast<std::uint32_t>(alike.size()))
                            .first->second;
                }
            }
        }
    }
    // Then the patterns, after the items: a pattern holds alike in every
    // item that tests it on the same text.
    const auto itemCount = static_cast<std::uint32_t>(alike.size());
    for (SigmaRule& rule : rules) {
        for (Selection& selection : rule.selections) {
            for (std::vector<FieldItem>& items : selection.alternatives) {
                for (FieldItem& item : items) {
                    for (RuleValue& value : item.values) {
                        if (value.kind != RuleValue::Kind::pattern) {
                            continue;
                        }
                        std::string key{'p', static_cast<char>(item.field),
                                        item.keywords ? 'k' : 'f', item.known ? 'n' : 'u',
                                        item.cased ? 'c' : 'i'};
                        key += value.pattern->sameness();
                        value.shared =
                            alike.emplace(std::move(key), static_cast<std::uint32_t>(alike.size()))
                                .first->second;
                    }
                }
            }
        }
    }
    compiled_.compile(rules, itemCount);
    std::vector<std::string> names;
    std::vector<bool> holds;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const auto r = static_cast<std::uint32_t>(i);
        const auto c = static_cast<std::size_t>(rules[i].category);
        byCategory_[c].push_back(r);
        RuleField field = RuleField::Image;
        bool bySuffix = false;
        std::uint32_t item = FieldItem::kUnshared;
        if (!gateOf(rules[i], field, names, holds, item, bySuffix)) {
            indexed_[c].ungated.push_back(r);
            continue;
        }
        auto& gates = indexed_[c].gates;
        auto gate = std::find_if(gates.begin(), gates.end(), [&](const Gate& g) {
            return g.field == field && g.bySuffix == bySuffix;
        });
        if (gate == gates.end()) {
            gate = gates.insert(gates.end(), Gate{field, bySuffix, {}, {}, {}});
        }
        for (std::size_t k = 0; k < names.size(); ++k) {
            const std::string& name = names[k];
            if (bySuffix) {
                auto at = std::lower_bound(gate->lengths.begin(), gate->lengths.end(), name.size());
                if (at == gate->lengths.end() || *at != name.size()) {
                    gate->lengths.insert(at, name.size());
                }
            }
            if (!name.empty()) {
                gate->leads.set(static_cast<unsigned char>(name[0]));
            }
            Gate::Listed& listed = gate->byName[name];
            if (listed.rules.empty() || listed.rules.back() != r) {
                listed.rules.push_back(r);
            }
            if (holds[k] && std::find(listed.holding.begin(), listed.holding.end(), item) ==
                                listed.holding.end()) {
                listed.holding.push_back(item);
            }
        }
    }
}

void RuleSet::matchWithoutLineage(const RuleEvent& event, std::vector<std::uint32_t>& hits,
                                  std::vector<std::uint32_t>& deferred) const {
    const Category& category = indexed_[static_cast<std::size_t>(event.category)];
    thread_local std::vector<std::uint32_t> candidates;
    candidates = category.ungated;
    auto add = [&](const Gate& gate, std::string_view key) {
        if (key.empty() ? !gate.byName.contains(key)
                        : !gate.leads[static_cast<unsigned char>(key[0])]) {
            return;
        }
        if (const auto it = gate.byName.find(key); it != gate.byName.end()) {
            candidates.insert(candidates.end(), it->second.rules.begin(), it->second.rules.end());
            // What finding the key told: the rules' tests of it are answered.
            for (const std::uint32_t item : it->second.holding) {
                event.keepItemResult(item, true);
            }
        }
    };
    for (const Gate& gate : category.gates) {
        if (event.isNull(gate.field)) {
            continue;
        }
        const std::string_view text = event.folded(gate.field);
        if (gate.bySuffix) {
            for (const std::size_t length : gate.lengths) {
                if (length > text.size()) {
                    break;
                }
                add(gate, text.substr(text.size() - length));
            }
        } else if (const std::optional<std::string_view> last = lastComponent(text)) {
            add(gate, *last);
        }
    }
    if (!category.gates.empty()) {
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    }
    for (const std::uint32_t i : candidates) {
        const int answer = compiled_.evaluate(i, event, false);
        if (answer == RuleCondition::kTrue) {
            hits.push_back(i);
        } else if (answer == RuleCondition::kUnknown) {
            deferred.push_back(i);
        }
    }
}

void loadRuleText(std::string_view text, const std::string& label, RuleSet& set) {
    RuleDocumentReader reader;
    compileFile(sendText(text, label, reader), set, reader);
    set.index();
}

void addRuleTexts(const std::vector<LabelledRuleText>& texts, RuleSet& set) {
    RuleDocumentReader reader;
    compileInTurn(
        texts.size(),
        [&](std::size_t i) { return sendText(texts[i].text, texts[i].label, reader); }, set,
        reader);
    set.index();
}

namespace {

PendingFile sendText(std::string_view text, const std::string& label, RuleDocumentReader& reader) {
    if (text.size() > kLargestFile) {
        return PendingFile{label, "larger than 16 MiB"};
    }
    if (!isValidUtf8(text)) {
        return PendingFile{label, "not valid UTF-8"};
    }
    reader.send(text);
    return PendingFile{label, {}};
}

void compileFile(const PendingFile& file, RuleSet& set, RuleDocumentReader& reader) {
    const std::string& label = file.label;
    if (!file.skipped.empty()) {
        skipFile(set, label, file.skipped);
        return;
    }
    std::vector<RuleDocument> documents;
    std::string error;
    if (!reader.receive(documents, error)) {
        skipFile(set, label, error);
        return;
    }
    for (std::size_t n = 0; n < documents.size(); ++n) {
        RuleEntry entry{label + "#" + std::to_string(n + 1), false, {}, {}};
        std::optional<SigmaRule> rule = compileRule(documents[n], set, entry.text);
        if (rule) {
            entry.loaded = true;
            entry.text = rule->title;
            entry.neverPresent = rule->neverPresent;
            set.rules.push_back(std::move(*rule));
        }
        set.entries.push_back(std::move(entry));
    }
}

bool addRuleFilesWith(const std::string& path, RuleSet& into, std::string& error,
                      RuleDocumentReader& reader) {
    namespace fs = std::filesystem;
    RuleSet* set = &into;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        error = path + ": " + (ec ? ec.message() : "no such file or folder");
        return false;
    }
    if (!fs::is_directory(status)) {
        std::string text, why;
        if (!readWhole(path, text, why)) {
            error = path + ": " + why;
            return false;
        }
        compileFile(sendText(text, path, reader), *set, reader);
        set->index();
        return true;
    }
    // The folder's rule files by their paths inside it, byte by byte.
    std::vector<std::string> found;
    fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        error = path + ": " + ec.message();
        return false;
    }
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        const fs::directory_entry& entry = *it;
        std::error_code kind;
        if (entry.is_directory(kind) || !hasRuleSuffix(entry.path().filename().string())) {
            continue;
        }
        found.push_back(entry.path().lexically_relative(path).generic_string());
    }
    std::sort(found.begin(), found.end());
    compileInTurn(
        found.size(),
        [&](std::size_t i) {
            return sendFile((fs::path(path) / found[i]).string(), path + "/" + found[i], reader);
        },
        *set, reader);
    set->index();
    return true;
}

}  // namespace

std::shared_ptr<RuleSet> loadRuleFiles(const std::vector<std::string>& paths, std::string& error) {
    auto set = std::make_shared<RuleSet>();
    RuleDocumentReader reader;
    for (const std::string& path : paths) {
        if (!addRuleFilesWith(path, *set, error, reader)) {
            return nullptr;
        }
    }
    return set;
}

bool addRuleFiles(const std::string& path, RuleSet& set, std::string& error) {
    RuleDocumentReader reader;
    return addRuleFilesWith(path, set, error, reader);
}

}  // namespace korvantis
