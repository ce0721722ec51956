#pragma once

#include <QLabel>
#include <QTimer>

// A short message over the foot of the window ("Added mark: ..."), gone after a few seconds.
class Notice : public QLabel
{
    Q_OBJECT

public:
    explicit Notice(QWidget *window);
    void say(const QString &text, int milliseconds = 2500);

private:
    QTimer m_timer;
};
