// Looking up a tapped word: the built-in dictionary's translation page in place of the page, or
// a message to the outside dictionary application.
#include "MyView.h"

#include "QCopEnvelope.h"

void MyView::translate(const QString &word)
{
    QCopEnvelope envelope(QStringLiteral("QPE/Application/dictionary"), QStringLiteral("find(QString)"));
    envelope << TranslationPage::cleanWord(word);
}

void MyView::intTranslate(const QString &word)
{
    m_translation.lookUp(word, m_settings.dictionaryPath);
    clearPaper();
    TranslationPage::Geometry geometry{m_fonts.base().font(), m_settings.fontSize, m_settings.lineSpacing, m_margin};
    geometry.paper = m_theme.paper;
    geometry.text = m_theme.text;
    geometry.word = m_theme.link;
    m_translation.draw(m_paper, geometry);
    showIt();
}
