#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "decode/row_facts.h"

namespace korvantis::testsupport {

// Facts encoded as a row keeps them, kept for the whole test run; nullptr
// when all are empty.
inline const char* encodedFacts(std::initializer_list<std::pair<Fact, std::string>> facts) {
    static std::vector<std::unique_ptr<std::string>> kept;
    RowFactsBuilder builder;
    for (const auto& [fact, text] : facts) {
        builder.set(fact, text);
    }
    kept.push_back(std::make_unique<std::string>(builder.encode()));
    return kept.back()->empty() ? nullptr : kept.back()->data();
}

}  // namespace korvantis::testsupport
