#include "rules/rule_document.h"

#include <re2/re2.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include "rules/guarded_yaml.h"
#include "rules/rule_set.h"

namespace korvantis {

namespace {

constexpr int kDeepest = 64;
// Text nested beyond this is not handed to the parser, which recurses.
constexpr int kDeepestText = 512;
// Visits of nodes in one document: aliases to aliases make a few lines
// walk like billions of nodes.
constexpr std::size_t kMostVisits = std::size_t{2} << 20;

constexpr std::string_view kYamlTag = "tag:yaml.org,2002:";

// An upper bound of how deeply the text nests: per line, its indentation,
// its open flow brackets and its block indicators.
int textDepth(std::string_view text) {
    int deepest = 0;
    int flow = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t indent = 0;
        while (i < text.size() && text[i] == ' ') {
            ++indent;
            ++i;
        }
        int indicators = 0;
        char quote = 0;
        for (; i < text.size() && text[i] != '\n'; ++i) {
            const char c = text[i];
            if (quote != 0) {
                if (c == quote) {
                    quote = 0;
                }
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '#' && (i == 0 || text[i - 1] == ' ')) {
                while (i < text.size() && text[i] != '\n') {
                    ++i;
                }
                break;
            } else if (c == '[' || c == '{') {
                ++flow;
            } else if (c == ']' || c == '}') {
                flow = std::max(0, flow - 1);
            } else if ((c == '-' || c == '?' || c == ':') && i + 1 < text.size() &&
                       text[i + 1] == ' ') {
                ++indicators;
            }
            deepest = std::max<int>(deepest, static_cast<int>(indent) + flow + indicators);
        }
        ++i;
    }
    return deepest;
}

bool isOneOf(std::string_view text, std::initializer_list<std::string_view> words) {
    return std::find(words.begin(), words.end(), text) != words.end();
}

bool allDigits(std::string_view t) {
    return !t.empty() &&
           std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isIntegerText(std::string_view t) {
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        t.remove_prefix(1);
    }
    return allDigits(t);
}

bool isFloatText(std::string_view t) {
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        t.remove_prefix(1);
    }
    if (isOneOf(t, {".inf", ".Inf", ".INF"})) {
        return true;
    }
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t from = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            ++i;
        }
        return i - from;
    };
    const std::size_t whole = digits();
    std::size_t fraction = 0;
    if (i < t.size() && t[i] == '.') {
        ++i;
        fraction = digits();
    } else if (whole == 0) {
        return false;
    }
    if (whole == 0 && fraction == 0) {
        return false;
    }
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
            ++i;
        }
        if (digits() == 0) {
            return false;
        }
    }
    return i == t.size();
}

YamlType plainType(std::string_view t) {
    if (isOneOf(t, {"null", "Null", "NULL", "~", ""})) {
        return YamlType::null;
    }
    if (isOneOf(t, {"true", "True", "TRUE", "false", "False", "FALSE"})) {
        return YamlType::boolean;
    }
    if (isIntegerText(t)) {
        return YamlType::integer;
    }
    if (isFloatText(t) || isOneOf(t, {".nan", ".NaN", ".NAN"})) {
        return YamlType::floating;
    }
    return YamlType::string;
}

// Whether the tag is one a rule file may use.
bool knownTag(const YAML::Node& node) {
    const std::string& tag = node.Tag();
    if (tag.empty() || tag == "?" || tag == "!") {
        return true;
    }
    if (!tag.starts_with(kYamlTag)) {
        return false;
    }
    const std::string_view name = std::string_view(tag).substr(kYamlTag.size());
    if (node.IsMap()) {
        return name == "map";
    }
    if (node.IsSequence()) {
        return name == "seq";
    }
    return isOneOf(name, {"str", "int", "bool", "null", "float"});
}

// The walk that checks a document: tags (a file error), then repeated keys,
// depth and size (the document's).
class DocumentCheck {
  public:
    std::string fileError;
    std::string unusable;

