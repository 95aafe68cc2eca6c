#include <QApplication>

#include <string>
#include <vector>

#include "app/korvantis_app.h"

int main(int argc, char** argv) {
    // The web engine shares its GL context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvantis"));
    QGuiApplication::setDesktopFileName(QStringLiteral("korvantis"));

    korvantis::KorvantisApp app;
    // korvantis [LOG...]: each LOG is loaded in order, as an import would.
    // Named by argv's own bytes (QApplication has taken out its options):
    // a name that is not valid UTF-8 would not survive QString.
    std::vector<std::string> logs(argv + 1, argv + argc);
    app.start(logs);
    return QApplication::exec();
}
