#pragma once

#include <QChar>
#include <QString>

// Maps the upper half of an 8-bit code page to Unicode through one of the built-in tables.
// Bytes below 0x80 always stand for themselves.
class toUnicode
{
public:
    // Selects the table whose name equals `name` exactly (case-sensitive); -1 when none does.
    void setCodec(const QString &name);
    int index() const { return m_index; }

    // The 26 table names in table order, joined by ",".
    static QString getCodecList();

    // Precondition: index() >= 0.
    QChar getQChar(unsigned char byte) const;

    // With no table selected returns `text`; otherwise maps each character <= U+00FF through
    // the table and turns every character above U+00FF into U+0000.
    QString stringToUnicode(const QString &text) const;

private:
    int m_index = -1;
};