    void walk(const YAML::Node& node, int depth) {
        if (!fileError.empty() || ++visits_ > kMostVisits) {
            if (visits_ > kMostVisits && unusable.empty()) {
                unusable = "too large: its aliases expand beyond what a rule can hold";
            }
            return;
        }
        if (!knownTag(node)) {
            fileError = "not valid YAML: unknown tag " + node.Tag();
            return;
        }
        if (!node.IsMap() && !node.IsSequence()) {
            return;
        }
        if (depth + 1 > kDeepest) {
            if (unusable.empty()) {
                unusable = "nested more than 64 levels deep";
            }
            return;
        }
        if (node.IsSequence()) {
            for (const YAML::Node& item : node) {
                walk(item, depth + 1);
            }
            return;
        }
        std::set<std::pair<YamlType, std::string>> keys;
        for (const auto& pair : node) {
            walk(pair.first, depth + 1);
            walk(pair.second, depth + 1);
            const YamlType type = yamlTypeOf(pair.first);
            if (type != YamlType::collection && !keys.emplace(type, yamlText(pair.first)).second &&
                unusable.empty()) {
                unusable = "repeats the key " + pair.first.Scalar();
            }
        }
    }

  private:
    std::size_t visits_ = 0;
};

// --- Compiling ---

// The member of mapping `map` under the string key `key`; a null node when
// there is none.
YAML::Node member(const YAML::Node& map, std::string_view key) {
    for (const auto& pair : map) {
        if (yamlTypeOf(pair.first) == YamlType::string && pair.first.Scalar() == key) {
            return pair.second;
        }
    }
    return YAML::Node(YAML::NodeType::Undefined);
}

bool hasKey(const YAML::Node& map, std::string_view key) {
    return member(map, key).IsDefined();
}

bool isString(const YAML::Node& node) {
    return node.IsDefined() && yamlTypeOf(node) == YamlType::string;
}

std::string_view typeName(YamlType type) {
    switch (type) {
        case YamlType::null:
            return "null";
        case YamlType::boolean:
            return "a boolean";
        case YamlType::integer:
            return "an integer";
        case YamlType::floating:
            return "a float";
        case YamlType::string:
            return "a string";
        case YamlType::collection:
            return "a list or mapping";
    }
    return "";
}

class RuleCompiler {
  public:
    explicit RuleCompiler(SigmaRule& rule) : rule_(rule) {}
    std::string reason;

    bool selection(const YAML::Node& node, Selection& out) {
        if (node.IsMap()) {
            if (node.size() == 1 && yamlText(node.begin()->first) == "|all") {
                FieldItem item;
                item.keywords = true;
                item.all = true;
                return keywords(node.begin()->second, item) &&
                       (out.alternatives.push_back({std::move(item)}), true);
            }
            std::vector<FieldItem> items;
            if (!fieldItems(node, items)) {
                return false;
            }
            out.alternatives.push_back(std::move(items));
            return true;
        }
        if (node.IsSequence() && node.size() > 0 && node.begin()->IsMap()) {
            for (const YAML::Node& alternative : node) {
                std::vector<FieldItem> items;
                if (!alternative.IsMap()) {
                    return fail("a selection mixes mappings with other values");
                }
                if (!fieldItems(alternative, items)) {
                    return false;
                }
                out.alternatives.push_back(std::move(items));
            }
            return true;
        }
        FieldItem item;
        item.keywords = true;
        return keywords(node, item) && (out.alternatives.push_back({std::move(item)}), true);
    }

  private:
    bool fail(std::string why) {
        reason = std::move(why);
        return false;
    }

