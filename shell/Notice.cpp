#include "Notice.h"

Notice::Notice(QWidget *window) : QLabel(window)
{
    setStyleSheet(QStringLiteral("background: rgba(40, 40, 40, 220); color: white; padding: 8px 16px;"
                                 "border-radius: 6px;"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &QWidget::hide);
}

void Notice::say(const QString &text, int milliseconds)
{
    setText(text);
    adjustSize();
    const QWidget *window = parentWidget();
    move((window->width() - width()) / 2, window->height() - height() - 48);
    raise();
    show();
    m_timer.start(milliseconds);
}
