#include "ui/style.h"

#include <QFontDatabase>
#include <QObject>

// Resources of a static library must be pulled in by name.
static void initFontResources() {
    Q_INIT_RESOURCE(fonts);
}

namespace korvantis::ui {

namespace {
constexpr int kHeaderPixelSize = 15;
constexpr int kRowPixelSize = 13;
const QString kPreferredFamily = QStringLiteral("Chalkboard");
const QString kFallbackFamily = QStringLiteral("Comic Relief");
}  // namespace

QColor greenColor() {
    return QColor(61, 210, 130);
}
QColor pinkColor() {
    return QColor(210, 0, 130);
}

bool isLightColor(const QColor& background) {
    // Relative luminance; white text needs a background clearly below half.
    const double l =
        0.2126 * background.redF() + 0.7152 * background.greenF() + 0.0722 * background.blueF();
    return l > 0.5;
}

QColor readableWhite(const QPalette& palette, QPalette::ColorRole background,
                     QPalette::ColorRole text) {
    if (isLightColor(palette.color(background))) {
        return palette.color(text);
    }
    return QColor(Qt::white);
}

QColor markColor(Mark mark, StandardColor standard, const QPalette& palette) {
    switch (mark) {
        case Mark::green:
            return greenColor();
        case Mark::pink:
            return pinkColor();
        case Mark::standard:
            break;
    }
    return standard == StandardColor::white ? readableWhite(palette)
                                            : palette.color(QPalette::Text);
}

TimelineColors timelineColors(const QPalette& palette) {
    QColor range = palette.color(QPalette::Highlight);
    range.setAlpha(60);
    return {palette.color(QPalette::Base),
            palette.color(QPalette::Highlight),
            palette.color(QPalette::Link),
            palette.color(QPalette::LinkVisited),
            palette.color(QPalette::Midlight),
            range,
            pinkColor(),
            palette.color(QPalette::Text)};
}

QColor filterErrorColor() {
    return QColor(Qt::red);
}

QString groupedNumber(qulonglong n) {
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, QLatin1Char(','));
    }
    return digits;
}

QString tabTitle(const QString& name, qulonglong shown, qulonglong total, bool filtered) {
    if (!filtered) {
        return name;
    }
    return QObject::tr("%1 (%2 of %3)").arg(name, groupedNumber(shown), groupedNumber(total));
}

QString filterPlaceholderText() {
    return QObject::tr("Filter (Ctrl+F): text pid:N ppid:N tree:N type: path: time: json: -term");
}

QString searchingRawLinesText(int percent) {
    return QObject::tr("searching raw lines… %1%").arg(percent);
}

QString unreadableRowsText(qulonglong rows) {
    return rows == 1 ? QObject::tr("1 row could not be read again")
                     : QObject::tr("%1 rows could not be read again").arg(groupedNumber(rows));
}

QString exportButtonText() {
    return QObject::tr("Export…");
}
QString exportDialogTitle() {
    return QObject::tr("Export shown rows");
}
QString exportJsonLinesFilter() {
    return QObject::tr("JSON lines (*.jsonl *.json)");
}
QString exportCsvFilter() {
    return QObject::tr("CSV (*.csv)");
}
QString exportFailedTitle() {
    return QObject::tr("Export failed");
}
QString exportedText(qulonglong rows, const QString& fileName) {
    return QObject::tr("Exported %1 rows to %2").arg(groupedNumber(rows), fileName);
}

QString onlyThisProcessText() {
    return QObject::tr("Only this process");
}
QString processAndChildrenText() {
    return QObject::tr("This process and what it started");
}
QString hideThisPathText() {
    return QObject::tr("Hide this path");
}
QString copyRowText() {
    return QObject::tr("Copy row");
}
QString copyPathText() {
    return QObject::tr("Copy path");
}
QString copyPidText() {
    return QObject::tr("Copy pid");
}
QString onlyThisUserText() {
    return QObject::tr("Only this user");
}
QString onlyThisSignerText() {
    return QObject::tr("Only this signer");
}
QString copyCommandLineText() {
    return QObject::tr("Copy command line");
}

QString readingEventText() {
    return QObject::tr("Reading the event\u2026");
}

QString saveEventButtonText() {
    return QObject::tr("Save event as\u2026");
}

QString saveEventDialogTitle() {
    return QObject::tr("Save event as");
}

QString saveEventFilter() {
    return QObject::tr("JSON (*.json);;All files (*)");
}

QString saveEventFailedTitle() {
    return QObject::tr("The event could not be saved");
}

void registerFonts() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    initFontResources();
    if (!QFontDatabase::families().contains(kPreferredFamily)) {
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/ComicRelief-Regular.ttf"));
    }
}

QString listFontFamily() {
    registerFonts();
    static const QString family =
        QFontDatabase::families().contains(kPreferredFamily) ? kPreferredFamily : kFallbackFamily;
    return family;
}

QFont headerFont() {
    QFont f(listFontFamily());
    f.setPixelSize(kHeaderPixelSize);
    return f;
}

QFont rowFont() {
    QFont f(listFontFamily());
    f.setPixelSize(kRowPixelSize);
    return f;
}

}  // namespace korvantis::ui
