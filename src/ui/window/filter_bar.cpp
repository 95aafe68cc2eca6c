#include "ui/window/filter_bar.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>

#include <algorithm>

#include "query/filter_query.h"
#include "query/query_edit.h"
#include "ui/look/style.h"
#include "ui/look/view_texts.h"
#include "ui/rows/filtered_row_source.h"

namespace korvantis::ui {

FilterBar::FilterBar(Workspace& workspace, QTabWidget* tabs, QWidget* parent)
    : QWidget(parent), tabs_(tabs) {
    field_ = new QLineEdit(this);
    field_->setPlaceholderText(filterPlaceholderText());
    field_->setClearButtonEnabled(true);
    message_ = new QLabel(this);
    message_->setTextFormat(Qt::PlainText);
    export_ = new QPushButton(exportButtonText(), this);
    exportAction_ = new ExportAction(
        workspace,
        [this]() -> FilteredRowSource* {
            const int tab = tabs_->currentIndex();
            return tab >= 0 && static_cast<std::size_t>(tab) < kRowKindCount
                       ? rows_.items[static_cast<std::size_t>(tab)]
                       : nullptr;
        },
        this);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 4, 6, 4);
    row->addWidget(field_, 3);
    row->addWidget(message_, 2);
    row->addWidget(export_);

    // Not a shortcut of its own: two for Esc in one window would make Qt
    // run neither.
    field_->installEventFilter(this);
    connect(field_, &QLineEdit::textChanged, this, &FilterBar::queryEdited);
    connect(export_, &QPushButton::clicked, exportAction_, &ExportAction::chooseFile);
    connect(exportAction_, &ExportAction::finished, this,
            [this](const QString& path, qulonglong rows, const QString& error) {
                done_ =
                    error.isEmpty() ? exportedText(rows, QFileInfo(path).fileName()) : QString();
                updateMessage();
            });
    // The lists' workers make the sets of a tree: term once between them.
    treeSets_ = std::make_shared<TreeSetCache>();
}

void FilterBar::watch(FilteredRowSource& source) {
    source.setTreeSets(treeSets_);
    connect(&source, &FilteredRowSource::countsChanged, this, [this] {
        updateTitles();
        updateMessage();  // it counts the rows that could not be read again
    });
    connect(&source, &FilteredRowSource::searchChanged, this, &FilterBar::updateMessage);
}

void FilterBar::addRows(FilteredRowSource& rows, const QString& name) {
    rows_[rows.kind()] = &rows;
    names_[rows.kind()] = name;
    watch(rows);
    ParsedFilterQuery parsed = parseFilterQuery(field_->text().toStdString());
    if (parsed.query) {
        rows.setQuery(std::move(parsed.query));
    }
    updateTitles();
}

bool FilterBar::eventFilter(QObject* watched, QEvent* event) {
    const bool key = event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress;
    if (watched != field_ || !key || field_->text().isEmpty()) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* press = static_cast<QKeyEvent*>(event);
    if (press->key() != Qt::Key_Escape || press->modifiers() != Qt::NoModifier) {
        return QWidget::eventFilter(watched, event);
    }
    // Taking the override keeps the window's Esc from running; the press
    // that follows clears the field.
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        field_->clear();
    }
    return true;
}

void FilterBar::setQuery(const QString& query) {
    field_->setText(query);
}

void FilterBar::focusField() {
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

void FilterBar::applyRowAction(RowFilterAction action, qint64 pid, const QString& path) {
    const std::string query = field_->text().toStdString();
    std::string edited;
    switch (action) {
        case RowFilterAction::onlyProcess:
            edited = withProcessTerm(query, "pid", pid);
            break;
        case RowFilterAction::processTree:
            edited = withProcessTerm(query, "tree", pid);
            break;
        case RowFilterAction::hidePath:
            edited = withHiddenPath(query, path.toStdString());
            break;
    }
    setQuery(QString::fromStdString(edited));
}

void FilterBar::applyFactFilter(Fact fact, const QString& value) {
    setQuery(QString::fromStdString(
        withFactTerm(field_->text().toStdString(), fact, value.toStdString())));
}

void FilterBar::applyRuleFilter(const QString& term) {
    setQuery(QString::fromStdString(
        withTextTerm(field_->text().toStdString(), "rule", term.toStdString())));
}

void FilterBar::queryEdited(const QString& text) {
    ParsedFilterQuery parsed = parseFilterQuery(text.toStdString());
    invalid_ = !parsed.query.has_value();
    error_ = QString::fromStdString(parsed.error);
    QPalette pal = field_->palette();
    if (invalid_) {
        pal.setColor(QPalette::Text, filterErrorColor(palette()));
    } else {
        pal.setColor(QPalette::Text, palette().color(QPalette::Text));
    }
    field_->setPalette(pal);
    if (!invalid_) {
        // The lists run side by side, each on its own worker.
        for (FilteredRowSource* rows : rows_) {
            if (rows != nullptr) {
                rows->setQuery(*parsed.query);
            }
        }
    }
    done_.clear();
    updateMessage();
}

void FilterBar::updateTitles() {
    const auto title = [](const QString& name, const FilteredRowSource& rows) {
        return tabTitle(name, static_cast<qulonglong>(rows.rowCount()),
                        static_cast<qulonglong>(rows.totalCount()), rows.filtered());
    };
    for (const RowKind kind : kRowKinds) {
        const int tab = static_cast<int>(indexOf(kind));
        if (rows_[kind] != nullptr && tab < tabs_->count()) {
            tabs_->setTabText(tab, title(names_[kind], *rows_[kind]));
        }
    }
}

void FilterBar::updateMessage() {
    QPalette pal = message_->palette();
    pal.setColor(QPalette::WindowText,
                 invalid_ ? filterErrorColor(palette()) : palette().color(QPalette::WindowText));
    message_->setPalette(pal);
    if (invalid_) {
        message_->setText(error_);
        return;
    }
    bool searching = false;
    double share = 1.0;
    std::size_t unreadable = 0;
    for (const FilteredRowSource* rows : rows_) {
        if (rows != nullptr) {
            searching = searching || rows->searching();
            share = std::min(share, rows->progress());
            unreadable += rows->unreadableCount();
        }
    }
    if (searching && share < 1.0) {
        message_->setText(searchingRawLinesText(static_cast<int>(share * 100)));
        return;
    }
    // Rows a json: term could not test are neither shown nor hidden: say so
    // rather than let the counts pass for the whole answer.
    if (unreadable > 0) {
        message_->setText(unreadableRowsText(unreadable));
        return;
    }
    message_->setText(done_);
}

}  // namespace korvantis::ui
