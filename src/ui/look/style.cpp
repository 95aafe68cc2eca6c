#include "ui/look/style.h"

#include <QFontDatabase>

#include <vector>

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

QColor bookmarkColor(const QPalette& palette) {
    // A blue apart from the green and pink of related rows, strong on both.
    return isLightColor(palette.color(QPalette::Base)) ? QColor(0x1F, 0x5F, 0xD0)
                                                       : QColor(0x6A, 0xA8, 0xFF);
}

namespace {

struct HighlightShade {
    QString name;
    QColor light;  // pale, under dark text on light rows
    QColor dark;   // deep, under light text on dark rows
};

const std::vector<HighlightShade>& highlightShades() {
    static const std::vector<HighlightShade> shades = {
        {QStringLiteral("amber"), QColor(0xFF, 0xF0, 0xB3), QColor(0x4A, 0x36, 0x00)},
        {QStringLiteral("rose"), QColor(0xFF, 0xE0, 0xE8), QColor(0x55, 0x18, 0x2E)},
        {QStringLiteral("mint"), QColor(0xD8, 0xF5, 0xE0), QColor(0x12, 0x3F, 0x22)},
        {QStringLiteral("sky"), QColor(0xDC, 0xEB, 0xFF), QColor(0x14, 0x36, 0x58)},
        {QStringLiteral("lilac"), QColor(0xED, 0xE3, 0xFF), QColor(0x3A, 0x24, 0x66)},
        {QStringLiteral("sand"), QColor(0xF2, 0xEA, 0xD8), QColor(0x3F, 0x33, 0x24)},
    };
    return shades;
}

}  // namespace

const QStringList& highlightColourNames() {
    static const QStringList names = [] {
        QStringList list;
        for (const HighlightShade& shade : highlightShades()) {
            list.append(shade.name);
        }
        return list;
    }();
    return names;
}

QColor highlightColor(const QString& name, const QPalette& palette) {
    for (const HighlightShade& shade : highlightShades()) {
        if (shade.name == name) {
            return isLightColor(palette.color(QPalette::Base)) ? shade.light : shade.dark;
        }
    }
    return {};
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
