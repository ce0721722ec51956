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
        m_body = error.toHtmlEscaped() + QLatin1String("</p><p>") + m_dictionaryPath.toHtmlEscaped();
    }
    m_title = m_failed ? QStringLiteral("Dictionary file error:")
              : found  ? QStringLiteral("Exact translation")
                       : QStringLiteral("Closest translation");
}

namespace {

// Writes the page mark-up of the entry below the title: b and /b switch the weight, p starts a
// line, /p ends a run, hr/ draws a rule, help moves to the foot of the page. Lines break between
// any two characters.
class BodyWriter
{
public:
    BodyWriter(QPainter &painter, QFont font, const QPixmap &paper, const TranslationPage::Geometry &g, int y,
               bool failed)
        : m_painter(painter), m_font(font), m_metrics(font), m_paper(paper), m_g(g), m_pitch(g.fontSize + g.lineSpacing),
          m_x(g.pageMargin), m_y(y), m_failed(failed)
    {
    }

    void write(const QString &body)
    {
        for (qsizetype i = 0; i < body.size(); ++i) {
            if (body[i] == QLatin1Char('&')) {
                i = addEscaped(body, i);
                continue;
            }
            if (body[i] != QLatin1Char('<')) {
                addChar(body[i]);
                continue;
            }
            const qsizetype end = body.indexOf(QLatin1Char('>'), i + 1);
            if (end < 0)
                break;
            tag(body.mid(i + 1, end - i - 1).toLower());
            i = end;
        }
        flush();
    }

private:
    // The four escapes text from outside arrives with; anything else is a literal "&".
    qsizetype addEscaped(const QString &body, qsizetype i)
    {
        static const std::pair<QLatin1String, QChar> escapes[] = {{QLatin1String("&lt;"), u'<'},
                                                                  {QLatin1String("&gt;"), u'>'},
                                                                  {QLatin1String("&amp;"), u'&'},
                                                                  {QLatin1String("&quot;"), u'"'}};
        for (const auto &[text, c] : escapes) {
            if (QStringView(body).mid(i).startsWith(text)) {
                addChar(c);
                return i + text.size() - 1;
            }
        }
        addChar(u'&');
        return i;
    }
    void addChar(QChar c)
    {
        const int w = m_metrics.horizontalAdvance(c);
        if (m_x + m_pendingWidth + w > m_paper.width() - 2 * m_g.pageMargin) {
            flush();
            m_pending = c;
            m_pendingWidth = w;
            m_x = m_g.pageMargin;
            m_y += m_pitch;
        } else {
            m_pending += c;
            m_pendingWidth += w;
        }
    }
    void flush()
    {
        if (!m_pending.isEmpty())
            m_painter.drawText(m_x, m_y, m_pending);
    }
    void endRun()
    {
        flush();
        m_pending.clear();
        m_pendingWidth = 0;
    }
    void tag(const QString &tag)
    {
        if (tag == QLatin1String("b") || tag == QLatin1String("/b")) {
            flush();
            m_x += m_pendingWidth;
            m_pending.clear();
            m_pendingWidth = 0;
            m_font.setWeight(tag == QLatin1String("b") ? QFont::Bold : QFont::Normal);
            m_painter.setFont(m_font);
            m_metrics = QFontMetrics(m_font);
        } else if (tag == QLatin1String("p")) {
            m_x = m_g.pageMargin;
            m_y += m_pitch;
        } else if (tag == QLatin1String("/p")) {
            endRun();
        } else if (tag == QLatin1String("hr/")) {
            endRun();
            m_x = m_g.pageMargin;
            m_y += m_pitch;
            const QPen keep = m_painter.pen();
            m_painter.setPen(QPen(m_g.text, 3, Qt::SolidLine));
            m_painter.drawLine(m_g.pageMargin, m_y, m_paper.width() - m_g.pageMargin, m_y);
            m_painter.setPen(m_failed ? keep : QPen(m_g.text));  // an error stays red
            m_y += m_pitch;
        } else if (tag == QLatin1String("help")) {
            m_x = m_g.pageMargin;
            m_y = m_paper.height() - 3 * m_g.fontSize - 3 * m_g.lineSpacing;
        }
    }

    QPainter &m_painter;
    QFont m_font;
    QFontMetrics m_metrics;
    const QPixmap &m_paper;
    const TranslationPage::Geometry &m_g;
    int m_pitch;
    int m_x;
    int m_y;
    bool m_failed;
    QString m_pending;  // characters not drawn yet, starting at m_x
    int m_pendingWidth = 0;
};

} // namespace

void TranslationPage::draw(QPixmap &paper, const Geometry &g) const
{
    paper.fill(g.paper);
    const int pitch = g.fontSize + g.lineSpacing;
    QFont font = g.font;
    font.setUnderline(false);
    font.setItalic(false);
    QPainter painter(&paper);

    font.setWeight(QFont::Normal);
    painter.setFont(font);
    painter.setPen(g.word);
    painter.drawText(g.pageMargin, pitch, m_word);

    font.setWeight(QFont::Bold);
    painter.setFont(font);
    painter.setPen(m_failed ? QColor(Qt::red) : g.text);
    const int titleY = 2 * pitch + 4;
    painter.drawText(g.pageMargin, titleY, m_title);

    font.setWeight(QFont::Normal);
    painter.setFont(font);
    BodyWriter(painter, font, paper, g, titleY + pitch, m_failed).write(m_body);
}
