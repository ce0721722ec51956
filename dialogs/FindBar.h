#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The find bar at the foot of the reading page: the text to find, Next and Previous, the match
// case and whole words options and a short status. Enter finds the next hit, Shift+Enter the
// previous one; Escape stops a search that is running, else closes the bar.
class FindBar : public QWidget
{
    Q_OBJECT

public:
    explicit FindBar(QWidget *parent = nullptr);

    QString text() const;
    bool matchCase() const;
    bool wholeWords() const;
    // Shows the bar with the text field focused and its text selected.
    void open();

    void setStatus(const QString &status);
    QString status() const;
    // While a search runs, Escape stops it instead of closing the bar.
    void setSearching(bool searching);
    bool isSearching() const { return m_searching; }

Q_SIGNALS:
    void findNext();
    void findPrevious();
    void stopRequested();
    void closeRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Stops the search running, or closes the bar.
    void escape();

    QLineEdit *m_text;
    QPushButton *m_next;
    QPushButton *m_previous;
    QCheckBox *m_matchCase;
    QCheckBox *m_wholeWords;
    QLabel *m_status;
    bool m_searching = false;
};
