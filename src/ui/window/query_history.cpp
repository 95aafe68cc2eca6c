// Queries kept in the settings: the recent ones and the named ones.

#include "ui/window/query_history.h"

#include <QMap>

#include "ui/look/viewer_settings.h"

namespace korvantis::ui {

namespace {

const QString kHistoryKey = QStringLiteral("filter/history");
const QString kSavedKey = QStringLiteral("filter/saved");

}  // namespace

QStringList QueryHistory::queries() {
    return viewerSettings().value(kHistoryKey).toStringList();
}

void QueryHistory::record(const QString& query) {
    if (query.trimmed().isEmpty()) {
        return;
    }
    QStringList queries = QueryHistory::queries();
    queries.removeAll(query);
    queries.prepend(query);
    while (queries.size() > kMaxQueries) {
        queries.removeLast();
    }
    viewerSettings().setValue(kHistoryKey, queries);
}

QList<SavedFilters::Saved> SavedFilters::all() {
    const QVariantMap kept = viewerSettings().value(kSavedKey).toMap();
    QList<Saved> saved;
    for (auto it = kept.begin(); it != kept.end(); ++it) {
        saved.append({it.key(), it.value().toString()});
    }
    return saved;
}

void SavedFilters::save(const QString& name, const QString& query) {
    QSettings settings = viewerSettings();
    QVariantMap kept = settings.value(kSavedKey).toMap();
    kept.insert(name, query);
    settings.setValue(kSavedKey, kept);
}

}  // namespace korvantis::ui
