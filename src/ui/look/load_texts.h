#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

#include "store/sequence_gap.h"

namespace korvantis::ui {

// The texts the window shows about its loads: the progress strip, the note
// after a cancel, the window title and where each load error came from. The
// one place where they are worded.
struct LoadTexts {
    // A count with its digits grouped in threes: "12,345".
    static QString grouped(std::uint64_t n);
    // The share of the log's bytes read while it loads: "42%" (0% for an
    // empty log), 99% at most: the rest of a load (the last lines, the
    // process tree, or a compressed log's text long after its bytes are all
    // read) takes time too.
    static QString percent(std::uint64_t bytesRead, std::uint64_t bytesTotal);
    // "12,345 lines"
    static QString lines(std::uint64_t lines);
    // "12,345 lines, 1.5 GB of text": of a compressed log, whose own bytes
    // tell little of how far it is.
    static QString decodedLines(std::uint64_t lines, std::uint64_t textBytes);
    // "2 more queued"; empty when none wait.
    static QString queued(std::size_t queued);
    static QString cancelButton();
    // "Cancelled after 12,345 lines", "... and 2 queued logs" when the
    // cancel also dropped loads that waited
    static QString cancelledAfter(std::uint64_t lines, std::size_t queued);
    // "Korvantis" alone, "Korvantis — trace.json", "Korvantis — trace.json +2".
    static QString windowTitle(const QStringList& fileNames);
    // "trace.json:12"; "trace.json" alone for line 0.
    static QString errorOrigin(const QString& fileName, std::uint64_t line);
    // "12,345 messages are missing from trace.json (37 gaps): dropped by the
    // recorder or cut from the log"; "more than 18446744073709551615 messages
    // are missing ..." past the largest count"
    static QString lostMessages(const LostMessages& lost, const QString& fileName,
                                std::uint64_t gaps);
    // "trace.json:120: 4 lost", one gap in the notice's list.
    static QString gapPlace(const QString& fileName, std::uint64_t line, std::uint64_t lost);
    static QString showGapsButton();
};

}  // namespace korvantis::ui
