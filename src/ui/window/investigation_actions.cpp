// Bookmarks, tags, notes, the Marks panel and sessions in a main window.

#include "ui/window/investigation_actions.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "investigation/line_numbers.h"
#include "investigation/session_file.h"
#include "store/log_files.h"
#include "ui/look/view_texts.h"
#include "ui/look/window_keys.h"
#include "ui/marks/card_marks_view.h"
#include "ui/marks/marks_notice.h"
#include "ui/marks/marks_panel.h"
#include "ui/marks/session_autosave.h"
#include "ui/marks/window_marks.h"
#include "ui/panel/detail_area.h"
#include "ui/panel/event_panel.h"
#include "ui/panel/facts_card_view.h"
#include "ui/rows/store_notifier.h"
#include "ui/window/filter_bar.h"
#include "ui/window/filter_memory.h"
#include "ui/window/main_view.h"
#include "ui/window/report_export.h"
#include "ui/window/session_view_state.h"
#include "ui/window/window_highlights.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

namespace {

QString localText(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

InvestigationActions::InvestigationActions(MainView& view)
    : QObject(&view),
      view_(view),
      marks_(std::make_unique<WindowMarks>(view.notifier())),
      autosave_(std::make_unique<SessionAutosave>(*marks_, [this] { return viewText(); })) {
    // The notice stands under the top bar.
    notice_ = new MarksNotice(&view);
    if (auto* layout = qobject_cast<QVBoxLayout*>(view.layout())) {
        layout->insertWidget(1, notice_);
    }
    addShortcuts();
    highlights_ = new WindowHighlights(view);
    viewState_ = new SessionViewState(view, *marks_, this);
    connect(viewState_, &SessionViewState::changed, autosave_.get(), &SessionAutosave::changed);
    connect(&highlights_->rules(), &HighlightRules::changed, autosave_.get(),
            &SessionAutosave::changed);
    for (EventPanel* panel : {view.processPanel(), view.filePanel(), view.otherPanel()}) {
        connect(panel->preview(), &EventPreview::rowMenuMade, this,
                [this, panel](RowMenu* menu, int row) { addRowMenuEntries(panel, menu, row); });
        EventPreview* preview = panel->preview();
        preview->list()->setBookmarked([this, preview](int row) {
            const MarkText* mark = marks_->markAt(preview->sortedRows().rowPlace(row));
            return mark != nullptr && mark->hasTag("bookmark");
        });
        connect(marks_.get(), &WindowMarks::changed, preview->list()->viewport(),
                qOverload<>(&QWidget::update));
        // The tags and the note of the chosen row, under its facts card.
        FactsCardView* card = panel->detail()->eventTextView()->card();
        if (auto* layout = qobject_cast<QVBoxLayout*>(card->parentWidget()->layout())) {
            layout->insertWidget(layout->indexOf(card) + 1,
                                 new CardMarksView(view.notifier(), *marks_, card->parentWidget()));
        }
    }
    connect(view.filterBar()->field(), &QLineEdit::textChanged, autosave_.get(),
            &SessionAutosave::changed);
    connect(&view.notifier(), &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (StoreNotifier::has(fields, StoreField::loadedLogs)) {
            logsChanged();
        }
        if (StoreNotifier::has(fields, StoreField::loadProgress) &&
            !view_.workspace().loader.progress().running) {
            loadsEnded();
        }
    });
    connect(autosave_.get(), &SessionAutosave::restored, this,
            [this](Session& session, KeptMarkTexts& texts, const QDateTime& when) {
                restore(session, texts, when.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
            });
    connect(autosave_.get(), &SessionAutosave::saveFailed, this,
            [this](const QString& reason) { notice_->tell(reason); });
    connect(autosave_.get(), &SessionAutosave::savedTo, this, &InvestigationActions::sessionSaved);
    connect(autosave_.get(), &SessionAutosave::fileRead, this,
            &InvestigationActions::takeSessionFile);
    connect(this, &InvestigationActions::sessionSaved, this,
            &InvestigationActions::tellChosenSessionFile);
    connect(this, &InvestigationActions::sessionOpened, this,
            &InvestigationActions::tellChosenSessionFile);
}

InvestigationActions::~InvestigationActions() = default;

void InvestigationActions::addMenuEntries(QMenu& fileMenu, QMenu& viewMenu) {
    // After the export entries, before New Window.
    QMenu* file = &fileMenu;
    QAction* before = nullptr;
    for (QAction* action : file->actions()) {
        if (action->isSeparator()) {
            before = action;
            break;
        }
    }
    auto* open = new QAction(openSessionActionText(), file);
    auto* save = new QAction(saveSessionActionText(), file);
    auto* report = new QAction(exportReportActionText(), file);
    file->insertActions(before, {open, save, report});
    report_ = new ReportExport(view_, *marks_);
    connect(report, &QAction::triggered, report_, &ReportExport::chooseFile);
    connect(report_, &ReportExport::finished, this, [this](const QString&, const QString& error) {
        if (!error.isEmpty()) {
            notice_->tell(error);
        }
    });
    connect(open, &QAction::triggered, this, &InvestigationActions::chooseSessionToOpen);
    connect(save, &QAction::triggered, this, &InvestigationActions::chooseSessionToSave);
    QAction* marks = viewMenu.addAction(marksActionText());
    marks->setShortcut(keysOf(WindowCommand::marks));
    marks->setShortcutContext(Qt::WindowShortcut);
    connect(marks, &QAction::triggered, this, &InvestigationActions::showMarksPanel);
    highlights_->addMenuEntry(viewMenu);
    filterMemory_ = new FilterMemory(*view_.filterBar(), viewMenu);
}

void InvestigationActions::addShortcuts() {
    auto shortcut = [this](const QKeySequence& keys, auto action) {
        auto* s = new QShortcut(keys, &view_);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, action);
    };
    shortcut(keysOf(WindowCommand::bookmark), [this] { toggleBookmark(); });
    shortcut(keysOf(WindowCommand::nextBookmark), [this] { stepBookmark(1); });
    shortcut(keysOf(WindowCommand::previousBookmark), [this] { stepBookmark(-1); });
}

EventPanel* InvestigationActions::frontPanel() const {
    QWidget* front = view_.tabs()->currentWidget();
    return front == view_.filePanel()    ? view_.filePanel()
           : front == view_.otherPanel() ? view_.otherPanel()
                                         : view_.processPanel();
}

EventPanel* InvestigationActions::panelOf(LinePlace entry) const {
    const std::optional<EventStore::RowPlace> at = view_.workspace().store.rowAt(entry);
    return at ? view_.panel(at->kind) : nullptr;
}

std::optional<LinePlace> InvestigationActions::chosenEntry() const {
    return frontPanel()->preview()->selector().selected();
}

void InvestigationActions::toggleBookmark() {
    if (const std::optional<LinePlace> entry = chosenEntry()) {
        if (!marks_->toggleBookmark(*entry)) {
            notice_->tell(cannotMarkText());
        }
    }
}

void InvestigationActions::stepBookmark(int step) {
    EventPreview* preview = frontPanel()->preview();
    SortedRowSource& rows = preview->sortedRows();
    // The bookmarked rows the list shows, in its order.
    std::vector<int> shown;
    for (const auto& [entry, text] : marks_->marked()) {
        if (text->hasTag("bookmark")) {
            const int row = rows.shownRowAt(entry);
            if (row >= 0) {
                shown.push_back(row);
            }
        }
    }
    if (shown.empty()) {
        notice_->tell(noBookmarksText());
        return;
    }
    std::sort(shown.begin(), shown.end());
    const std::optional<LinePlace> chosen = preview->selector().selected();
    const int current = chosen ? rows.shownRowAt(*chosen) : -1;
    int row = 0;
    if (step > 0) {
        const auto next = std::upper_bound(shown.begin(), shown.end(), current);
        if (next == shown.end()) {
            row = shown.front();
            notice_->tell(wrappedToFirstBookmarkText());
        } else {
            row = *next;
        }
    } else {
        const auto next = std::lower_bound(shown.begin(), shown.end(), current);
        if (current < 0 || next == shown.begin()) {
            row = shown.back();
            notice_->tell(wrappedToLastBookmarkText());
        } else {
            row = *std::prev(next);
        }
    }
    preview->list()->scrollToRow(row);
    preview->chooseRow(row);
}

void InvestigationActions::goTo(LinePlace entry) {
    EventPanel* panel = panelOf(entry);
    if (panel == nullptr || view_.tabs()->indexOf(panel) < 0) {
        return;
    }
    EventPreview* preview = panel->preview();
    const int row = preview->sortedRows().shownRowAt(entry);
    if (row < 0) {
        notice_->tell(rowNotShownText());
        return;
    }
    view_.tabs()->setCurrentWidget(panel);
    preview->list()->scrollToRow(row);
    preview->chooseRow(row);
}

void InvestigationActions::showMarksPanel() {
    if (panel_ == nullptr) {
        panel_ = new MarksPanel(view_.workspace().store, *marks_, &view_);
        connect(panel_, &MarksPanel::rowChosen, this, &InvestigationActions::goTo);
    }
    panel_->show();
    panel_->raise();
}

void InvestigationActions::addRowMenuEntries(EventPanel* panel, RowMenu* menu, int row) {
    const LinePlace at = panel->preview()->sortedRows().rowPlace(row);
    const MarkText* mark = marks_->markAt(at);
    menu->addSeparator();
    QAction* bookmark = menu->addAction(bookmarkText());
    bookmark->setCheckable(true);
    bookmark->setChecked(mark != nullptr && mark->hasTag("bookmark"));
    connect(bookmark, &QAction::triggered, this, [this, at] {
        if (!marks_->toggleBookmark(at)) {
            notice_->tell(cannotMarkText());
        }
    });
    connect(menu->addAction(tagsActionText()), &QAction::triggered, this,
            [this, at] { askTags(at); });
    connect(menu->addAction(noteActionText()), &QAction::triggered, this,
            [this, at] { askNote(at); });
}

void InvestigationActions::askTags(LinePlace entry) {
    const MarkText* mark = marks_->markAt(entry);
    QString now = mark != nullptr ? localText(mark->tags) : QString();
    now.replace(QLatin1Char(','), QLatin1Char(' '));
    bool ok = false;
    const QString text = QInputDialog::getText(&view_, tagsActionText(), tagsDialogLabel(),
                                               QLineEdit::Normal, now, &ok);
    if (!ok) {
        return;
    }
    std::vector<std::string> tags;
    for (const QString& word :
         text.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts)) {
        const std::string tag = word.toStdString();
        if (!isTagWord(tag)) {
            QMessageBox::warning(&view_, tagsActionText(), badTagText(word));
            return;
        }
        tags.push_back(tag);
    }
    if (!marks_->setTags(entry, tags)) {
        notice_->tell(cannotMarkText());
    }
}

