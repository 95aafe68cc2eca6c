#include "app/viewer_options.h"

#include <algorithm>
#include <string_view>

namespace korvantis {

namespace {

// The viewer's own options. To add one, add a field to ViewerOptions and a
// row here; its help line comes from the row.
struct ViewerFlag {
    std::string_view name;
    std::string_view shortName;
    bool ViewerOptions::*field;
    std::string_view help;
};
constexpr ViewerFlag kViewerFlags[] = {
    {"--help", "-h", &ViewerOptions::help, "print this help and exit"},
    {"--version", "", &ViewerOptions::version, "print the name and version and exit"},
    {"--follow", "", &ViewerOptions::follow, "follow the logs: load lines appended to them"},
    {"--no-index", "", &ViewerOptions::noIndex,
     "read, write and make nothing in the index cache: every log is loaded afresh"},
};

// Qt's own options (QGuiApplication and QApplication), with one dash or two,
// and whether the next argument is their value. They go to QApplication.
struct QtOption {
    std::string_view name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"geometry", true},
    {"qwindowicon", true},     {"icon", true},
    {"qwindowtitle", true},    {"title", true},
    {"display", true},         {"name", true},
    {"session", true},         {"style", true},
    {"stylesheet", true},      {"qmljsdebugger", false},
    {"reverse", false},        {"widgetcount", false},
    {"nograb", false},         {"dograb", false},
    {"testability", false},
};
// Everything after it is Chromium's, read by the web engine.
constexpr std::string_view kWebEngineArgs = "--webEngineArgs";

const QtOption* qtOptionNamed(std::string_view arg) {
    if (arg.starts_with("--")) {
        arg.remove_prefix(2);
    } else {
        arg.remove_prefix(1);
    }
    // -style=fusion: the value is part of the argument.
    arg = arg.substr(0, arg.find('='));
    for (const QtOption& option : kQtOptions) {
        if (arg == option.name) {
            return &option;
        }
    }
    return nullptr;
}

const ViewerFlag* viewerFlagNamed(std::string_view arg) {
    for (const ViewerFlag& flag : kViewerFlags) {
        if (arg == flag.name || (!flag.shortName.empty() && arg == flag.shortName)) {
            return &flag;
        }
    }
    return nullptr;
}

}  // namespace

ParsedViewerArguments parseViewerArguments(int argc, char** argv) {
    ParsedViewerArguments parsed;
    ViewerOptions& options = parsed.options;
    options.qtArguments.push_back(argv[0]);
    bool onlyLogs = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        // "-" alone is a name, not an option.
        if (onlyLogs || arg.size() < 2 || arg[0] != '-') {
            options.logs.emplace_back(arg);
        } else if (arg == "--") {
            onlyLogs = true;
        } else if (const ViewerFlag* flag = viewerFlagNamed(arg)) {
            options.*flag->field = true;
        } else if (arg == kWebEngineArgs) {
            options.qtArguments.insert(options.qtArguments.end(), argv + i, argv + argc);
            break;
        } else if (const QtOption* qt = qtOptionNamed(arg)) {
            options.qtArguments.push_back(argv[i]);
            if (qt->takesValue && arg.find('=') == std::string_view::npos) {
                if (i + 1 == argc) {
                    parsed.error = std::string(arg) + " needs a value";
                    return parsed;
                }
                options.qtArguments.push_back(argv[++i]);
            }
        } else {
            parsed.error = "unknown option " + std::string(arg);
            return parsed;
        }
    }
    parsed.ok = true;
    return parsed;
}

std::string viewerUsage() {
    std::string text =
        "usage: korvantis [OPTION...] [--] [LOG...]\n"
        "Opens a window and loads each LOG into it, in order, as \"Import Json\" would.\n"
        "\n";
    for (const ViewerFlag& flag : kViewerFlags) {
        std::string names = flag.shortName.empty() ? "    " : std::string(flag.shortName) + ", ";
        names += flag.name;
        names.resize(std::max<std::size_t>(names.size() + 2, 18), ' ');
        text += "  " + names + std::string(flag.help) + "\n";
    }
    text +=
        "  --                no more options: every later argument is a LOG\n"
        "  LOG               an event log of JSON lines: the viewer's records or eslogger output,\n"
        "                    or 'clickhouse+http://HOST:PORT/?table=T&where=SQL': the rows of\n"
        "                    table T on that ClickHouse server that SQL holds for, one log per\n"
        "                    host and log (user and password from KORVANTIS_CLICKHOUSE_USER\n"
        "                    and KORVANTIS_CLICKHOUSE_PASSWORD)\n"
        "\n"
        "Qt's own options work as well, among them -platform NAME, -style NAME and -reverse;\n"
        "--webEngineArgs hands every later argument to the tree window's web engine.\n";
    return text;
}

}  // namespace korvantis
