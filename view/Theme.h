#pragma once

#include <QColor>
#include <QString>

// The colours of a page: "Day" (black on white, links in blue, as the reader always drew them),
// "Sepia" and "Night". Used for the page, the translation page and the progress bar.
struct Theme
{
    QColor paper;
    QColor text;
    QColor link;        // a link to a paragraph
    QColor recordLink;  // a link to a whole record
    QColor barLine;     // the legible bar's progress line
    QColor barText;

    static Theme named(const QString &name);
    // The colour to draw a word in: the page's text and link colours replace black and the two
    // link blues; any other colour is kept.
    QColor wordColor(const QColor &stored) const;
};