void InvestigationActions::askNote(LinePlace entry) {
    const MarkText* mark = marks_->markAt(entry);
    bool ok = false;
    const QString text =
        QInputDialog::getMultiLineText(&view_, noteActionText(), noteDialogLabel(),
                                       mark != nullptr ? localText(mark->note) : QString(), &ok);
    if (!ok) {
        return;
    }
    const std::string note = text.toStdString();
    if (note.size() > kMaxNoteBytes) {
        QMessageBox::warning(&view_, noteActionText(), noteTooLongText());
        return;
    }
    if (!marks_->edit(entry, {MarkEdit::Kind::setNote, note})) {
        notice_->tell(cannotMarkText());
    }
}

// The real paths of the window's logs, in load order, each once.
void InvestigationActions::logsChanged() {
    const LogFiles& files = view_.workspace().store.logFiles();
    std::vector<std::string> logs;
    for (std::uint32_t log = 0; log < files.size(); ++log) {
        std::string real = realLogPath(files.path(log));
        if (!real.empty() && std::find(logs.begin(), logs.end(), real) == logs.end()) {
            logs.push_back(std::move(real));
        }
    }
    autosave_->setLogs(logs, !openingSession_);
}

void InvestigationActions::loadsEnded() {
    if (openingSession_) {
        openingSession_ = false;
        autosave_->changed();
    }
    tellDetached();
}

