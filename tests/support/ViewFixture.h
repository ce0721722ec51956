#pragma once
// A reading view in a real main window under the offscreen platform, with a pinned font so
// that widths are the same on every machine, and helpers to write documents into a temporary
// folder.

#include "MyView.h"
#include "UserMessages.h"

#include <QFile>
#include <QMainWindow>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

struct ViewFixture
{
    QTemporaryDir dir;
    std::unique_ptr<QMainWindow> window;
    MyView *view = nullptr;
    QStringList warnings;  // "caption|text" of every message box the view asked for

    explicit ViewFixture(int width = 320, int height = 320)
        : window(std::make_unique<QMainWindow>())
    {
        view = new MyView(window.get(), "view");
        window->setCentralWidget(view);
        view->setFixedSize(width, height);
        view->fontName = QStringLiteral("DejaVu Sans");
        view->fontSize = 12;
        view->fontBold = false;
        view->pickupSettings();
        setWarningSink([this](QWidget *, const QString &caption, const QString &text) {
            warnings << caption + QLatin1Char('|') + text;
        });
    }
    ~ViewFixture() { setWarningSink({}); }

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

    // Fits lines from the current position until the end (or `limit` lines) and returns each
    // line's words joined by single spaces.
    QStringList fitAll(int limit = 10000)
    {
        QStringList lines;
        while (!view->file.atEnd() && lines.size() < limit) {
            view->readStringFit();
            QStringList words;
            for (int i = 0; i < view->lineWordCount; ++i)
                words << view->lineWords[size_t(i)].text;
            lines << words.join(QLatin1Char(' '));
            view->lineNewParagraph = view->nextLineNewParagraph;
        }
        return lines;
    }

    int textWidth(const QString &text)
    {
        QFont font(view->fontName);
        font.setPixelSize(view->fontSize);
        font.setWeight(view->fontBold ? QFont::Bold : QFont::Normal);
        QFontMetrics m(font);
        int w = 0;
        for (const QChar c : text)
            w += m.horizontalAdvance(c);
        return w;
    }
};
