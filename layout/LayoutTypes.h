#pragma once

#include <QColor>
#include <QString>
#include <cstdint>

// Text attributes in force while characters are read; carried from line to line.
struct TextStyle
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    uint8_t fontIncrement = 0;  // points added to the base size (0 or 2)
    uint16_t linkRecord = 0;    // both link fields 0: no link
    uint16_t linkParagraph = 0;
    QColor penColor = Qt::black;
    bool preformatted = false;  // inside an HTML pre element: line feeds break lines
    uint16_t htmlLink = 0;      // inside an HTML link: its number in the document's link table
};

// Everything needed to resume layout at a position with the right attributes.
struct PageStart
{
    qint64 position = 0;     // byte offset into the file being read
    bool paragraph = false;  // the line at this position starts a paragraph
    QColor penColor;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    uint16_t linkRecord = 0;
    uint16_t linkParagraph = 0;
    uint8_t fontIncrement = 0;
    bool preformatted = false;
    uint16_t htmlLink = 0;

    static PageStart at(qint64 position, bool paragraph, const TextStyle &style)
    {
        PageStart start;
        start.position = position;
        start.paragraph = paragraph;
        start.setStyle(style);
        return start;
    }
    TextStyle style() const
    {
        return TextStyle{bold, italic, underline, fontIncrement, linkRecord, linkParagraph, penColor, preformatted,
                         htmlLink};
    }
    void setStyle(const TextStyle &s)
    {
        bold = s.bold, italic = s.italic, underline = s.underline, fontIncrement = s.fontIncrement;
        linkRecord = s.linkRecord, linkParagraph = s.linkParagraph, penColor = s.penColor;
        preformatted = s.preformatted, htmlLink = s.htmlLink;
    }
};

struct LineStart
{
    qint64 position = 0;
    bool paragraph = false;
    TextStyle style;            // the attributes in force there, as reading forward found them
    uint8_t fontIncrement = 0;  // pixels the line is taller than the pitch, once fitted
};

struct LineWord
{
    QString text;
    QColor penColor;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    uint16_t linkRecord = 0;
    uint16_t linkParagraph = 0;
    uint8_t fontIncrement = 0;
    uint16_t htmlLink = 0;
    int gap = 0;  // pixels after this word when the line is justified

    void setStyle(const TextStyle &s)
    {
        penColor = s.penColor, bold = s.bold, italic = s.italic, underline = s.underline;
        linkRecord = s.linkRecord, linkParagraph = s.linkParagraph, fontIncrement = s.fontIncrement;
        htmlLink = s.htmlLink;
    }
};