void InvestigationActions::tellDetached() {
    const std::vector<WindowMarks::DetachedMark> detached = marks_->detached();
    if (detached.size() == detachedTold_) {
        return;
    }
    detachedTold_ = detached.size();
    if (detached.empty()) {
        return;
    }
    notice_->tell(
        detachedMarksText(detached.size(), QString::fromStdString(logName(detached.front().log))),
        showText(), [this] { showMarksPanel(); });
}

void InvestigationActions::restore(Session& session, KeptMarkTexts& texts, const QString& when) {
    marks_->adopt(std::move(session.marks), std::move(texts));
    const QString filterBefore = view_.filterBar()->field()->text();
    // Starting afresh shows the lists as for logs never opened: unsorted,
    // with the columns and widths the user chose for every log.
    QJsonObject before;
    viewState_->write(before);
    const QJsonObject listsBefore{
        {QStringLiteral("sort"), QJsonObject()},
        {QStringLiteral("columns"), before.value(QStringLiteral("columns"))}};
    applyView(session.view);
    notice_->tell(restoredSessionText(when), startFreshText(), [this, filterBefore, listsBefore] {
        marks_->clear();
        view_.filterBar()->setQuery(filterBefore);
        highlights_->rules().setRules(HighlightRules::defaultRules());
        viewState_->apply(listsBefore);
        autosave_->forget();
    });
    // The session is read on a worker: the loads may have ended before.
    if (!view_.workspace().loader.progress().running) {
        tellDetached();
    }
}

