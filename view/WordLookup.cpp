// Looking up a tapped word.
#include "MyView.h"

// The translation page is not built yet: a tapped word is only remembered.
void MyView::intTranslate(const QString &word)
{
    lookupWord = word;
}

void MyView::translate(const QString &word)
{
    lookupWord = word;
}
