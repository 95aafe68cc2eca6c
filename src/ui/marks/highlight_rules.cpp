// A window's highlight rules and how they are kept.

#include "ui/marks/highlight_rules.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "ui/look/style.h"
#include "ui/look/viewer_settings.h"

namespace korvantis::ui {

namespace {

const QString kDefaultKey = QStringLiteral("highlights/default");

}  // namespace

HighlightRules::HighlightRules(QObject* parent) : QObject(parent), rules_(defaultRules()) {}

void HighlightRules::setRules(QVector<HighlightRule> rules) {
    if (rules == rules_) {
        return;
    }
    rules_ = std::move(rules);
    emit changed();
}

QJsonArray HighlightRules::toJson() const {
    QJsonArray array;
    for (const HighlightRule& rule : rules_) {
        array.append(QJsonObject{{QStringLiteral("name"), rule.name},
                                 {QStringLiteral("query"), rule.query},
                                 {QStringLiteral("colour"), rule.colour},
                                 {QStringLiteral("on"), rule.on}});
    }
    return array;
}

QVector<HighlightRule> HighlightRules::fromJson(const QJsonArray& array) {
    QVector<HighlightRule> rules;
    for (const QJsonValue& value : array) {
        const QJsonObject o = value.toObject();
        const QJsonValue name = o.value(QStringLiteral("name"));
        const QJsonValue query = o.value(QStringLiteral("query"));
        const QJsonValue colour = o.value(QStringLiteral("colour"));
        const QJsonValue on = o.value(QStringLiteral("on"));
        if (!name.isString() || !query.isString() || !colour.isString() ||
            !highlightColourNames().contains(colour.toString()) ||
            (!on.isBool() && !on.isUndefined())) {
            continue;
        }
        rules.append({name.toString(), query.toString(), colour.toString(), on.toBool(true)});
    }
    return rules;
}

void HighlightRules::saveAsDefault() const {
    viewerSettings().setValue(kDefaultKey, QJsonDocument(toJson()).toJson(QJsonDocument::Compact));
}

QVector<HighlightRule> HighlightRules::defaultRules() {
    const QByteArray kept = viewerSettings().value(kDefaultKey).toByteArray();
    return fromJson(QJsonDocument::fromJson(kept).array());
}

}  // namespace korvantis::ui
