#pragma once
// The line fitter over a real document in a temporary folder, with a pinned font so that widths
// are the same on every machine.

#include "Document.h"
#include "LineFitter.h"
#include "TestFiles.h"
#include "WordFonts.h"

#include <QFontMetrics>
#include <QStringList>

struct LayoutFixture
{
    TestFolder folder;
    Document document;
    WordFonts fonts;
    LineFitter fitter{document, fonts};
    LineLayout layout;

    LayoutFixture()
    {
        fonts.setBaseStyle(false, false);
        fonts.setBase(QStringLiteral("DejaVu Sans"), 12);
        layout.spaceWidth = fonts.base().width(U' ');
        fitter.setLayout(layout);
    }

    // Opens `bytes` saved as `name`, decoded by `encoding`, read as HTML when `html`.
    void open(const QString &name, const QByteArray &bytes, const QString &encoding = QStringLiteral("UTF-8"),
              bool html = false)
    {
        fitter.setLayout(layout);
        document.open(folder.write(name, bytes));
        document.setEncoding(encoding);
        document.setReadAsHtml(html);
    }

    // Every line from the start of the document: its words joined by single spaces, with "|" when
    // it ends a paragraph.
    QStringList lines(int paperWidth)
    {
        document.reader().seek(0);
        TextStyle style;
        bool paragraph = true;
        QStringList out;
        while (!document.reader().atEnd()) {
            fitter.readStringFit(paperWidth, paragraph, style);
            paragraph = fitter.nextLineNewParagraph();
            out << fitter.lineTexts().join(QLatin1Char(' ')) + (paragraph ? QStringLiteral("|") : QString());
        }
        return out;
    }

    int textWidth(const QString &text) const
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        font.setWeight(QFont::Normal);
        QFontMetrics m(font);
        int w = 0;
        for (const QChar c : text)
            w += m.horizontalAdvance(c);
        return w;
    }
};
