#include "query/ordered_line_reads.h"

#include <algorithm>

namespace korvantis {

OrderedLineReads::OrderedLineReads(const LogFiles& files, std::size_t count, RefOf refOf,
                                   std::size_t batchBytes)
    : files_(files), count_(count), refOf_(std::move(refOf)), batchBytes_(batchBytes) {}

void OrderedLineReads::fill(std::size_t from) {
    batchStart_ = from;
    std::size_t bytes = 0;
    std::size_t end = from;
    std::vector<LineRef> refs;
    textBacked_.clear();
    while (end < count_ && end - from < kBatchRows && (end == from || bytes < batchBytes_)) {
        const LineRef ref = refOf_(end++);
        const bool backed = files_.text(ref.log) != nullptr;
        textBacked_.push_back(backed);
        bytes += backed ? ref.length : 0;
        refs.push_back(ref);
    }
    batchEnd_ = end;
    // In log order: the text is read on, not started again.
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < refs.size(); ++k) {
        if (textBacked_[k]) {
            order.push_back(k);
        }
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return refs[a].log != refs[b].log ? refs[a].log < refs[b].log
                                          : refs[a].offset < refs[b].offset;
    });
    bytes_.clear();
    bytes_.reserve(bytes);
    starts_.assign(refs.size(), 0);
    reads_.assign(refs.size(), {});
    LogFiles::AheadReader reader(files_);
    for (const std::size_t k : order) {
        const ReadBack<std::string_view> line = reader.read(refs[k]);
        if (line) {
            starts_[k] = bytes_.size();
            bytes_.append(*line);
            reads_[k].emplace(static_cast<std::uint32_t>(line->size()));
        } else {
            reads_[k].failure = line.failure;
        }
    }
}

ReadBack<std::string_view> OrderedLineReads::read(std::size_t i) {
    ReadBack<std::string_view> out;
    const LineRef ref = refOf_(i);
    if (files_.text(ref.log) == nullptr) {
        LineRead line = files_.read(ref);
        out.failure = line.failure;
        if (line) {
            single_ = std::move(*line);
            out.emplace(single_);
        }
        return out;
    }
    if (i < batchStart_ || i >= batchEnd_) {
        fill(i);
    }
    const std::size_t k = i - batchStart_;
    out.failure = reads_[k].failure;
    if (reads_[k]) {
        out.emplace(std::string_view(bytes_).substr(starts_[k], *reads_[k]));
    }
    return out;
}

}  // namespace korvantis
