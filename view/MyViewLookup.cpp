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
    m_translation.draw(m_paper, TranslationPage::Geometry{m_fonts.base().font(), m_settings.fontSize,
                                                          m_settings.lineSpacing, m_settings.pageMargin});
    showIt();
}
