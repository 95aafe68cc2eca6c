// The marks of a window and the rows they apply to.

#include "ui/marks/window_marks.h"

#include <algorithm>

#include "ui/rows/store_notifier.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

WindowMarks::WindowMarks(StoreNotifier& notifier, QObject* parent)
    : QObject(parent), store_(notifier.workspace().store) {
    // While a log loads, the rows' marks follow a few times a second.
    publishTimer_.setSingleShot(true);
    publishTimer_.setInterval(250);
    connect(&publishTimer_, &QTimer::timeout, this, &WindowMarks::publish);
    connect(&notifier, &StoreNotifier::changed, this, [this] {
        // Rows filed or logs loaded: marks may now apply to new rows.
        if (store_.lineRefs().size() != linesSeen_ ||
            (lines_ && rows_.realPaths().size() != store_.logFiles().size())) {
            stale_ = true;
            if ((book_.size() > 0 || published_) && !publishTimer_.isActive()) {
                publishTimer_.start();
            }
        }
    });
}

void WindowMarks::publish() {
    publishTimer_.stop();
    if (book_.size() == 0 && !published_) {
        return;
    }
    refresh();
    // The texts are kept by the store all at once: a restored session
    // brings a hundred thousand notes. A row's tags are mostly those of
    // the row before, and are then kept once. The marks of a session just
    // read had theirs copied on the worker that read it.
    const auto& marked = rows_.marked();
    std::vector<MarkedLines::Line> lines(marked.size());
    std::vector<std::size_t> others;  // the lines whose texts are kept here
    std::vector<std::string_view> tags;
    std::vector<std::size_t> tagsOf;
    std::vector<std::string_view> notes;
    std::size_t nextKept = 0;
    for (std::size_t i = 0; i < marked.size(); ++i) {
        lines[i].entry = marked[i].first;
        if (const KeptMarkTexts::Texts* kept = adoptedTexts_.find(marked[i].second, nextKept)) {
            lines[i].tags = kept->tags;
            lines[i].note = kept->note;
            continue;
        }
        const MarkText& text = *marked[i].second;
        if (tags.empty() || text.tags != tags.back()) {
            tags.push_back(text.tags);
        }
        others.push_back(i);
        tagsOf.push_back(tags.size() - 1);
        notes.push_back(text.note);
    }
    std::vector<std::string_view> keptTags(tags.size());
    std::vector<std::string_view> keptNotes(notes.size());
    store_.keepMarkTexts(tags, keptTags);
    store_.keepMarkTexts(notes, keptNotes);
    const auto orNone = [](std::string_view text, std::string_view kept) {
        return text.empty() ? std::string_view() : kept;
    };
    for (std::size_t k = 0; k < others.size(); ++k) {
        MarkedLines::Line& line = lines[others[k]];
        line.tags = orNone(tags[tagsOf[k]], keptTags[tagsOf[k]]);
        line.note = orNone(notes[k], keptNotes[k]);
    }
    published_ = !lines.empty();
    store_.setMarkedLines(published_ ? std::make_shared<const MarkedLines>(std::move(lines))
                                     : nullptr);
}

void WindowMarks::refresh() const {
    if (!stale_) {
        return;
    }
    lines_.emplace(store_);
    rows_ = RowMarks(store_, *lines_, book_);
    linesSeen_ = store_.lineRefs().size();
    stale_ = false;
}

void WindowMarks::bookChanged(KeptMarkTexts texts) {
    book_.dropEmpty();
    // Adopted texts are found by where their marks are: any change may
    // move them.
    adoptedTexts_ = std::move(texts);
    if (adoptedTexts_.arena()) {
        textArenas_.push_back(adoptedTexts_.arena());
    }
    stale_ = true;
    publish();
    emit changed();
}

void WindowMarks::adopt(const MarkBook& other) {
    for (const auto& [log, marks] : other.logs()) {
        book_.marksOf(log) = marks;
    }
    bookChanged();
}

void WindowMarks::adopt(MarkBook&& other, KeptMarkTexts texts) {
    // Moving a log's marks keeps them where they are: the texts' addresses
    // stay right (the texts were copied after the empty marks were dropped).
    for (const auto& entry : other.logs()) {
        // The log is there: marksOf adds none while this walks the logs.
        book_.marksOf(entry.first) = std::move(other.marksOf(entry.first));
    }
    bookChanged(std::move(texts));
}

void WindowMarks::clear() {
    book_ = MarkBook();
    bookChanged();
}

