#include "ui/list/bidi_isolation.h"

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

    // One part between separators, in an isolate. Isolate marks that were
    // in the text cannot unbalance it: they are shown as visible marks.
    void part(QStringView text) {
        if (text.isEmpty()) {
            return;
        }
        mark(kFsi);
        copy(text);
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
        if (!inserted && actsUnseen(c)) {
            out_.visibleMarks.emplace_back(out_.shown.size(), c.unicode());
            const QString mark =
                QStringLiteral("\u27e8U+") +
                QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')) +
                QChar(0x27e9);
            for (QChar m : mark) {
                out_.shown.append(m);
                out_.inserted.push_back(true);
            }
            return;
        }
        out_.shown.append(c);
        out_.inserted.push_back(inserted);
    }

    IsolatedText out_;
};

}  // namespace

bool actsUnseen(QChar c) {
    if (c == QLatin1Char('\n') || c == QLatin1Char('\t')) {
        return false;  // laid out as what they are
    }
    const QChar::Category category = c.category();
    return category == QChar::Other_Format || category == QChar::Other_Control ||
           c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

QString IsolatedText::original(qsizetype from, qsizetype to) const {
    from = std::clamp<qsizetype>(from, 0, shown.size());
    to = std::clamp<qsizetype>(to, from, shown.size());
    QString out;
    out.reserve(to - from);
    // A mark stands for its character when the range takes in its start.
    auto mark = std::lower_bound(visibleMarks.begin(), visibleMarks.end(),
                                 std::pair<qsizetype, char16_t>(from, 0));
    for (qsizetype i = from; i < to; ++i) {
        if (mark != visibleMarks.end() && mark->first == i) {
            out.append(QChar(mark->second));
            ++mark;
        } else if (!inserted[static_cast<std::size_t>(i)]) {
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

IsolatedText withVisibleMarks(QStringView text) {
    Builder b(text.size());
    b.copy(text);
    return b.take();
}

}  // namespace korvantis::ui
