#pragma once

#include <QString>

// Turns a dictionary sense's brace mark-up ({hw}, {s}, {ss}, {ps}, {pr}, {ex}, {sa}) into the page
// mark-up the translation page draws. Mark-up that cannot be converted leaves the sense as stored.
// Text taken from the dictionary is escaped (&lt; &gt; &amp; &quot;), so it can never act as
// mark-up itself.
class EntryFormatter
{
public:
    // The page mark-up for `sense` of the headword `word`; the sense itself when it cannot be
    // converted (unbalanced sections, unknown names, or nesting past the bounds).
    QString dictFormat(const QString &sense, const QString &word);

private:
    // Converts `body` from `pos` up to the closing tag of `section`, appending to `out`; returns
    // the position after that tag, the length of body when the text ends first, or -1.
    int dictProcessBody(const QString &body, int pos, QString &section, QString &out);

    QString m_headword;
    QString m_pronunciation;
    QString m_partOfSpeech;
    int m_subsenseCount = 0;
    int m_depth = 0;
    int m_budget = 0;
    qsizetype m_pageRoom = 0;  // characters a page may reach before the sense is shown unformatted
    bool m_aborted = false;
};
