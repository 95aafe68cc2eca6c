#include "rules/event_fields.h"

#include <optional>

#include "decode/decimal_text.h"
#include "decode/eslogger_process.h"
#include "decode/event_kinds.h"
#include "decode/json_members.h"
#include "rules/rule_set.h"

namespace korvantis {

namespace {

using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::object;

// The message's own process: its pid and executable path (empty when it has
// none that is a text).
bool topProcess(const element& message, std::int64_t& pid, std::string_view& path) {
    object root, process;
    element value;
    if (message.get_object().get(root) || root.at_key("process").get(value) ||
        value.get_object().get(process)) {
        return false;
    }
    // Only two of its some twenty members: a walk for all that a row reads
    // of a process costs several times more.
    const JsonMembers<2> members(process, {"audit_token", "executable"});
    if (!members.get(0, value)) {
        return false;
    }
    const AuditTokenWords words = auditTokenWords(value);
    if (!words.pid) {
        return false;
    }
    pid = *words.pid;
    object executable;
    if (!members.get(1, value) || value.get_object().get(executable) ||
        executable.at_key("path").get(value) || value.get_string().get(path)) {
        path = {};
    }
    return true;
}

// A fact that may have been cut: rules see the whole text.
bool mayBeCut(std::string_view fact) {
    return fact.size() >= kFactBytes;
}

// The message's own process, as topProcess() reads it. A file or other row's
// facts are of that process, and its pid is the row's: the message need not
// be walked again unless the path fact was cut.
bool messageProcess(const DecodedRow& row, std::int64_t& pid, std::string_view& path) {
    if (!row.isProcess) {
        pid = row.pid;
        path = row.facts[Fact::process_path];
        if (!mayBeCut(path)) {
            return true;
        }
    }
    return topProcess(row.parsedMessage(), pid, path);
}

// The exec's args joined with one blank, when they are all texts.
bool commandLine(const element& message, std::string& out) {
    object root, events, exec;
    element value;
    array args;
    if (message.get_object().get(root) || root.at_key("event").get(value) ||
        value.get_object().get(events) || events.at_key("exec").get(value) ||
        value.get_object().get(exec) || exec.at_key("args").get(value) ||
        value.get_array().get(args)) {
        return false;
    }
    out.clear();
    bool first = true;
    for (const element arg : args) {
        std::string_view text;
        if (arg.get_string().get(text)) {
            return false;
        }
        if (!first) {
            out.push_back(' ');
        }
        first = false;
        out.append(text);
    }
    return true;
}

// A fact's whole text from the message, for one a row keeps cut: the
// exec's cwd, or a text of the subject (the exec's target, else the
// message's own process).
bool uncutFact(const element& message, bool isExec, Fact fact, std::string_view& out) {
    object root, events, exec, subject, cwd;
    element value;
    if (message.get_object().get(root)) {
        return false;
    }
    if (isExec) {
        if (root.at_key("event").get(value) || value.get_object().get(events) ||
            events.at_key("exec").get(value) || value.get_object().get(exec)) {
            return false;
        }
        if (fact == Fact::cwd) {
            return !exec.at_key("cwd").get(value) && !value.get_object().get(cwd) &&
                   !cwd.at_key("path").get(value) && !value.get_string().get(out);
        }
        if (exec.at_key("target").get(value) || value.get_object().get(subject)) {
            return false;
        }
    } else if (root.at_key("process").get(value) || value.get_object().get(subject)) {
        return false;
    }
    const EsloggerProcess p(subject);
    switch (fact) {
        case Fact::signing_id:
            return p.getString(EsloggerProcess::signing_id, out);
        case Fact::team_id:
            return p.getString(EsloggerProcess::team_id, out);
        case Fact::tty:
            return p.getPath(EsloggerProcess::tty, out);
        case Fact::process_path:
            return p.getPath(EsloggerProcess::executable, out);
        default:
            return false;
    }
}

void tell(RuleLine& line, RuleLines& lines, std::int64_t pid, std::string_view image) {
    if (image.empty() || line.tells == 2) {
        return;
    }
    line.tellPid[line.tells] = pid;
    line.tellImage[line.tells] = lines.keep(image);
    ++line.tells;
}

}  // namespace

void ruleEventOf(const RuleLine& line, const RuleLines& lines, std::string_view rawLine,
                 RuleEvent& event) {
    event.clear();
    event.category = line.category;
    event.rawLine = rawLine;
    for (std::size_t f = 0; f < kRuleFieldCount; ++f) {
        if (const RuleLine::Ref field = lines.fields[line.fieldsBegin + f]; field.length != 0) {
            event.set(static_cast<RuleField>(f), lines.resolve(field));
        }
    }
}

void readRuleLine(const DecodedRow& row, const RuleSet& rules, RuleLines& lines, RuleEvent& event) {
    RuleLine& line = lines.lines.emplace_back();
    line.pid = row.pid;
    line.ppid = row.ppid;
    line.isExec = row.isProcess && row.kind == kExecKind;
    line.isFork = row.isProcess && row.kind == kForkKind;
    line.hitsBegin = static_cast<std::uint32_t>(lines.hits.size());
    // What the line tells of lineage (a file row needs the message's process
    // anyway).
    const bool fileTested =
        !row.isProcess && !row.isOther && (row.kind == kCreateKind || row.kind == kRenameKind);
    std::int64_t topPid = 0;
    std::string_view topPath;
    const bool hasTop = row.hasMessage() && (rules.readsParentImage() || fileTested) &&
                        messageProcess(row, topPid, topPath);
    if (!rules.readsParentImage()) {
        // Nobody asks.
    } else if (!row.hasMessage()) {
        if (row.isProcess) {
            tell(line, lines, row.pid, row.path);
        }
    } else {
        // The subject: the exec's target or the fork's child (the row's
        // process), else the message's own process.
        if (row.isProcess) {
            tell(line, lines, row.pid, row.path);
        } else if (hasTop) {
            tell(line, lines, topPid, topPath);
        }
        if (hasTop && topPid != row.pid) {
            tell(line, lines, topPid, topPath);
        }
    }
    line.tested = line.isExec || fileTested;
    if (!line.tested) {
        return;
    }
    line.category = line.isExec ? RuleCategory::processCreation : RuleCategory::fileEvent;
    if (!rules.hasCategory(line.category)) {
        line.tested = false;
        return;
    }
    const std::array<std::string_view, kFactCount> facts = row.facts.all();
    auto factOf = [&facts](Fact fact) { return facts[static_cast<std::size_t>(fact)]; };
    // The event is made of the row's own texts; they are kept in the batch
    // only for rules that wait for lineage.
    event.clear();
    event.category = line.category;
    event.rawLine = row.rawLine;
    // Only the fields some rule reads are worked out; an exec's command line
    // also when lineage hands it to the children.
    const auto wanted = [&](RuleField field) {
        return rules.readsField(field) ||
               (field == RuleField::CommandLine && rules.readsParentCommandLine());
    };
    auto set = [&](RuleField field, std::string_view text) {
        if (!text.empty() && wanted(field)) {
            event.set(field, text);
        }
    };
    // The digits stay here while the event is matched.
    std::optional<DecimalText> pid, ppid;
    auto setNumber = [&](RuleField field, std::optional<DecimalText>& digits, std::int64_t number) {
        if (wanted(field)) {
            event.set(field, digits.emplace(number).view());
        }
    };
    thread_local std::string command;
    command.clear();
    if (line.isExec) {
        set(RuleField::Image, row.path);
        if (wanted(RuleField::CommandLine) && row.hasMessage() &&
            !commandLine(row.parsedMessage(), command)) {
            command.clear();
        }
        set(RuleField::CommandLine, command);
        set(RuleField::CurrentDirectory, factOf(Fact::cwd));
        setNumber(RuleField::ProcessId, pid, row.pid);
        setNumber(RuleField::ParentProcessId, ppid, row.ppid);
    } else {
        if (row.hasMessage() && hasTop) {
            set(RuleField::Image, topPath);
        }
        setNumber(RuleField::ProcessId, pid, row.pid);
        set(RuleField::TargetFilename, row.path);
    }
    static constexpr std::pair<RuleField, Fact> kFacts[] = {
        {RuleField::cwd, Fact::cwd},
        {RuleField::uid, Fact::uid},
        {RuleField::pidversion, Fact::pidversion},
        {RuleField::responsible_pid, Fact::responsible_pid},
        {RuleField::signing_id, Fact::signing_id},
        {RuleField::team_id, Fact::team_id},
        {RuleField::tty, Fact::tty},
        {RuleField::platform, Fact::platform},
        {RuleField::process_path, Fact::process_path},
    };
    for (const auto& [field, fact] : kFacts) {
        if (!wanted(field)) {
            continue;
        }
        std::string_view text = factOf(fact);
        if (mayBeCut(text) && row.hasMessage()) {
            uncutFact(row.parsedMessage(), line.isExec, fact, text);
        }
        set(field, text);
    }
    line.deferredBegin = static_cast<std::uint32_t>(lines.deferred.size());
    rules.matchWithoutLineage(event, lines.hits, lines.deferred);
    line.hitsCount = static_cast<std::uint32_t>(lines.hits.size()) - line.hitsBegin;
    line.deferredCount = static_cast<std::uint32_t>(lines.deferred.size()) - line.deferredBegin;
    if (line.deferredCount != 0) {
        line.fieldsBegin = static_cast<std::uint32_t>(lines.fields.size());
        for (std::size_t f = 0; f < kRuleFieldCount; ++f) {
            const std::string_view text = event.text(static_cast<RuleField>(f));
            lines.fields.push_back(text.empty() ? RuleLine::Ref{} : lines.keep(text));
        }
        line.commandLine =
            lines.fields[line.fieldsBegin + static_cast<std::size_t>(RuleField::CommandLine)];
    } else if (line.isExec && rules.readsParentCommandLine() && !command.empty()) {
        // Lineage reads an exec's command line.
        line.commandLine = lines.keep(command);
    }
}

std::optional<std::string> ruleCommandLine(std::string_view line) {
    thread_local simdjson::dom::parser parser;
    element root;
    std::string out;
    if (parser.parse(simdjson::padded_string(line)).get(root) || !commandLine(root, out)) {
        return std::nullopt;
    }
    return out;
}

}  // namespace korvantis