const MarkText* WindowMarks::markAt(LinePlace entry) const {
    refresh();
    return rows_.at(entry);
}

const std::vector<std::pair<LinePlace, const MarkText*>>& WindowMarks::marked() const {
    refresh();
    return rows_.marked();
}

const RowMarks& WindowMarks::rowMarks() const {
    refresh();
    return rows_;
}

std::vector<WindowMarks::DetachedMark> WindowMarks::detached() const {
    refresh();
    std::vector<DetachedMark> result;
    for (const RowMarks::Detached& d : rows_.detached()) {
        const std::string& real = rows_.realPaths()[d.log];
        const LogMarks* marks = book_.find(real);
        if (marks == nullptr) {
            continue;
        }
        for (const auto& [place, text] : *marks) {
            const std::optional<LinePlace> entry = lines_->entryAt(d.log, place.line);
            if (!entry || store_.lineRefs().ref(*entry).checksum != place.checksum) {
                result.push_back({real, place.line, &text});
            }
        }
    }
    return result;
}

std::uint64_t WindowMarks::lineOf(LinePlace entry) const {
    refresh();
    return lines_->lineOf(entry);
}

std::optional<WindowMarks::NamedLine> WindowMarks::nameOf(LinePlace entry) const {
    refresh();
    if (entry.value() >= store_.lineRefs().size()) {
        return std::nullopt;
    }
    const LineRef& ref = store_.lineRefs().ref(entry);
    if (ref.log >= rows_.realPaths().size() || rows_.realPaths()[ref.log].empty()) {
        return std::nullopt;
    }
    return NamedLine{rows_.realPaths()[ref.log], {lines_->lineOf(entry), ref.checksum}};
}

std::optional<LinePlace> WindowMarks::entryOf(const NamedLine& line) const {
    refresh();
    const std::vector<std::string>& logs = rows_.realPaths();
    const auto log = std::find(logs.begin(), logs.end(), line.log);
    if (line.log.empty() || log == logs.end()) {
        return std::nullopt;
    }
    const std::optional<LinePlace> entry =
        lines_->entryAt(static_cast<std::uint32_t>(log - logs.begin()), line.place.line);
    if (!entry || store_.lineRefs().ref(*entry).checksum != line.place.checksum) {
        return std::nullopt;
    }
    return entry;
}

bool WindowMarks::edit(LinePlace entry, const MarkEdit& edit) {
    refresh();
    if (entry.value() >= store_.lineRefs().size()) {
        return false;
    }
    const LineRef& ref = store_.lineRefs().ref(entry);
    if (ref.log >= rows_.realPaths().size() || rows_.realPaths()[ref.log].empty()) {
        return false;
    }
    const MarkPlace place{lines_->lineOf(entry), ref.checksum};
    edit.applyTo(book_.marksOf(rows_.realPaths()[ref.log])[place]);
    bookChanged();
    return true;
}

bool WindowMarks::setTags(LinePlace entry, const std::vector<std::string>& tags) {
    std::vector<std::string> now;
    if (const MarkText* mark = markAt(entry)) {
        std::string_view rest = mark->tags;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            now.emplace_back(rest.substr(0, comma));
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
    }
    // The removals and additions, in one change.
    MarkBook before = book_;
    bool ok = true;
    const auto quietly = [&](MarkEdit::Kind kind, const std::string& tag) {
        const LineRef& ref = store_.lineRefs().ref(entry);
        if (ref.log >= rows_.realPaths().size() || rows_.realPaths()[ref.log].empty()) {
            ok = false;
            return;
        }
        const MarkPlace place{lines_->lineOf(entry), ref.checksum};
        MarkEdit{kind, tag}.applyTo(book_.marksOf(rows_.realPaths()[ref.log])[place]);
    };
    refresh();
    if (entry.value() >= store_.lineRefs().size()) {
        return false;
    }
    for (const std::string& tag : now) {
        quietly(MarkEdit::Kind::removeTag, tag);
    }
    for (const std::string& tag : tags) {
        if (isTagWord(tag)) {
            quietly(MarkEdit::Kind::addTag, lowerTag(tag));
        }
    }
    if (!ok) {
        book_ = std::move(before);
        return false;
    }
    bookChanged();
    return true;
}

bool WindowMarks::toggleBookmark(LinePlace entry) {
    const MarkText* mark = markAt(entry);
    const bool on = mark != nullptr && mark->hasTag("bookmark");
    return edit(entry, {on ? MarkEdit::Kind::removeTag : MarkEdit::Kind::addTag, "bookmark"});
}

}  // namespace korvantis::ui
