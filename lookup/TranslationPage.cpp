#include "TranslationPage.h"

#include "dictionary.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>

namespace {
const QString HelpLine =
    QStringLiteral("<b><help>'Tap' or press 'Ok' to exit, Backspace and letters to edit the WORD");
} // namespace

TranslationPage::TranslationPage() = default;
TranslationPage::~TranslationPage() = default;

QString TranslationPage::cleanWord(const QString &word)
{
    static const QRegularExpression leading(
        QStringLiteral("^[!\"\u00A3$%^&*()\\-_+=\u00AC`:;@'~#|<,>.?/{}\\[\\]\\d\\\\]+"),
        QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression trailing(
        QStringLiteral("[!\"\u00A3$%^&*()\\-_+=\u00AC`:;@'~#|<,>.?/{}\\[\\]\\d\\\\]+$"),
        QRegularExpression::UseUnicodePropertiesOption);
    return word.toLower().remove(leading).remove(trailing);
}

void TranslationPage::forgetDictionary()
{
    m_dictionary.reset();
}

void TranslationPage::lookUp(const QString &word, const QString &dictionaryPath)
{
    m_shown = true;
    m_word = cleanWord(word);
    if (!m_dictionary) {
        m_dictionaryPath = dictionaryPath;
        m_dictionary.reset(Dictionary::create(QFile::encodeName(dictionaryPath).constData()));
    }

    QString error = m_dictionary ? QString::fromStdString(m_dictionary->getError())
                                 : QStringLiteral("Error openning dictionary file!");
    bool found = false;
    if (error.isEmpty()) {
        bool prefix = false;
        found = m_dictionary->findEntry(m_word.toUtf8().toStdString(), prefix);
        error = QString::fromStdString(m_dictionary->getError());
    }
    m_failed = !error.isEmpty();
    if (!m_failed) {
        const QString entryWord = QString::fromUtf8(m_dictionary->getWord());
        const QString sense = QString::fromUtf8(m_dictionary->getSense());
        m_body = m_formatter.dictFormat(sense, entryWord) + HelpLine;
    } else {
        // Which file could not be used, on a line of its own under the reason.
        m_body = error + QLatin1String("</p><p>") + m_dictionaryPath;
    }
    m_title = m_failed ? QStringLiteral("Dictionary file error:")
              : found  ? QStringLiteral("Exact translation")
                       : QStringLiteral("Closest translation");
}

void TranslationPage::draw(QPixmap &paper, const Geometry &g) const
{
    paper.fill(Qt::white);
    const int pitch = g.fontSize + g.lineSpacing;
    const int pageMargin = g.pageMargin;
    const bool failed = m_failed;
    const QString &body = m_body;
    QFont font = g.font;
    font.setUnderline(false);
    QPainter painter(&paper);

    font.setWeight(QFont::Normal);
    font.setItalic(false);
    painter.setFont(font);
    painter.setPen(Qt::blue);
    painter.drawText(pageMargin, pitch, m_word);

    font.setWeight(QFont::Bold);
    painter.setFont(font);
    painter.setPen(failed ? Qt::red : Qt::black);
    const int titleY = 2 * pitch + 4;
    painter.drawText(pageMargin, titleY, m_title);

    font.setWeight(QFont::Normal);
    painter.setFont(font);
    QFontMetrics metrics(font);
    const int limit = paper.width() - 2 * pageMargin;
    int x = pageMargin;
    int y = titleY + pitch;
    QString pending;
    int pendingWidth = 0;
    auto flush = [&] {
        if (!pending.isEmpty())
            painter.drawText(x, y, pending);
    };
    auto setWeight = [&](QFont::Weight weight) {
        font.setWeight(weight);
        painter.setFont(font);
        metrics = QFontMetrics(font);
    };

    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body[i];
        if (c != QLatin1Char('<')) {
            const int w = metrics.horizontalAdvance(c);
            if (x + pendingWidth + w > limit) {
                // Lines break between any two characters.
                flush();
                pending = c;
                pendingWidth = w;
                x = pageMargin;
                y += pitch;
            } else {
                pending += c;
                pendingWidth += w;
            }
            continue;
        }
        const qsizetype end = body.indexOf(QLatin1Char('>'), i + 1);
        if (end < 0)
            break;
        const QString tag = body.mid(i + 1, end - i - 1).toLower();
        i = end;
        if (tag == QLatin1String("b") || tag == QLatin1String("/b")) {
            flush();
            x += pendingWidth;
            pending.clear();
            pendingWidth = 0;
            setWeight(tag == QLatin1String("b") ? QFont::Bold : QFont::Normal);
        } else if (tag == QLatin1String("p")) {
            x = pageMargin;
            y += pitch;
        } else if (tag == QLatin1String("/p")) {
            flush();
            pending.clear();
            pendingWidth = 0;
        } else if (tag == QLatin1String("hr/")) {
            flush();
            pending.clear();
            pendingWidth = 0;
            x = pageMargin;
            y += pitch;
            const QPen keep = painter.pen();
            painter.setPen(QPen(Qt::black, 3, Qt::SolidLine));
            painter.drawLine(pageMargin, y, paper.width() - pageMargin, y);
            painter.setPen(failed ? keep : QPen(Qt::black));
            y += pitch;
        } else if (tag == QLatin1String("help")) {
            x = pageMargin;
            y = paper.height() - 3 * g.fontSize - 3 * g.lineSpacing;
        }
    }
    flush();
}
