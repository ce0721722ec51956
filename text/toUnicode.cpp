#include "toUnicode.h"

#include "codepage_tables.h"

void toUnicode::setCodec(const QString &name)
{
    m_index = -1;
    for (int i = 0; unicodevalues[i].name[0] != '\0'; ++i) {
        if (name == QLatin1String(unicodevalues[i].name)) {
            m_index = i;
            return;
        }
    }
}

QString toUnicode::getCodecList()
{
    QString list;
    for (int i = 0; unicodevalues[i].name[0] != '\0'; ++i) {
        if (i > 0)
            list += QLatin1Char(',');
        list += QLatin1String(unicodevalues[i].name);
    }
    return list;
}

QChar toUnicode::getQChar(unsigned char byte) const
{
    // Callers check index() first; without a table the byte is read as Latin-1 rather than
    // indexing before the tables.
    if (byte < 0x80 || m_index < 0 || m_index >= CodePageTableCount)
        return QChar(byte);
    return QChar(unicodevalues[m_index].values[byte - 0x80]);
}

QString toUnicode::stringToUnicode(const QString &text) const
{
    if (m_index < 0)
        return text;
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        out[i] = c <= 0xFF ? getQChar(static_cast<unsigned char>(c)) : QChar(0);
    }
    return out;
}