    bool keywords(const YAML::Node& node, FieldItem& item) {
        auto add = [&](const YAML::Node& value) {
            const YamlType type = yamlTypeOf(value);
            if (type != YamlType::string && type != YamlType::integer) {
                return fail("a keyword must be a string or an integer, not " +
                            std::string(typeName(type)));
            }
            RuleValue v;
            v.kind = RuleValue::Kind::pattern;
            const std::string text = yamlText(value);
            v.pattern.emplace(text, WildcardPattern::Anchor::contains, true);
            item.values.push_back(std::move(v));
            item.sameness += std::to_string(text.size()) + ':' + text;
            return true;
        };
        rule_.usesKeywords = true;
        if (node.IsSequence()) {
            for (const YAML::Node& value : node) {
                if (!add(value)) {
                    return false;
                }
            }
            return true;
        }
        if (node.IsMap()) {
            return fail("a keyword must be a string or an integer, not a mapping");
        }
        return add(node);
    }

    bool fieldItems(const YAML::Node& map, std::vector<FieldItem>& items) {
        for (const auto& pair : map) {
            if (pair.first.IsMap() || pair.first.IsSequence()) {
                return fail("a field name must be a text");
            }
            FieldItem item;
            if (!fieldItem(yamlText(pair.first), pair.second, item)) {
                return false;
            }
            items.push_back(std::move(item));
        }
        return true;
    }

    void nameField(const std::string& name, FieldItem& item) {
        const int field = ruleFieldNamed(name);
        if (field < 0) {
            item.known = false;
            if (std::find(rule_.neverPresent.begin(), rule_.neverPresent.end(), name) ==
                rule_.neverPresent.end()) {
                rule_.neverPresent.push_back(name);
            }
            return;
        }
        item.field = static_cast<RuleField>(field);
        lineageSeen_ = lineageSeen_ || isLineageField(item.field);
    }

