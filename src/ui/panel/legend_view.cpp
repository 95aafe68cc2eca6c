#include "ui/panel/legend_view.h"

#include <QGuiApplication>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/look/style.h"

namespace korvantis::ui {

namespace {

struct LegendRun {
    QString text;
    QColor color;
};

// The legend's three lines, each a sequence of coloured runs: the one place
// where its texts and colours are decided.
QList<QList<LegendRun>> legendLines(const QPalette& palette) {
    const QColor green = greenColor(palette);
    const QColor pink = pinkColor(palette);
    return {
        {{LegendView::tr("An entirely green row is the entry in which you've selected"), green}},
        {{LegendView::tr("An entirely pink row with a "), pink},
         {LegendView::tr("green pid field "), green},
         {LegendView::tr("is additional activity performed by the pid you've selected"), pink}},
        {{LegendView::tr("An entirely pink row is activity of the parent of the pid you've "
                         "selected"),
          pink}},
    };
}

}  // namespace

QStringList LegendView::lineTexts() {
    QStringList texts;
    for (const auto& runs : legendLines(QGuiApplication::palette())) {
        QString line;
        for (const LegendRun& run : runs) {
            line += run.text;
        }
        texts.append(line);
    }
    return texts;
}

LegendView::LegendView(QWidget* parent) : QScrollArea(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);

    QStringList lines;
    for (const auto& runs : legendLines(palette())) {
        QString html;
        for (const LegendRun& run : runs) {
            html += QStringLiteral("<span style=\"color:%1\">%2</span>")
                        .arg(run.color.name(), run.text.toHtmlEscaped());
        }
        lines.append(html);
    }

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(6, 6, 6, 6);
    for (const QString& html : lines) {
        // pre-wrap keeps the blanks that end the runs of the second line.
        auto* label =
            new QLabel(QStringLiteral("<div style=\"white-space:pre-wrap\">%1</div>").arg(html));
        label->setTextFormat(Qt::RichText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextInteractionFlags(Qt::NoTextInteraction);
        layout->addWidget(label);
    }
    layout->addStretch(1);
    setWidget(content);
}

}  // namespace korvantis::ui
