#include "ui/style.h"

#include <QFontDatabase>

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
