#include <QApplication>

#include "app/korvantis_app.h"
#include "ingest/cache_file.h"

int main(int argc, char** argv) {
    // The web engine shares its GL context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvantis"));
    QGuiApplication::setDesktopFileName(QStringLiteral("korvantis"));

    // Spools left by instances that crashed go now.
    korvantis::CacheFile::removeStale();
    korvantis::KorvantisApp app;
    // korvantis [LOG...]: each LOG is loaded in order, as an import would.
    app.start(QApplication::arguments().mid(1));
    return QApplication::exec();
}
