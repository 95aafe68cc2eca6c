#include "rules/rule_condition.h"

#include <algorithm>

#include "rules/wildcard_pattern.h"

namespace korvantis {

namespace {

// Conditions nested deeper than this are refused rather than recursed into.
constexpr int kMostParentheses = 64;

std::vector<std::string_view> tokenize(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++i;
        } else if (c == '(' || c == ')') {
            tokens.push_back(text.substr(i++, 1));
        } else {
            const std::size_t from = i;
            while (i < text.size() &&
                   std::string_view(" \t\n\r()").find(text[i]) == std::string_view::npos) {
                ++i;
            }
            tokens.push_back(text.substr(from, i - from));
        }
    }
    return tokens;
}

bool isKeyword(std::string_view t) {
    return t == "and" || t == "or" || t == "not" || t == "of" || t == "(" || t == ")";
}

}  // namespace

class ConditionParser {
  public:
    ConditionParser(std::vector<std::string_view> tokens,
                    const std::vector<std::string>& identifiers, RuleCondition& out)
        : tokens_(std::move(tokens)), identifiers_(identifiers), out_(out) {}

    bool parse(std::string& error) {
        if (tokens_.empty()) {
            error = "the condition is empty";
            return false;
        }
        const std::optional<std::size_t> root = orExpr();
        if (!root || at_ != tokens_.size()) {
            error = error_.empty() ? "malformed condition" : error_;
            return false;
        }
        out_.root_ = *root;
        return true;
    }

  private:
    using Node = RuleCondition::Node;

    std::size_t add(Node node) {
        out_.nodes_.push_back(std::move(node));
        return out_.nodes_.size() - 1;
    }
    bool peek(std::string_view word) const { return at_ < tokens_.size() && tokens_[at_] == word; }
    void name(std::size_t id) {
        if (std::find(out_.named_.begin(), out_.named_.end(), id) == out_.named_.end()) {
            out_.named_.push_back(id);
        }
    }

    std::optional<std::size_t> binary(Node::Op op, std::string_view word, bool lower) {
        std::optional<std::size_t> first = lower ? notExpr() : andExpr();
        if (!first || !peek(word)) {
            return first;
        }
        Node node{op, 0, {*first}};
        while (peek(word)) {
            ++at_;
            const std::optional<std::size_t> next = lower ? notExpr() : andExpr();
            if (!next) {
                return std::nullopt;
            }
            node.items.push_back(*next);
        }
        return add(std::move(node));
    }
    std::optional<std::size_t> orExpr() { return binary(Node::Op::orOp, "or", false); }
    std::optional<std::size_t> andExpr() { return binary(Node::Op::andOp, "and", true); }
    std::optional<std::size_t> notExpr() {
        if (peek("not")) {
            ++at_;
            const std::optional<std::size_t> inner = notExpr();
            if (!inner) {
                return std::nullopt;
            }
            return add(Node{Node::Op::notOp, 0, {*inner}});
        }
        return primary();
    }
    std::optional<std::size_t> primary() {
        if (at_ >= tokens_.size()) {
            return std::nullopt;
        }
        const std::string_view t = tokens_[at_];
        if (t == "(") {
            if (++depth_ > kMostParentheses) {
                error_ = "the condition is nested too deeply";
                return std::nullopt;
            }
            ++at_;
            const std::optional<std::size_t> inner = orExpr();
            if (!inner || !peek(")")) {
                return std::nullopt;
            }
            ++at_;
            --depth_;
            return inner;
        }
        if ((t == "1" || t == "any" || t == "all") && at_ + 1 < tokens_.size() &&
            tokens_[at_ + 1] == "of") {
            if (at_ + 2 >= tokens_.size() || isKeyword(tokens_[at_ + 2])) {
                return std::nullopt;
            }
            const std::string_view pattern = tokens_[at_ + 2];
            at_ += 3;
            Node node{t == "all" ? Node::Op::allOf : Node::Op::anyOf, 0, {}};
            const WildcardPattern glob(pattern, WildcardPattern::Anchor::whole, false);
            for (std::size_t i = 0; i < identifiers_.size(); ++i) {
                const bool wanted = pattern == "them" ? !identifiers_[i].starts_with('_')
                                                      : glob.matches(identifiers_[i]);
                if (wanted) {
                    node.items.push_back(i);
                    name(i);
                }
            }
            if (node.items.empty()) {
                error_ = "no identifier matches " + std::string(pattern);
                return std::nullopt;
            }
            return add(std::move(node));
        }
        if (isKeyword(t) || t == "them") {
            return std::nullopt;
        }
        ++at_;
        const auto it = std::find(identifiers_.begin(), identifiers_.end(), t);
        if (it == identifiers_.end()) {
            error_ = "unknown identifier " + std::string(t);
            return std::nullopt;
        }
        const auto id = static_cast<std::size_t>(it - identifiers_.begin());
        name(id);
        return add(Node{Node::Op::identifier, id, {}});
    }

    std::vector<std::string_view> tokens_;
    const std::vector<std::string>& identifiers_;
    RuleCondition& out_;
    std::size_t at_ = 0;
    int depth_ = 0;
    std::string error_;
};

std::optional<RuleCondition> RuleCondition::parse(std::string_view text,
                                                  const std::vector<std::string>& identifiers,
                                                  std::string& error) {
    RuleCondition condition;
    ConditionParser parser(tokenize(text), identifiers, condition);
    if (!parser.parse(error)) {
        return std::nullopt;
    }
    return condition;
}

std::vector<std::size_t> RuleCondition::requiredOf(std::size_t at) const {
    const Node& node = nodes_[at];
    std::vector<std::size_t> out;
    switch (node.op) {
        case Node::Op::identifier:
            out.push_back(node.identifier);
            break;
        case Node::Op::allOf:
            out = node.items;
            break;
        case Node::Op::anyOf:
            if (node.items.size() == 1) {
                out = node.items;
            }
            break;
        case Node::Op::andOp:
            for (const std::size_t item : node.items) {
                const std::vector<std::size_t> more = requiredOf(item);
                out.insert(out.end(), more.begin(), more.end());
            }
            break;
        case Node::Op::orOp: {
            // Only what every alternative needs.
            out = requiredOf(node.items[0]);
            for (std::size_t i = 1; i < node.items.size(); ++i) {
                const std::vector<std::size_t> other = requiredOf(node.items[i]);
                std::erase_if(out, [&](std::size_t id) {
                    return std::find(other.begin(), other.end(), id) == other.end();
                });
            }
            break;
        }
        case Node::Op::notOp:
            break;
    }
    return out;
}

bool RuleCondition::evaluate(const std::function<bool(std::size_t)>& holds) const {
    return evaluateNode(root_, holds);
}

}  // namespace korvantis
