#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "store/kept_lifetimes.h"

namespace korvantis {

class IndexFile;
class IndexWriter;
class ProcessLifetimes;

// How the runs of a log's process rows end, as its load worked it out: kept
// in an index so that a reopening reads it in place (see KeptLifetimes)
// instead of going through every row again.
void writeLifetimeSection(IndexWriter& writer, const ProcessLifetimes& lifetimes);

// The section of `file` back, checked against the rows the index holds:
// every count, row and text place within them. Nothing when it is missing
// or does not hold what it should, and then `*whyNot` says so.
std::optional<KeptLifetimes::Parts> readLifetimeSection(const IndexFile& file,
                                                        std::size_t processRows,
                                                        std::size_t otherRows,
                                                        std::string* whyNot = nullptr);

}  // namespace korvantis