    bool fieldItem(const std::string& key, const YAML::Node& values, FieldItem& item) {
        std::vector<std::string> modifiers;
        std::size_t bar = key.find('|');
        const std::string name = key.substr(0, bar);
        while (bar != std::string::npos) {
            const std::size_t next = key.find('|', bar + 1);
            modifiers.push_back(
                key.substr(bar + 1, next == std::string::npos ? next : next - bar - 1));
            bar = next;
        }
        if (name.empty()) {
            return fail("a field item needs a field name: " + key);
        }
        nameField(name, item);
        item.sameness = key + '\n';
        enum class Kind { plain, re, exists, compare, fieldref } kind = Kind::plain;
        int kinds = 0;
        auto anchor = WildcardPattern::Anchor::whole;
        int anchors = 0;
        bool i = false, m = false, s = false;
        RuleValue::Compare compare = RuleValue::Compare::lt;
        for (const std::string& mod : modifiers) {
            if (mod == "contains" || mod == "startswith" || mod == "endswith") {
                anchor = mod == "contains"     ? WildcardPattern::Anchor::contains
                         : mod == "startswith" ? WildcardPattern::Anchor::startsWith
                                               : WildcardPattern::Anchor::endsWith;
                ++anchors;
            } else if (mod == "all") {
                item.all = true;
            } else if (mod == "cased") {
                item.cased = true;
            } else if (mod == "re") {
                kind = Kind::re;
                ++kinds;
            } else if (mod == "i" || mod == "m" || mod == "s") {
                (mod == "i" ? i : mod == "m" ? m : s) = true;
            } else if (mod == "exists") {
                kind = Kind::exists;
                ++kinds;
            } else if (mod == "lt" || mod == "lte" || mod == "gt" || mod == "gte") {
                kind = Kind::compare;
                compare = mod == "lt"    ? RuleValue::Compare::lt
                          : mod == "lte" ? RuleValue::Compare::lte
                          : mod == "gt"  ? RuleValue::Compare::gt
                                         : RuleValue::Compare::gte;
                ++kinds;
            } else if (mod == "fieldref") {
                kind = Kind::fieldref;
                ++kinds;
            } else {
                return fail("unsupported modifier " + mod);
            }
        }
        if (kinds > 1) {
            return fail("modifiers that exclude each other: " + key);
        }
        if (anchors > 1) {
            return fail("more than one of contains, startswith and endswith: " + key);
        }
        if (anchors > 0 && kind != Kind::plain) {
            return fail("contains, startswith and endswith only go with plain values: " + key);
        }
        if (item.cased && kind != Kind::plain && kind != Kind::fieldref) {
            return fail("cased does not go with " + key.substr(key.find('|') + 1));
        }
        if ((i || m || s) && kind != Kind::re) {
            return fail("i, m and s only go with re: " + key);
        }
        std::vector<YAML::Node> list;
        if (values.IsSequence()) {
            for (const YAML::Node& v : values) {
                list.push_back(v);
            }
        } else {
            list.push_back(values);
        }
        for (const YAML::Node& v : list) {
            const YamlType type = yamlTypeOf(v);
            if (type == YamlType::collection) {
                return fail("the value of " + key + " must be a scalar or a list of them");
            }
            if (type == YamlType::floating) {
                return fail("floats are not supported: " + key + ": " + v.Scalar());
            }
            RuleValue value;
            const std::string text = type == YamlType::null ? std::string() : yamlText(v);
            switch (kind) {
                case Kind::plain:
                    if (text.empty()) {
                        value.kind = RuleValue::Kind::isNull;
                    } else {
                        value.kind = RuleValue::Kind::pattern;
                        value.pattern.emplace(text, anchor, !item.cased);
                    }
                    break;
                case Kind::re: {
                    if (text.empty()) {
                        value.kind = RuleValue::Kind::isNull;
                        break;
                    }
                    std::string flags;
                    flags += i ? "i" : "";
                    flags += m ? "m" : "";
                    flags += s ? "s" : "";
                    RE2::Options options;
                    options.set_log_errors(false);
                    options.set_max_mem(std::int64_t{8} << 20);
                    auto regex = std::make_shared<RE2>(
                        flags.empty() ? text : "(?" + flags + ")" + text, options);
                    if (!regex->ok()) {
                        return fail("invalid regular expression " + text + ": " + regex->error());
                    }
                    value.kind = RuleValue::Kind::regex;
                    value.regex = std::move(regex);
                    break;
                }
                case Kind::exists:
                    if (type != YamlType::boolean) {
                        return fail("exists wants true or false: " + key);
                    }
                    value.kind = RuleValue::Kind::exists;
                    value.exists = text == "true";
                    break;
                case Kind::compare: {
                    std::int64_t number = 0;
                    const auto [end, ec] =
                        std::from_chars(text.data(), text.data() + text.size(), number);
                    if (type != YamlType::integer || ec != std::errc{} ||
                        end != text.data() + text.size()) {
                        return fail("a comparison wants an integer: " + key);
                    }
                    value.kind = RuleValue::Kind::compare;
                    value.compare = compare;
                    value.number = number;
                    break;
                }
                case Kind::fieldref: {
                    const int other = ruleFieldNamed(text);
                    if (type != YamlType::string) {
                        return fail("fieldref wants a field name: " + key);
                    }
                    if (other < 0) {
                        // Never present: the reference never holds.
                        FieldItem unknown;
                        nameField(text, unknown);
                        value.kind = RuleValue::Kind::exists;
                        value.exists = true;
                        item.known = false;
                    } else {
                        value.kind = RuleValue::Kind::fieldref;
                        value.other = static_cast<RuleField>(other);
                        lineageSeen_ = lineageSeen_ || isLineageField(value.other);
                    }
                    break;
                }
            }
            item.values.push_back(std::move(value));
            item.sameness += std::to_string(static_cast<int>(type)) + ',' +
                             std::to_string(text.size()) + ':' + text;
        }
        return true;
    }

    SigmaRule& rule_;

  public:
    bool lineageSeen_ = false;  // by the selection being compiled
};

