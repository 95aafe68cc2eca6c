#include "rules/rule_event.h"

#include <algorithm>

namespace korvantis {

int ruleFieldNamed(std::string_view name) {
    const auto* it = std::find(kRuleFieldNames.begin(), kRuleFieldNames.end(), name);
    return it == kRuleFieldNames.end() ? -1 : static_cast<int>(it - kRuleFieldNames.begin());
}

void foldAsciiInto(std::string_view text, std::string& out) {
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        out[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
}

std::string_view RuleEvent::folded(RuleField field) const {
    const auto i = static_cast<std::size_t>(field);
    if (!folded_[i]) {
        foldAsciiInto(texts_[i], foldedTexts_[i]);
        folded_.set(i);
    }
    return foldedTexts_[i];
}

void RuleEvent::keepItemResult(std::uint32_t shared, bool holds) const {
    if (shared >= itemStamps_.size()) {
        itemStamps_.resize(shared + 1, 0);
        itemResults_.resize(shared + 1, 0);
    }
    itemStamps_[shared] = itemStamp_;
    itemsKept_ = true;
    itemResults_[shared] = holds ? 1 : 0;
}

std::string_view RuleEvent::foldedLine() const {
    if (!lineFolded_) {
        foldAsciiInto(rawLine, foldedLine_);
        lineFolded_ = true;
    }
    return foldedLine_;
}

}  // namespace korvantis
