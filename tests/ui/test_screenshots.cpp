// Saves pictures of the main window in its typical states for a person to
// look at: empty, loaded with a chosen row, the legend, the error list.

#include <QDir>
#include <QTabWidget>

#include "ui_test_support.h"

using namespace korvantis::ui;
using namespace korvantis::ui::testing;

class ScreenshotTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QString outDir_ = QStringLiteral(KORVANTIS_SCREENSHOT_DIR);

    void save(QWidget& w, const QString& name) {
        QCoreApplication::processEvents();
        const QImage image = w.grab().toImage();
        QVERIFY(!image.isNull());
        const QString path = QDir(outDir_).filePath(name);
        QVERIFY2(image.save(path), qPrintable(path));
        qInfo("saved %s", qPrintable(path));
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QVERIFY(QDir().mkpath(outDir_));
    }

    void states() {
        MainView view([](const QString&) {});
        view.resize(1400, 860);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        save(view, QStringLiteral("main-empty.png"));

        QStringList lines;
        lines << procLine("ES_EVENT_TYPE_NOTIFY_FORK", 1, 0, "/sbin/launchd");
        // A row whose timestamp and path wrap.
        lines << procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 103, 101,
                          QStringLiteral("/Applications/Some Very Long Application Name.app/"
                                         "Contents/MacOS/Some Very Long Application Name Helper "
                                         "(Renderer) with a path that wraps"),
                          QStringLiteral("2026-12-06T10:00:00.123456789+00:00 (a long stamp)"));
        const char* bins[] = {"/bin/zsh", "/usr/bin/git", "/usr/libexec/xpcproxy", "/bin/ls"};
        for (int i = 0; i < 40; ++i) {
            const qint64 pid = 100 + i % 7;
            const qint64 ppid = pid == 100 ? 1 : 100 + (i % 7) / 2;
            lines << procLine(i % 2 ? "ES_EVENT_TYPE_NOTIFY_EXEC" : "ES_EVENT_TYPE_NOTIFY_FORK",
                              pid, ppid, QString::fromLatin1(bins[i % 4]),
                              QStringLiteral("1765000000.%1").arg(100000 + i * 1371));
            lines << fileLine("ES_EVENT_TYPE_NOTIFY_WRITE", pid,
                              QStringLiteral("/Users/alice/Documents/report-%1.txt").arg(i));
        }
        lines << QStringLiteral("{not json") << QString()
              << QStringLiteral(R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"1"})");
        const QString path = writeLog(dir_, QStringLiteral("shots.json"), lines);
        view.store().loadJsonFile(path.toStdString());
        PreviewList* list = procPreview(view)->list();
        QTRY_VERIFY_WITH_TIMEOUT(list->model().rowCount() > 40, 20000);
        const QRect r = list->rowRect(5);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          r.center() + QPoint(-r.center().x() + 20, 0));
        QTRY_VERIFY_WITH_TIMEOUT(view.store().activePreview().has_value(), 20000);
        QTest::qWait(50);
        save(view, QStringLiteral("main-loaded-selected.png"));

        view.tabs()->setCurrentIndex(1);
        PreviewList* files = filePreview(view)->list();
        const QRect fr = files->rowRect(3);
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, QPoint(20, fr.center().y()));
        QTRY_VERIFY_WITH_TIMEOUT(view.store().activeFilePreview().has_value(), 20000);
        QTest::qWait(50);
        save(view, QStringLiteral("main-files-selected.png"));
        // The same on a dark palette: unmarked file cells and the counter in white.
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(45, 45, 48));
        dark.setColor(QPalette::Base, QColor(30, 30, 32));
        dark.setColor(QPalette::Button, QColor(60, 60, 64));
        dark.setColor(QPalette::Text, QColor(220, 220, 220));
        dark.setColor(QPalette::WindowText, QColor(220, 220, 220));
        dark.setColor(QPalette::ButtonText, QColor(220, 220, 220));
        const QPalette before = view.palette();
        view.setPalette(dark);
        QTest::qWait(50);
        save(view, QStringLiteral("main-files-dark.png"));
        view.setPalette(before);
        view.tabs()->setCurrentIndex(0);

        view.topBar()->legendButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(view.store().showLegend(), 20000);
        QTest::qWait(50);
        save(view, QStringLiteral("main-legend.png"));

        view.topBar()->errorsButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(view.store().showErrors(), 20000);
        QTest::qWait(50);
        save(view, QStringLiteral("main-errors.png"));
    }
};

QTEST_MAIN(ScreenshotTest)
#include "test_screenshots.moc"