std::string InvestigationActions::viewText() const {
    QJsonObject view;
    view.insert(QStringLiteral("filter"), view_.filterBar()->field()->text());
    view.insert(QStringLiteral("highlights"), highlights_->rules().toJson());
    viewState_->write(view);
    return QJsonDocument(view).toJson(QJsonDocument::Compact).toStdString();
}

void InvestigationActions::applyView(const std::string& view) {
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(view)).object();
    const QJsonValue filter = object.value(QStringLiteral("filter"));
    if (filter.isString()) {
        view_.filterBar()->setQuery(filter.toString());
    }
    const QJsonValue highlights = object.value(QStringLiteral("highlights"));
    if (highlights.isArray()) {
        highlights_->rules().setRules(HighlightRules::fromJson(highlights.toArray()));
    }
    viewState_->apply(object);
}

void InvestigationActions::saveSessionTo(const QString& file) {
    autosave_->saveTo(file);
}

void InvestigationActions::openSession(const QString& file) {
    autosave_->readFrom(file);
}

void InvestigationActions::takeSessionFile(const QString& file, SessionRead& read,
                                           KeptMarkTexts& texts) {
    if (!read.session) {
        emit sessionOpened(file, QString::fromStdString(read.error));
        return;
    }
    Session& session = *read.session;
    // The marks are moved, not copied: their texts, copied on the worker,
    // are found where they are.
    MarkBook marks;
    std::vector<std::string> logs;
    for (const std::string& log : session.logs) {
        std::string at = log;
        if (!QFileInfo::exists(QFile::decodeName(at.c_str()))) {
            // Moved, or handed over from another machine: the user says where.
            const QString found = QFileDialog::getOpenFileName(
                &view_, locateLogTitle(QString::fromStdString(logName(log))));
            if (found.isEmpty()) {
                continue;
            }
            at = realLogPath(QFile::encodeName(found).toStdString());
        }
        if (session.marks.find(log) != nullptr) {
            marks.marksOf(at) = std::move(session.marks.marksOf(log));
        }
        logs.push_back(at);
    }
    openingSession_ = !logs.empty();
    marks_->adopt(std::move(marks), std::move(texts));
    applyView(session.view);
    for (const std::string& log : logs) {
        view_.workspace().loader.loadJsonFile(log);
    }
    emit sessionOpened(file, {});
}

void InvestigationActions::chooseSessionToSave() {
    const QString file =
        QFileDialog::getSaveFileName(&view_, saveSessionActionText(), {}, sessionFilter());
    if (file.isEmpty()) {
        return;
    }
    chosenSessionFile_ = file;
    saveSessionTo(file);
}

void InvestigationActions::chooseSessionToOpen() {
    const QString file =
        QFileDialog::getOpenFileName(&view_, openSessionActionText(), {}, sessionFilter());
    if (file.isEmpty()) {
        return;
    }
    chosenSessionFile_ = file;
    openSession(file);
}

void InvestigationActions::tellChosenSessionFile(const QString& file, const QString& failed) {
    if (file != chosenSessionFile_) {
        return;  // not asked for in a dialog: the one who asked tells
    }
    chosenSessionFile_.clear();
    if (!failed.isEmpty()) {
        QMessageBox::warning(&view_, sessionFailedTitle(), failed);
    }
}

}  // namespace korvantis::ui
