#include <QApplication>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/korvantis_app.h"
#include "app/viewer_options.h"
#include "index/index_cache.h"
#include "input/cache_file.h"
#include "korvantis_version.h"
#include "rules/rule_document.h"
#include "store/log_files.h"
#include "treeview/tree_text_scheme.h"
#include "ui/look/viewer_settings.h"

int main(int argc, char** argv) {
    // The viewer started again as the child that parses a rule file: the
    // window loads rules from threads, so it never forks.
    if (const std::optional<int> answered =
            korvantis::answerAsRuleChildOrBecomeItsParent(argc, argv)) {
        return *answered;
    }
    korvantis::LogFiles::raiseOpenFileLimit();
    // The command line is read before QApplication exists: --help and
    // --version must work without a display.
    korvantis::ParsedViewerArguments parsed = korvantis::parseViewerArguments(argc, argv);
    if (!parsed.ok) {
        std::fprintf(stderr, "korvantis: %s\n%s", parsed.error.c_str(),
                     korvantis::viewerUsage().c_str());
        return 2;
    }
    korvantis::ViewerOptions& options = parsed.options;
    if (options.help) {
        std::fputs(korvantis::viewerUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("korvantis " KORVANTIS_VERSION);
        return 0;
    }

    // The web engine shares its GL context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Tree windows read their trees from the program's own scheme.
    korvantis::TreeTextScheme::registerScheme();
    int qtArgc = static_cast<int>(options.qtArguments.size());
    options.qtArguments.push_back(nullptr);
    QApplication application(qtArgc, options.qtArguments.data());
    // Every setting goes to one file: organization and application "Korvantis".
    QApplication::setOrganizationName(QStringLiteral("Korvantis"));
    QApplication::setApplicationName(QStringLiteral("Korvantis"));
    korvantis::ui::takeOverStraySettings();
    QApplication::setApplicationVersion(QStringLiteral(KORVANTIS_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("korvantis"));

    korvantis::KorvantisApp app;
    // Spools left by instances that crashed go now; with --no-index the
    // cache is not even looked at.
    if (!options.noIndex) {
        korvantis::CacheFile::removeStale();
        if (std::string folder = korvantis::IndexCache::defaultFolder(true); !folder.empty()) {
            app.setIndexCache(std::make_shared<korvantis::IndexCache>(std::move(folder)));
        }
    }
    // korvantis [LOG...]: each LOG is loaded in order, as an import would.
    // Named by argv's own bytes: a name that is not valid UTF-8 would not
    // survive QString.
    const std::vector<std::string>& logs = options.logs;
    app.start(logs, options.follow);
    return QApplication::exec();
}
