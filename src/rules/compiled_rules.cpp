#include "rules/compiled_rules.h"

#include <algorithm>

namespace korvantis {

namespace {

using Node = RuleCondition::Node;

// A part of a rule being written out: its words, what testing it costs
// roughly (a regular expression or a search of the whole line far more
// than a comparison), and whether it is negated.
struct Part {
    std::vector<std::uint32_t> words;
    std::uint32_t cost = 0;
    bool negated = false;
};

// Where a part goes among those of an `and`: the one likeliest to decide
// first. A selection seldom holds, so its part mostly ends the `and`; a
// negated one (`not 1 of filter_*`) mostly holds, and is tested only after
// the others held unless it costs far less.
std::uint32_t andRank(const Part& part) {
    constexpr std::uint32_t kNegatedWeight = 8;
    return part.negated ? part.cost * kNegatedWeight : part.cost;
}

// Kleene's `not`: an unknown stays unknown.
int negation(int value) {
    return value == RuleCondition::kUnknown ? value : 1 - value;
}

std::uint32_t itemCost(const FieldItem& item) {
    std::uint32_t cost = 1;
    for (const RuleValue& value : item.values) {
        cost += value.kind == RuleValue::Kind::regex ? 16 : item.keywords ? 8 : 1;
    }
    return cost;
}

// Whether `item` reads ParentImage or ParentCommandLine, its own field or
// the one a `fieldref` names.
bool readsLineage(const FieldItem& item) {
    if (item.keywords) {
        return false;
    }
    if (isLineageField(item.field)) {
        return true;
    }
    return std::any_of(item.values.begin(), item.values.end(), [](const RuleValue& value) {
        return value.kind == RuleValue::Kind::fieldref && isLineageField(value.other);
    });
}

class Writer {
  public:
    Writer(const SigmaRule& rule, std::uint32_t opBits) : rule_(rule), opBits_(opBits) {}

    Part rule() {
        std::vector<Part> parts;
        for (const RuleCondition& condition : rule_.conditions) {
            parts.push_back(node(condition, condition.root()));
        }
        return compound(2, std::move(parts));
    }

  private:
    // `op` 1 (and) or 2 (or) over `parts`, those likeliest to decide first
    // (an `or`'s cheaper first); a single part stands for itself.
    Part compound(std::uint32_t op, std::vector<Part> parts) {
        if (parts.size() == 1) {
            return std::move(parts[0]);
        }
        std::stable_sort(parts.begin(), parts.end(), [op](const Part& a, const Part& b) {
            return op == 1 ? andRank(a) < andRank(b) : a.cost < b.cost;
        });
        Part out;
        out.words.push_back(0);
        for (Part& part : parts) {
            out.words.insert(out.words.end(), part.words.begin(), part.words.end());
            out.cost += part.cost;
        }
        out.words[0] = static_cast<std::uint32_t>(out.words.size()) << opBits_ | op;
        return out;
    }
    Part item(const FieldItem& item) { return Part{{item.shared << opBits_}, itemCost(item)}; }
    Part selection(std::size_t id) {
        std::vector<Part> alternatives;
        for (const std::vector<FieldItem>& items : rule_.selections[id].alternatives) {
            std::vector<Part> all;
            for (const FieldItem& i : items) {
                all.push_back(item(i));
            }
            alternatives.push_back(compound(1, std::move(all)));
        }
        return compound(2, std::move(alternatives));
    }
    Part node(const RuleCondition& condition, std::size_t at) {
        const Node& n = condition.nodes()[at];
        std::vector<Part> parts;
        switch (n.op) {
            case Node::Op::identifier:
                return selection(n.identifier);
            case Node::Op::notOp: {
                Part inner = node(condition, n.items[0]);
                inner.words.insert(inner.words.begin(), 3);
                inner.negated = !inner.negated;
                return inner;
            }
            case Node::Op::andOp:
            case Node::Op::orOp:
                for (const std::size_t item : n.items) {
                    parts.push_back(node(condition, item));
                }
                return compound(n.op == Node::Op::andOp ? 1 : 2, std::move(parts));
            case Node::Op::anyOf:
            case Node::Op::allOf:
                for (const std::size_t id : n.items) {
                    parts.push_back(selection(id));
                }
                return compound(n.op == Node::Op::allOf ? 1 : 2, std::move(parts));
        }
        return {};
    }

    const SigmaRule& rule_;
    std::uint32_t opBits_;
};

}  // namespace

void CompiledRules::compile(const std::vector<SigmaRule>& rules, std::uint32_t itemCount) {
    words_.clear();
    startOf_.clear();
    items_.assign(itemCount, FieldItem{});
    lineage_.assign(itemCount, 0);
    for (const SigmaRule& rule : rules) {
        for (const Selection& selection : rule.selections) {
            for (const std::vector<FieldItem>& items : selection.alternatives) {
                for (const FieldItem& item : items) {
                    items_[item.shared] = item;
                    lineage_[item.shared] = readsLineage(item);
                }
            }
        }
        startOf_.push_back(static_cast<std::uint32_t>(words_.size()));
        const Part part = Writer(rule, kOpBits).rule();
        words_.insert(words_.end(), part.words.begin(), part.words.end());
    }
}

int CompiledRules::itemValue(std::uint32_t id, const RuleEvent& event, bool lineageKnown) const {
    if (!lineageKnown && lineage_[id] != 0) {
        return RuleCondition::kUnknown;
    }
    const int known = event.itemResult(id);
    if (known >= 0) {
        return known;
    }
    const bool holds = fieldItemHolds(items_[id], event);
    event.keepItemResult(id, holds);
    return holds ? RuleCondition::kTrue : RuleCondition::kFalse;
}

int CompiledRules::run(std::uint32_t& at, const RuleEvent& event, bool lineageKnown) const {
    const std::uint32_t word = words_[at];
    const std::uint32_t op = word & kOpMask;
    if (op == item) {
        ++at;
        return itemValue(word >> kOpBits, event, lineageKnown);
    }
    if (op == notOp) {
        ++at;
        return negation(run(at, event, lineageKnown));
    }
    // Kleene's `and` and `or`: one part that decides is enough.
    const std::uint32_t end = at + (word >> kOpBits);
    const int decides = op == andOp ? RuleCondition::kFalse : RuleCondition::kTrue;
    int result = op == andOp ? RuleCondition::kTrue : RuleCondition::kFalse;
    ++at;
    while (at < end) {
        // Most parts are items, or items negated: each row tests some rules
        // of a few words, and a call for every word costs more than the
        // test of an item already answered.
        const std::uint32_t part = words_[at];
        int v;
        if ((part & kOpMask) == item) {
            ++at;
            v = itemValue(part >> kOpBits, event, lineageKnown);
        } else if ((part & kOpMask) == notOp && (words_[at + 1] & kOpMask) == item) {
            v = negation(itemValue(words_[at + 1] >> kOpBits, event, lineageKnown));
            at += 2;
        } else {
            v = run(at, event, lineageKnown);
        }
        if (v == decides) {
            at = end;
            return v;
        }
        if (v == RuleCondition::kUnknown) {
            result = v;
        }
    }
    return result;
}

int CompiledRules::evaluate(std::uint32_t rule, const RuleEvent& event, bool lineageKnown) const {
    std::uint32_t at = startOf_[rule];
    return run(at, event, lineageKnown);
}

}  // namespace korvantis
