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

// Each text colour reads at least 4.5:1 against the backgrounds it is drawn
// on (rows, headers, the legend, buttons) in a light and in a dark palette.
// The dark palette keeps the green #3DD282 and takes a lighter pink; the
// light one needs a darker green (#3DD282 is 2:1 on white) and a darker pink
// (#D20082 is 5.2:1 on white rows but 4.49:1 on the grey of headers).
QColor greenColor(const QPalette& palette) {
    return isLightColor(palette.color(QPalette::Base)) ? QColor(0x14, 0x70, 0x40)
                                                       : QColor(61, 210, 130);
}
QColor pinkColor(const QPalette& palette) {
    return isLightColor(palette.color(QPalette::Base)) ? QColor(0xC8, 0x00, 0x7C)
                                                       : QColor(0xFF, 0x85, 0xCB);
}

QColor ruleLevelColor(RuleLevel level, const QPalette& palette) {
    const bool light = isLightColor(palette.color(QPalette::Base));
    switch (level) {
        case RuleLevel::informational:
            return palette.color(QPalette::PlaceholderText);
        case RuleLevel::low:
            return light ? QColor(0x1F, 0x5F, 0xBF) : QColor(0x7F, 0xB2, 0xFF);
        case RuleLevel::medium:
            return light ? QColor(0x8A, 0x60, 0x00) : QColor(0xF2, 0xC1, 0x4E);
        case RuleLevel::high:
            return light ? QColor(0xB0, 0x44, 0x00) : QColor(0xFF, 0x9A, 0x4D);
        case RuleLevel::critical:
            return light ? QColor(0xC0, 0x10, 0x10) : QColor(0xFF, 0x6B, 0x6B);
        case RuleLevel::none:
            break;
    }
    return palette.color(QPalette::Text);
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
            return greenColor(palette);
        case Mark::pink:
            return pinkColor(palette);
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
            pinkColor(palette),
            palette.color(QPalette::Text)};
}

QColor filterErrorColor(const QPalette& palette) {
    // Pure red is 4:1 on white and 2.7:1 on a dark grey.
    return isLightColor(palette.color(QPalette::Base)) ? QColor(0xC0, 0x00, 0x00)
                                                       : QColor(0xFF, 0x8A, 0x8A);
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
