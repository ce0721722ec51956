#include "FindSession.h"

#include <QMetaObject>

FindSession::FindSession(QObject *parent) : QObject(parent), m_worker(new QObject)
{
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

FindSession::~FindSession()
{
    m_wanted = 0;
    m_thread.quit();
    m_thread.wait();
}

int FindSession::start(const FindSource &source, const FindRequest &request)
{
    const int search = ++m_last;
    m_wanted = search;
    m_running = true;
    QMetaObject::invokeMethod(
        m_worker,
        [this, search, source, request] {
            const FindOutcome outcome = run(search, source, request);
            QMetaObject::invokeMethod(
                this,
                [this, search, outcome] {
                    if (search == m_last)
                        m_running = false;
                    Q_EMIT finished(search, outcome);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return search;
}

void FindSession::cancel()
{
    m_wanted = 0;
}

FindOutcome FindSession::run(int search, const FindSource &source, const FindRequest &request)
{
    FindOutcome outcome;
    if (m_wanted != search) {
        outcome.result = FindOutcome::Result::Cancelled;
        return outcome;
    }
    if (!m_finder || !m_finder->isOpen() || m_finder->source() != source) {
        m_finder = std::make_unique<TextFinder>();
        const Status status = m_finder->open(source);
        if (!status.isOk()) {
            m_finder.reset();
            outcome.result = FindOutcome::Result::Failed;
            outcome.error = QString::fromStdString(status.message());
            return outcome;
        }
    }
    if (request.readingPlace > 0)
        m_finder->addReadingPlace(request.readingPlace, request.readingPlacePreformatted);
    const FindQuery query(request.text, request.options);
    if (m_finder->query().text() != query.text() || !(m_finder->query().options() == query.options()))
        m_finder->setQuery(query);

    // Progress over the whole document: the part before wrapping, then the rest.
    const qint64 size = std::max<qint64>(1, m_finder->size());
    const qint64 from = std::clamp<qint64>(request.from, 0, m_finder->size());
    qint64 offset = 0;
    int shown = -1;
    FindControl control;
    control.cancelled = [this, search] { return m_wanted != search; };
    control.progress = [&](qint64 done, qint64) {
        const int percent = int(std::min<qint64>(100, (offset + done) * 100 / size));
        if (percent == shown)
            return;
        shown = percent;
        QMetaObject::invokeMethod(this, [this, search, percent] { Q_EMIT progress(search, percent); },
                                  Qt::QueuedConnection);
    };

    using R = TextFinder::Result;
    R result = request.backward ? m_finder->findBackward(from, 0, &outcome.hit, control)
                                : m_finder->findForward(from, m_finder->size(), &outcome.hit, control);
    bool wrapped = false;
    if (result == R::NotFound && request.wrap) {
        wrapped = true;
        offset = request.backward ? from : m_finder->size() - from;
        result = request.backward ? m_finder->findBackward(m_finder->size(), from, &outcome.hit, control)
                                  : m_finder->findForward(0, from, &outcome.hit, control);
    }
    switch (result) {
    case R::Found:
        outcome.result = wrapped ? FindOutcome::Result::Wrapped : FindOutcome::Result::Found;
        break;
    case R::NotFound:
        outcome.result = FindOutcome::Result::NotFound;
        break;
    case R::Cancelled:
        outcome.result = FindOutcome::Result::Cancelled;
        break;
    }
    return outcome;
}
