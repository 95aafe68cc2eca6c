#include "ui/bidi_isolation.h"

#include <algorithm>

namespace korvantis::ui {

namespace {

constexpr QChar kLri(0x2066);
constexpr QChar kFsi(0x2068);
constexpr QChar kPdi(0x2069);

bool isLineBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

bool isIsolateStart(QChar c) {
    return c.unicode() >= 0x2066 && c.unicode() <= 0x2068;
}

// Length of the separator at `i`, or 0: "/", "\/" and a double quote.
qsizetype separatorAt(QStringView text, qsizetype i) {
    const QChar c = text[i];
    if (c == QLatin1Char('/') || c == QLatin1Char('"')) {
        return 1;
    }
    if (c == QLatin1Char('\\') && i + 1 < text.size() && text[i + 1] == QLatin1Char('/')) {
        return 2;
    }
    return 0;
}

class Builder {
  public:
    explicit Builder(qsizetype capacity) {
        out_.shown.reserve(capacity);
        out_.inserted.reserve(static_cast<std::size_t>(capacity));
    }

    void mark(QChar c) { append(c, true); }
    void copy(QStringView text) {
        for (QChar c : text) {
            append(c, false);
        }
    }

    // One part between separators, in an isolate whose own marks balance.
    void part(QStringView text) {
        if (text.isEmpty()) {
            return;
        }
        mark(kFsi);
        int open = 0;
        for (QChar c : text) {
            if (isIsolateStart(c)) {
                ++open;
            } else if (c == kPdi) {
                if (open == 0) {
                    mark(kFsi);  // pairs the stray closing mark
                } else {
                    --open;
                }
            }
            append(c, false);
        }
        for (; open > 0; --open) {
            mark(kPdi);
        }
        mark(kPdi);
    }

    void line(QStringView text) {
        if (text.isEmpty()) {
            return;
        }
        mark(kLri);
        qsizetype start = 0;
        for (qsizetype i = 0; i < text.size();) {
            const qsizetype sep = separatorAt(text, i);
            if (sep == 0) {
                ++i;
                continue;
            }
            part(text.sliced(start, i - start));
            copy(text.sliced(i, sep));
            i += sep;
            start = i;
        }
        part(text.sliced(start));
        mark(kPdi);
    }

    IsolatedText take() { return std::move(out_); }

  private:
    void append(QChar c, bool inserted) {
        out_.shown.append(c);
        out_.inserted.push_back(inserted);
    }

    IsolatedText out_;
};

}  // namespace

QString IsolatedText::original(qsizetype from, qsizetype to) const {
    from = std::clamp<qsizetype>(from, 0, shown.size());
    to = std::clamp<qsizetype>(to, from, shown.size());
    QString out;
    out.reserve(to - from);
    for (qsizetype i = from; i < to; ++i) {
        if (!inserted[static_cast<std::size_t>(i)]) {
            out.append(shown[i]);
        }
    }
    return out;
}

IsolatedText isolatePathParts(QStringView text) {
    Builder b(text.size() + 16);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isLineBreak(text[i])) {
            b.line(text.sliced(start, i - start));
            b.copy(text.sliced(i, 1));
            start = i + 1;
        }
    }
    b.line(text.sliced(start));
    return b.take();
}

}  // namespace korvantis::ui
