// Rule files of any bytes: loading never fails badly, always gives an entry
// per document (or one for the file), every loaded rule can be tested on a
// row, and an answer before lineage is known never contradicts the answer
// after.

#include <pthread.h>
#include <sanitizer/common_interface_defs.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "rules/rule_set.h"

using namespace korvantis;

// The YAML is parsed in a forked child bounded in memory and time, which is
// ended when it goes past them: that is the loader's answer to a hostile
// file, not a crash. The fuzzer's own handlers, inherited by the child,
// would take its end for one and write the input down as crashing.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::pthread_atfork(nullptr, nullptr, [] {
        __sanitizer_set_death_callback(nullptr);
        for (const int signal : {SIGALRM, SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGINT, SIGTERM,
                                 SIGXFSZ, SIGUSR1, SIGUSR2}) {
            std::signal(signal, SIG_DFL);
        }
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::asText(data, size);
    RuleSet set;
    loadRuleText(input, "f", set);
    std::size_t loaded = 0;
    for (const RuleEntry& entry : set.entries) {
        loaded += entry.loaded;
        if (entry.reportLine().find('\n') != std::string::npos && !entry.loaded) {
            __builtin_trap();  // a reason is one line
        }
    }
    if (loaded != set.rules.size()) {
        __builtin_trap();
    }
    RuleEvent event;
    // The input's own bytes as the fields, so its values can match.
    const std::string_view text = input.substr(0, 64);
    for (std::size_t f = 0; f < kRuleFieldCount; ++f) {
        event.set(static_cast<RuleField>(f), text.substr(std::min(f % 4, text.size())));
    }
    event.rawLine = input;
    for (const RuleCategory category : {RuleCategory::processCreation, RuleCategory::fileEvent}) {
        event.category = category;
        for (const SigmaRule& rule : set.rules) {
            const bool holds = rule.matches(event);
            const int early = rule.matchesWithoutLineage(event);
            if (early != RuleCondition::kUnknown && (early == RuleCondition::kTrue) != holds) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
