#pragma once

#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QVector>

namespace korvantis::ui {

// One highlight rule: the rows its query (in the filter language) selects
// are painted with its colour, named from the highlight palette.
struct HighlightRule {
    QString name;
    QString query;
    QString colour;
    bool on = true;

    bool operator==(const HighlightRule&) const = default;
};

// A window's ordered highlight rules: a row takes the colour of the first
// rule that is on and matches it. Kept in the session as `highlights`, and
// as the user's default for windows whose logs have no session yet.
class HighlightRules : public QObject {
    Q_OBJECT
  public:
    // Starts with the user's default set.
    explicit HighlightRules(QObject* parent = nullptr);

    const QVector<HighlightRule>& rules() const { return rules_; }
    void setRules(QVector<HighlightRule> rules);

    // As a session keeps them: [{name, query, colour, on}], and back; members
    // of the wrong type and unknown colours are dropped, not guessed at.
    QJsonArray toJson() const;
    static QVector<HighlightRule> fromJson(const QJsonArray& array);

    // The default set for new sessions, in the user's settings.
    void saveAsDefault() const;
    static QVector<HighlightRule> defaultRules();

  signals:
    void changed();

  private:
    QVector<HighlightRule> rules_;
};

}  // namespace korvantis::ui
