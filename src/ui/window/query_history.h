#pragma once

#include <QStringList>

namespace korvantis::ui {

// The last 100 distinct queries the user filtered with, newest first, kept
// per user in the viewer's settings and shared by every window.
class QueryHistory {
  public:
    static constexpr int kMaxQueries = 100;

    static QStringList queries();
    // Puts `query` first (moving it if it was there); blank ones are not kept.
    static void record(const QString& query);
};

// Filters the user named (View > Save Filter As…), by name, in the settings.
class SavedFilters {
  public:
    struct Saved {
        QString name;
        QString query;
    };
    // By name, in the order of their names.
    static QList<Saved> all();
    // Saves `query` as `name`, replacing one of that name.
    static void save(const QString& name, const QString& query);
};

}  // namespace korvantis::ui
