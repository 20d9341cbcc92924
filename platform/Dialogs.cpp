#include "platform/Dialogs.h"

namespace platform {

namespace {

QString& heldTitle() {
    static QString title;
    return title;
}

bool isPair(const QString& text, qsizetype at) {
    return at >= 0 && at + 1 < text.size() && text[at].isHighSurrogate() &&
           text[at + 1].isLowSurrogate();
}

bool isLineBreak(QChar c) {
    return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar(0x85) ||
           c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

}  // namespace

QString messageExcerpt(const QString& text) {
    // `head` ends after the first kExcerptHead characters, `tail` starts before the last
    // kExcerptTail ones (positions in UTF-16 units); they meet when the text is short enough.
    qsizetype head = 0;
    for (int n = 0; n < kExcerptHead && head < text.size(); ++n) head += isPair(text, head) ? 2 : 1;
    qsizetype tail = text.size();
    for (int n = 0; n < kExcerptTail && tail > head; ++n)
        tail -= isPair(text, tail - 2) && tail - 2 >= head ? 2 : 1;
    QString excerpt = tail <= head ? text : text.left(head) + QChar(0x2026) + text.mid(tail);
    for (QChar& c : excerpt)
        if (isLineBreak(c)) c = u' ';
    return excerpt;
}

QString Dialogs::resolvedTitle(const QString& title) {
    return title.isNull() ? applicationTitle() : title;
}

void Dialogs::setApplicationTitle(const QString& title) { heldTitle() = title; }

QString Dialogs::applicationTitle() { return heldTitle(); }

}  // namespace platform
