// Finding in the book and going to a page: the find bar at the foot of the reading page, searches
// run by a session on a thread of its own, and Ctrl+G.
#include "TextReader.h"

#include "FindBar.h"
#include "FindSession.h"
#include "MyView.h"
#include "Notice.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>
#include <QRegularExpression>
#include <QToolBar>

namespace {
// A search that takes longer than this shows its progress.
constexpr int SlowSearchMs = 200;
} // namespace

void TextReader::setupFind()
{
    findBar = new FindBar(this);
    findToolBar = new QToolBar(this);
    findToolBar->setObjectName(QStringLiteral("findToolBar"));
    findToolBar->setMovable(false);
    findToolBar->addWidget(findBar);
    addToolBar(Qt::BottomToolBarArea, findToolBar);
    findToolBar->hide();
    connect(findBar, &FindBar::findNext, this, &TextReader::findNext);
    connect(findBar, &FindBar::findPrevious, this, &TextReader::findPrevious);
    connect(findBar, &FindBar::stopRequested, this, &TextReader::stopFinding);
    connect(findBar, &FindBar::closeRequested, this, &TextReader::closeFindBar);

    auto makeAction = [this](const char *text, const QKeySequence &key) {
        auto *action = new QAction(tr(text), this);
        action->setShortcut(key);
        // The shortcuts work with the tool bars hidden (full screen) too.
        addAction(action);
        return action;
    };
    navigationMenu->addSeparator();
    findAction = makeAction("Find...", QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(findAction, &QAction::triggered, this, &TextReader::showFindBar);
    findNextAction = makeAction("Find next", QKeySequence(Qt::Key_F3));
    connect(findNextAction, &QAction::triggered, this, &TextReader::findNext);
    findPreviousAction = makeAction("Find previous", QKeySequence(Qt::SHIFT | Qt::Key_F3));
    connect(findPreviousAction, &QAction::triggered, this, &TextReader::findPrevious);
    gotoAction = makeAction("Go to page...", QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(gotoAction, &QAction::triggered, this, &TextReader::gotoPageOrPercent);
    navigationMenu->addActions({findAction, findNextAction, findPreviousAction, gotoAction});

    m_findSession = new FindSession(this);
    connect(m_findSession, &FindSession::finished, this, &TextReader::findFinished);
    connect(m_findSession, &FindSession::progress, this, &TextReader::findProgress);
    m_findSlowTimer.setSingleShot(true);
    m_findSlowTimer.setInterval(SlowSearchMs);
    connect(&m_findSlowTimer, &QTimer::timeout, this, [this] {
        if (m_findSearch)
            findBar->setStatus(tr("Searching\u2026 %1% (Escape stops)").arg(m_findPercent));
    });
}

void TextReader::showFindBar()
{
    if (centralWidget() != view || !view->documentOpen())
        return;
    findToolBar->show();
    findBar->open();
}

void TextReader::closeFindBar()
{
    stopFinding();
    findToolBar->hide();
    view->clearFoundMarks();
    view->setFocus();
}

void TextReader::findNext()
{
    startFind(false);
}

void TextReader::findPrevious()
{
    startFind(true);
}

void TextReader::startFind(bool backward)
{
    if (centralWidget() != view || !view->documentOpen())
        return;
    if (findToolBar->isHidden() || findBar->text().trimmed().isEmpty()) {
        showFindBar();  // F3 with nothing to find asks for it
        return;
    }
    FindRequest request;
    request.text = findBar->text();
    request.options.matchCase = findBar->matchCase();
    request.options.wholeWords = findBar->wholeWords();
    request.backward = backward;
    request.from = view->findOrigin(backward);
    request.readingPlace = view->pageStart().position;
    request.readingPlacePreformatted = view->pageStart().preformatted;
    m_findPercent = 0;
    m_findBackward = backward;
    m_findSearch = m_findSession->start(view->findSource(), request);
    findBar->setSearching(true);
    m_findSlowTimer.start();
}

void TextReader::stopFinding()
{
    if (!m_findSearch)
        return;
    m_findSession->cancel();
}

bool TextReader::escapeFind()
{
    if (m_findSearch) {
        stopFinding();
        return true;
    }
    if (findToolBar && findToolBar->isVisible()) {
        closeFindBar();
        return true;
    }
    return false;
}

void TextReader::findProgress(int search, int percent)
{
    if (search != m_findSearch)
        return;
    m_findPercent = percent;
    if (!m_findSlowTimer.isActive())
        findBar->setStatus(tr("Searching\u2026 %1% (Escape stops)").arg(percent));
}

void TextReader::findFinished(int search, const FindOutcome &outcome)
{
    if (search != m_findSearch)
        return;  // an earlier search, stopped by this one
    m_findSearch = 0;
    m_findSlowTimer.stop();
    findBar->setSearching(false);
    using R = FindOutcome::Result;
    const FindQuery query(findBar->text(), FindOptions{findBar->matchCase(), findBar->wholeWords()});
    switch (outcome.result) {
    case R::Found:
        findBar->setStatus(QString());
        view->showHit(query, outcome.hit);
        break;
    case R::Wrapped:
        findBar->setStatus(m_findBackward ? tr("Wrapped to the end") : tr("Wrapped to the start"));
        view->showHit(query, outcome.hit);
        break;
    case R::NotFound:
        findBar->setStatus(tr("Not found"));
        break;
    case R::Cancelled:
        findBar->setStatus(tr("Stopped"));
        break;
    case R::Failed:
        findBar->setStatus(tr("Cannot search: %1").arg(outcome.error));
        break;
    }
}

void TextReader::gotoPageOrPercent()
{
    if (centralWidget() != view || !view->documentOpen())
        return;
    bool ok = false;
    const QString answer = QInputDialog::getText(this, tr("Go to"), tr("Page number, or a percentage (45%):"),
                                                 QLineEdit::Normal, QString(), &ok)
                               .trimmed();
    if (!ok || answer.isEmpty())
        return;
    static const QRegularExpression percent(QStringLiteral("^(\\d{1,3}(?:[.,]\\d+)?)\\s*%$"));
    const QRegularExpressionMatch match = percent.match(answer);
    if (match.hasMatch()) {
        const double value = QString(match.captured(1)).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        if (ok && value <= 100) {
            view->goToPercent(value);
            return;
        }
    } else {
        const qint64 page = answer.toLongLong(&ok);
        if (ok && page >= 1) {
            view->goToPage(page);
            return;
        }
    }
    m_notice->say(tr("\"%1\" is neither a page number nor a percentage").arg(answer));
}