bool conditionTexts(const YAML::Node& node, std::vector<std::string>& out) {
    if (node.IsSequence()) {
        for (const YAML::Node& item : node) {
            if (yamlTypeOf(item) != YamlType::string) {
                return false;
            }
            out.push_back(item.Scalar());
        }
        return !out.empty();
    }
    if (yamlTypeOf(node) != YamlType::string) {
        return false;
    }
    out.push_back(node.Scalar());
    return true;
}

}  // namespace

YamlType yamlTypeOf(const YAML::Node& node) {
    if (node.IsMap() || node.IsSequence()) {
        return YamlType::collection;
    }
    const std::string& tag = node.Tag();
    if (node.IsNull() || !node.IsDefined()) {
        return tag == "!" || tag == std::string(kYamlTag) + "str" ? YamlType::string
                                                                  : YamlType::null;
    }
    if (tag == "?") {
        return plainType(node.Scalar());
    }
    if (tag.starts_with(kYamlTag)) {
        const std::string_view name = std::string_view(tag).substr(kYamlTag.size());
        const YamlType plain = plainType(node.Scalar());
        if (name == "int" && plain == YamlType::integer) {
            return plain;
        }
        if (name == "bool" && plain == YamlType::boolean) {
            return plain;
        }
        if (name == "null" && plain == YamlType::null) {
            return plain;
        }
        if (name == "float" && (plain == YamlType::floating || plain == YamlType::integer)) {
            return YamlType::floating;
        }
    }
    return YamlType::string;
}

std::string yamlText(const YAML::Node& node) {
    if (!node.IsDefined() || node.IsNull()) {
        return {};
    }
    if (node.IsMap() || node.IsSequence()) {
        return {};
    }
    const std::string& text = node.Scalar();
    switch (yamlTypeOf(node)) {
        case YamlType::boolean:
            return text[0] == 't' || text[0] == 'T' ? "true" : "false";
        case YamlType::integer: {
            std::string_view digits = text;
            const bool negative = digits[0] == '-';
            if (digits[0] == '-' || digits[0] == '+') {
                digits.remove_prefix(1);
            }
            while (digits.size() > 1 && digits[0] == '0') {
                digits.remove_prefix(1);
            }
            return (negative && digits != "0" ? "-" : "") + std::string(digits);
        }
        case YamlType::null:
            return {};
        default:
            return text;
    }
}

// Checked in the parsing child: an unknown tag fails the whole file.
static std::string checkInChild(const YAML::Node& root) {
    DocumentCheck walk;
    walk.walk(root, 0);
    return walk.fileError.empty() ? walk.unusable : "!" + walk.fileError;
}

int answerRuleDocuments() {
    return answerYamlGuarded(checkInChild);
}

std::optional<int> answerAsRuleChildOrBecomeItsParent(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], kYamlChildArgument) == 0) {
        return answerRuleDocuments();
    }
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (!failed) {
        setYamlChildProgram(self.string());
    }
    return std::nullopt;
}

RuleDocumentReader::RuleDocumentReader() : parser_(checkInChild) {}

bool readRuleDocuments(std::string_view text, std::vector<RuleDocument>& documents,
                       std::string& error) {
    return RuleDocumentReader().read(text, documents, error);
}

bool RuleDocumentReader::read(std::string_view text, std::vector<RuleDocument>& documents,
                              std::string& error) {
    send(text);
    return receive(documents, error);
}

void RuleDocumentReader::send(std::string_view text) {
    if (textDepth(text) > kDeepestText) {
        refused_.push_back("nested more than 64 levels deep");
        return;
    }
    refused_.emplace_back();
    parser_.send(text);
}

bool RuleDocumentReader::receive(std::vector<RuleDocument>& documents, std::string& error) {
    const std::string refused = std::move(refused_.front());
    refused_.pop_front();
    if (!refused.empty()) {
        error = refused;
        return false;
    }
    std::vector<GuardedDocument> parsed;
    if (!parser_.receive(parsed, error)) {
        return false;
    }
    for (GuardedDocument& d : parsed) {
        documents.push_back(RuleDocument{std::move(d.root), std::move(d.unusable)});
    }
    return true;
}

