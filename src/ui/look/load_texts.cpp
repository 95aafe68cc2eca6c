#include "ui/look/load_texts.h"

#include <QCoreApplication>
#include <QObject>

#include <iterator>

namespace korvantis::ui {

namespace {
QString tr(const char* text) {
    return QCoreApplication::translate("LoadTexts", text);
}
}  // namespace

QString LoadTexts::grouped(std::uint64_t n) {
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, QLatin1Char(','));
    }
    return digits;
}

QString LoadTexts::percent(std::uint64_t bytesRead, std::uint64_t bytesTotal) {
    const std::uint64_t share =
        bytesTotal == 0 ? 0 : std::min<std::uint64_t>(99, bytesRead * 100 / bytesTotal);
    return QStringLiteral("%1%").arg(share);
}

QString LoadTexts::lines(std::uint64_t lines) {
    return tr("%1 lines").arg(grouped(lines));
}

QString LoadTexts::decodedLines(std::uint64_t lines, std::uint64_t textBytes) {
    // One decimal from the megabyte on, as a count that keeps moving.
    static const char* const kUnits[] = {"MB", "GB", "TB", "PB"};
    double amount = static_cast<double>(textBytes) / 1e6;
    std::size_t unit = 0;
    while (amount >= 1000 && unit + 1 < std::size(kUnits)) {
        amount /= 1000;
        ++unit;
    }
    return tr("%1 lines, %2 %3 of text")
        .arg(grouped(lines), QString::number(amount, 'f', 1), QLatin1String(kUnits[unit]));
}

QString LoadTexts::queued(std::size_t queued) {
    return queued == 0 ? QString() : tr("%1 more queued").arg(grouped(queued));
}

QString LoadTexts::cancelButton() {
    return tr("Cancel");
}

QString LoadTexts::cancelledAfter(std::uint64_t lines, std::size_t queued) {
    const QString after = tr("Cancelled after %1 lines").arg(grouped(lines));
    return queued == 0   ? after
           : queued == 1 ? tr("%1 and 1 queued log").arg(after)
                         : tr("%1 and %2 queued logs").arg(after, grouped(queued));
}

QString LoadTexts::windowTitle(const QStringList& fileNames) {
    const QString app = QStringLiteral("Korvantis");
    if (fileNames.isEmpty()) {
        return app;
    }
    QString title = app + QStringLiteral(" \u2014 ") + fileNames.first();
    if (fileNames.size() > 1) {
        title += QStringLiteral(" +%1").arg(fileNames.size() - 1);
    }
    return title;
}

QString LoadTexts::errorOrigin(const QString& fileName, std::uint64_t line) {
    // Line 0: an error about the whole file.
    return line == 0 ? fileName : QStringLiteral("%1:%2").arg(fileName).arg(line);
}

QString LoadTexts::lostMessages(const LostMessages& lost, const QString& fileName,
                                std::uint64_t gaps) {
    const QString messages =
        lost.beyond       ? QObject::tr("more than %1 messages are missing").arg(lost.count)
        : lost.count == 1 ? QObject::tr("1 message is missing")
                          : QObject::tr("%1 messages are missing").arg(grouped(lost.count));
    const QString count =
        gaps == 1 ? QObject::tr("1 gap") : QObject::tr("%1 gaps").arg(grouped(gaps));
    return QObject::tr("%1 from %2 (%3): dropped by the recorder or cut from the log")
        .arg(messages, fileName, count);
}

QString LoadTexts::gapPlace(const QString& fileName, std::uint64_t line, std::uint64_t lost) {
    return QObject::tr("%1: %2 lost").arg(errorOrigin(fileName, line), grouped(lost));
}

QString LoadTexts::showGapsButton() {
    return QObject::tr("Show");
}

}  // namespace korvantis::ui
