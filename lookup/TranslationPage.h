#pragma once

#include "EntryFormatter.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <memory>

class Dictionary;
class QPixmap;

// The page that takes the document page's place when a word is looked up in the built-in
// dictionary: the word, "Exact translation", "Closest translation" or an error in red, and the
// formatted entry. Keys edit the word; a tap or OK returns to the document.
class TranslationPage
{
public:
    TranslationPage();
    ~TranslationPage();
    TranslationPage(const TranslationPage &) = delete;
    TranslationPage &operator=(const TranslationPage &) = delete;

    // The dictionary is opened again, from the path given at the next lookup.
    void forgetDictionary();
    // Looks `word` up, cleaned of digits and punctuation at its ends and lower-cased, in the
    // dictionary file at `dictionaryPath`; the page is shown from now on.
    void lookUp(const QString &word, const QString &dictionaryPath);
    bool isShown() const { return m_shown; }
    void hide() { m_shown = false; }
    // The word looked up, as cleaned.
    const QString &word() const { return m_word; }
    // "Exact translation", "Closest translation" or "Dictionary file error:".
    const QString &title() const { return m_title; }

    struct Geometry
    {
        QFont font;  // the page font, base style
        int fontSize = 12;
        int lineSpacing = 3;
        int pageMargin = 4;
        QColor paper = Qt::white;
        QColor text = Qt::black;
        QColor word = Qt::blue;  // the word looked up; errors stay red
    };
    // Draws the page onto `paper` (cleared first).
    void draw(QPixmap &paper, const Geometry &geometry) const;

    // The word as a lookup takes it: lower case, without digits or punctuation at either end.
    static QString cleanWord(const QString &word);

private:
    std::unique_ptr<Dictionary> m_dictionary;  // opened at the first lookup after forgetDictionary()
    QString m_dictionaryPath;
    EntryFormatter m_formatter;
    bool m_shown = false;
    QString m_word;
    QString m_title;
    QString m_body;  // page mark-up: b, /b, p, /p, hr/, help
    bool m_failed = false;
};
