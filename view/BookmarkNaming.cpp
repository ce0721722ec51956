// Names for bookmarks: the first words of the page on screen, and its nominal page number.
#include "MyView.h"

QString MyView::getBookmarkName()
{
    if (!documentOpen)
        return QString();
    const qint64 remembered = file.pos();
    file.seek(pageStart.position);
    QString title;
    char32_t previous = 0;
    int spaces = 0;
    for (int i = 0; i < 199 && !file.atEnd(); ++i) {
        char32_t c = readDecodedChar();
        if (c == U'\r' && crConvert)
            c = U'\n';
        if (c == U'\n') {
            previous = c;  // dropped, without a space in its place
            continue;
        }
        if (c == U' ' && previous == U' ')
            continue;
        previous = c;
        if (c <= 0xFFFF) {
            title.append(QChar(char16_t(c)));
        } else {
            title.append(QChar(QChar::highSurrogate(c)));
            title.append(QChar(QChar::lowSurrogate(c)));
        }
        if (c == U' ' && ++spaces == 6)
            break;
    }
    file.seek(remembered);
    return title;
}

qint64 MyView::getPageNumber() const
{
    return pageNumberOf(pageHistory[size_t(pageIndex)].position);
}