std::optional<SigmaRule> compileRule(const RuleDocument& document, const RuleSet& set,
                                     std::string& reason) {
    const YAML::Node& root = document.root;
    if (!document.unusable.empty()) {
        reason = document.unusable;
        return std::nullopt;
    }
    auto skip = [&](std::string why) -> std::optional<SigmaRule> {
        reason = std::move(why);
        return std::nullopt;
    };
    if (!root.IsMap()) {
        return skip("not a mapping");
    }
    SigmaRule rule;
    const YAML::Node title = member(root, "title");
    if (!isString(title) || title.Scalar().empty()) {
        return skip("no title: a rule needs a non-empty text title");
    }
    rule.title = title.Scalar();
    if (hasKey(root, "correlation")) {
        return skip("correlation rules are not supported");
    }
    if (const YAML::Node id = member(root, "id"); id.IsDefined()) {
        if (!isString(id)) {
            return skip("id is not a text");
        }
        rule.id = id.Scalar();
        for (const SigmaRule& earlier : set.rules) {
            if (earlier.id == rule.id) {
                return skip("id " + rule.id + " is used by an earlier rule");
            }
        }
    }
    const YAML::Node logsource = member(root, "logsource");
    if (!logsource.IsMap()) {
        return skip("no logsource mapping");
    }
    const YAML::Node product = member(logsource, "product");
    if (!isString(product) || product.Scalar() != "macos") {
        return skip("logsource: product is not macos");
    }
    if (hasKey(logsource, "service")) {
        return skip("logsource: service is not supported");
    }
    const YAML::Node category = member(logsource, "category");
    if (isString(category) && category.Scalar() == "process_creation") {
        rule.category = RuleCategory::processCreation;
    } else if (isString(category) && category.Scalar() == "file_event") {
        rule.category = RuleCategory::fileEvent;
    } else {
        return skip("logsource: category is neither process_creation nor file_event");
    }
    const YAML::Node detection = member(root, "detection");
    if (!detection.IsMap()) {
        return skip("no detection mapping");
    }
    if (hasKey(detection, "timeframe")) {
        return skip("detection: timeframe is not supported");
    }
    const YAML::Node condition = member(detection, "condition");
    std::vector<std::string> conditions;
    if (!condition.IsDefined()) {
        return skip("detection: no condition");
    }
    if (!conditionTexts(condition, conditions)) {
        return skip("detection: the condition must be a text or a list of texts");
    }
    for (const std::string& c : conditions) {
        if (c.find('|') != std::string::npos) {
            return skip("detection: aggregations are not supported");
        }
    }
    RuleCompiler compiler(rule);
    for (const auto& pair : detection) {
        const std::string key = yamlText(pair.first);
        if (yamlTypeOf(pair.first) == YamlType::string && key == "condition") {
            continue;
        }
        if (pair.first.IsMap() || pair.first.IsSequence()) {
            return skip("detection: an identifier must be a text");
        }
        Selection selection;
        compiler.lineageSeen_ = false;
        if (!compiler.selection(pair.second, selection)) {
            return skip("detection: " + key + ": " + compiler.reason);
        }
        selection.usesLineage = compiler.lineageSeen_;
        rule.usesLineage = rule.usesLineage || selection.usesLineage;
        rule.identifiers.push_back(key);
        rule.selections.push_back(std::move(selection));
    }
    for (const std::string& c : conditions) {
        std::string why;
        std::optional<RuleCondition> parsed = RuleCondition::parse(c, rule.identifiers, why);
        if (!parsed) {
            return skip("detection: condition: " + why);
        }
        rule.conditions.push_back(std::move(*parsed));
    }
    if (const YAML::Node level = member(root, "level"); isString(level)) {
        rule.level = ruleLevelNamed(level.Scalar());
    }
    if (const YAML::Node description = member(root, "description"); isString(description)) {
        rule.description = description.Scalar();
    }
    return rule;
}

}  // namespace korvantis
