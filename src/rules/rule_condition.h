#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvantis {

// A rule's condition over its named selections: identifiers, `and`, `or`,
// `not` (binding in the order not, and, or), parentheses, and `1 of`,
// `any of`, `all of` a pattern (`*` any run of characters) or `them` (every
// identifier not starting with `_`).
class RuleCondition {
  public:
    // The condition `text` over `identifiers`; nothing and why when it is
    // malformed or names what is not there.
    static std::optional<RuleCondition> parse(std::string_view text,
                                              const std::vector<std::string>& identifiers,
                                              std::string& error);

    // Whether it holds, `holds(i)` telling whether identifier i holds.
    bool evaluate(const std::function<bool(std::size_t)>& holds) const;
    template <typename Holds>
    bool evaluateWith(Holds&& holds) const {
        return evaluateNode(root_, holds);
    }
    // Kleene's three values, `holds(i)` answering kFalse, kTrue or kUnknown.
    static constexpr int kFalse = 0, kTrue = 1, kUnknown = 2;
    template <typename Holds>
    int evaluateUnknown(Holds&& holds) const {
        return unknownNode(root_, holds);
    }
    // Identifiers that must hold for it to hold.
    std::vector<std::size_t> required() const { return requiredOf(root_); }
    // The identifiers it names, each once.
    const std::vector<std::size_t>& named() const { return named_; }

    struct Node {
        enum class Op : std::uint8_t { identifier, andOp, orOp, notOp, anyOf, allOf } op;
        std::size_t identifier = 0;      // identifier
        std::vector<std::size_t> items;  // andOp, orOp, notOp: nodes; anyOf, allOf: identifiers
    };
    // Its tree, for a matcher of its own: nodes_[root()] is the top.
    const std::vector<Node>& nodes() const { return nodes_; }
    std::size_t root() const { return root_; }

  private:
    template <typename Holds>
    bool evaluateNode(std::size_t at, Holds& holds) const {
        const Node& node = nodes_[at];
        switch (node.op) {
            case Node::Op::identifier:
                return holds(node.identifier);
            case Node::Op::andOp:
                for (const std::size_t item : node.items) {
                    if (!evaluateNode(item, holds)) {
                        return false;
                    }
                }
                return true;
            case Node::Op::orOp:
                for (const std::size_t item : node.items) {
                    if (evaluateNode(item, holds)) {
                        return true;
                    }
                }
                return false;
            case Node::Op::notOp:
                return !evaluateNode(node.items[0], holds);
            case Node::Op::anyOf:
                for (const std::size_t id : node.items) {
                    if (holds(id)) {
                        return true;
                    }
                }
                return false;
            case Node::Op::allOf:
                for (const std::size_t id : node.items) {
                    if (!holds(id)) {
                        return false;
                    }
                }
                return true;
        }
        return false;
    }
    template <typename Holds>
    int unknownNode(std::size_t at, Holds& holds) const {
        const Node& node = nodes_[at];
        auto fold = [&](bool isAnd, auto&& value) {
            int result = isAnd ? kTrue : kFalse;
            for (const std::size_t item : node.items) {
                const int v = value(item);
                if (v == (isAnd ? kFalse : kTrue)) {
                    return v;
                }
                if (v == kUnknown) {
                    result = kUnknown;
                }
            }
            return result;
        };
        switch (node.op) {
            case Node::Op::identifier:
                return holds(node.identifier);
            case Node::Op::andOp:
            case Node::Op::orOp:
                return fold(node.op == Node::Op::andOp,
                            [&](std::size_t i) { return unknownNode(i, holds); });
            case Node::Op::notOp: {
                const int v = unknownNode(node.items[0], holds);
                return v == kUnknown ? kUnknown : 1 - v;
            }
            case Node::Op::anyOf:
            case Node::Op::allOf:
                return fold(node.op == Node::Op::allOf, [&](std::size_t i) { return holds(i); });
        }
        return kFalse;
    }
    std::vector<std::size_t> requiredOf(std::size_t at) const;
    friend class ConditionParser;
    std::vector<Node> nodes_;
    std::size_t root_ = 0;
    std::vector<std::size_t> named_;
};

}  // namespace korvantis
