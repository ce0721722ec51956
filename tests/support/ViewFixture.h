#pragma once
// A reading view in a real main window under the offscreen platform, with a pinned font so that
// widths are the same on every machine, and a temporary folder for its documents.

#include "MyView.h"
#include "TestFiles.h"
#include "UserMessages.h"

#include <QFontMetrics>
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

struct ViewFixture
{
    TestFolder folder;
    std::unique_ptr<QMainWindow> window = std::make_unique<QMainWindow>();
    MyView *view = nullptr;
    QStringList warnings;  // "caption|text" of every message box the view asked for

    explicit ViewFixture(int width = 320, int height = 320, const std::function<void(ReaderSettings &)> &change = {})
    {
        view = new MyView(window.get(), "view");
        window->setCentralWidget(view);
        view->setFixedSize(width, height);
        ReaderSettings s = view->settings();
        s.fontName = QStringLiteral("DejaVu Sans");
        s.fontSize = 12;
        s.fontBold = false;
        if (change)
            change(s);
        view->setSettings(s);
        view->pickupSettings();
        setWarningSink([this](QWidget *, const QString &caption, const QString &text) {
            warnings << caption + QLatin1Char('|') + text;
        });
    }
    ~ViewFixture() { setWarningSink({}); }

    // Changes the settings and lays the page out with them.
    void change(const std::function<void(ReaderSettings &)> &edit)
    {
        ReaderSettings s = view->settings();
        edit(s);
        view->setSettings(s);
        view->pickupSettings();
    }
    QString write(const QString &name, const QByteArray &bytes) { return folder.write(name, bytes); }
    QString open(const QString &name, const QByteArray &bytes)
    {
        const QString path = write(name, bytes);
        view->fileOpen(path);
        return path;
    }
    const PageWords::Word &word(int i) const { return view->pageWords().at(i); }
    // Where the file stands: after printing a page, where the next page starts.
    qint64 position() const { return view->document().position(); }

    int textWidth(const QString &text) const
    {
        QFont font(view->settings().fontName);
        font.setPixelSize(view->settings().fontSize);
        font.setWeight(view->settings().fontBold ? QFont::Bold : QFont::Normal);
        QFontMetrics m(font);
        int w = 0;
        for (const QChar c : text)
            w += m.horizontalAdvance(c);
        return w;
    }
};
