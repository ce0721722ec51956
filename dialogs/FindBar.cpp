#include "FindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

FindBar::FindBar(QWidget *parent)
    : QWidget(parent), m_text(new QLineEdit(this)), m_next(new QPushButton(tr("Next"), this)),
      m_previous(new QPushButton(tr("Previous"), this)), m_matchCase(new QCheckBox(tr("Match case"), this)),
      m_wholeWords(new QCheckBox(tr("Whole words"), this)), m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("findBar"));
    m_text->setObjectName(QStringLiteral("findText"));
    m_text->setPlaceholderText(tr("Find in the book"));
    m_text->setClearButtonEnabled(true);
    m_text->setMaxLength(1000);
    m_text->installEventFilter(this);
    m_text->setMinimumWidth(m_text->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 16);
    auto *close = new QToolButton(this);
    close->setText(QStringLiteral("\u00D7"));
    close->setToolTip(tr("Close the find bar (Escape)"));
    close->setAutoRaise(true);
    m_next->setToolTip(tr("Next hit (F3, Enter)"));
    m_previous->setToolTip(tr("Previous hit (Shift+F3, Shift+Enter)"));
    // The buttons leave the focus in the text field, where Enter goes on finding.
    for (QWidget *w : {static_cast<QWidget *>(m_next), static_cast<QWidget *>(m_previous),
                       static_cast<QWidget *>(m_matchCase), static_cast<QWidget *>(m_wholeWords),
                       static_cast<QWidget *>(close)})
        w->setFocusPolicy(Qt::NoFocus);
    m_status->setMinimumWidth(m_status->fontMetrics().horizontalAdvance(QStringLiteral("Wrapped to the start  ")));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(close);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_previous);
    layout->addWidget(m_next);
    layout->addWidget(m_matchCase);
    layout->addWidget(m_wholeWords);
    layout->addWidget(m_status);

    connect(m_next, &QPushButton::clicked, this, &FindBar::findNext);
    connect(m_previous, &QPushButton::clicked, this, &FindBar::findPrevious);
    connect(close, &QToolButton::clicked, this, &FindBar::closeRequested);
    // Other options or another text make the last status stale.
    connect(m_text, &QLineEdit::textEdited, this, [this] { setStatus(QString()); });
    connect(m_matchCase, &QCheckBox::toggled, this, [this] { setStatus(QString()); });
    connect(m_wholeWords, &QCheckBox::toggled, this, [this] { setStatus(QString()); });
}

QString FindBar::text() const
{
    return m_text->text();
}

bool FindBar::matchCase() const
{
    return m_matchCase->isChecked();
}

bool FindBar::wholeWords() const
{
    return m_wholeWords->isChecked();
}

void FindBar::open()
{
    show();
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
}

void FindBar::setStatus(const QString &status)
{
    m_status->setText(status);
}

QString FindBar::status() const
{
    return m_status->text();
}

void FindBar::setSearching(bool searching)
{
    m_searching = searching;
}

void FindBar::escape()
{
    if (m_searching)
        Q_EMIT stopRequested();
    else
        Q_EMIT closeRequested();
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                Q_EMIT findPrevious();
            else
                Q_EMIT findNext();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            escape();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        escape();
    else
        QWidget::keyPressEvent(event);
}
