#include "ui/list/selectable_text.h"

#include <QAbstractTextDocumentLayout>
#include <QMimeData>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextOption>

#include <cmath>

#include "ui/list/text_cell.h"

namespace korvantis::ui {

SelectableText::SelectableText(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setUndoRedoEnabled(false);
    setAcceptRichText(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Drawn on whatever is behind it, like a label.
    viewport()->setAutoFillBackground(false);
    document()->setDocumentMargin(0);
    QTextOption option = document()->defaultTextOption();
    option.setTextDirection(Qt::LeftToRight);
    document()->setDefaultTextOption(option);
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            &SelectableText::fitHeight);
    fitHeight();
}

void SelectableText::setOriginalText(const QString& text) {
    text_ = isolatePathParts(text);
    setPlainText(text_.shown);
    // Visible marks in the muted colour.
    QTextCharFormat muted;
    muted.setForeground(palette().brush(QPalette::PlaceholderText));
    QTextCursor cursor(document());
    for (const QTextLayout::FormatRange& range : visibleMarkFormats(text_, QColor())) {
        cursor.setPosition(range.start);
        cursor.setPosition(range.start + range.length, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(muted);
    }
    fitHeight();
}

QString SelectableText::originalText() const {
    return text_.original(0, text_.shown.size());
}

QMimeData* SelectableText::createMimeDataFromSelection() const {
    // Document positions count one per character of the shown text (a line
    // break is one position), so the selection maps straight onto it.
    const QTextCursor cursor = textCursor();
    auto* mime = new QMimeData;
    mime->setText(text_.original(cursor.selectionStart(), cursor.selectionEnd()));
    return mime;
}

void SelectableText::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    fitHeight();
}

void SelectableText::fitHeight() {
    const int h =
        text_.shown.isEmpty() ? 0 : static_cast<int>(std::ceil(document()->size().height()));
    const QMargins m = contentsMargins();
    setFixedHeight(h + m.top() + m.bottom());
}

}  // namespace korvantis::ui
