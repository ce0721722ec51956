#pragma once

#include "TextFinder.h"

#include <QMetaType>
#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>

// One search as the window asks for it.
struct FindRequest
{
    QString text;
    FindOptions options;
    bool backward = false;
    // Forward: hits that start here or later; backward: hits that start before here.
    qint64 from = 0;
    bool wrap = true;  // when nothing is found up to the end (or the start), go on from the other end
    // Where the page shown starts, read as the view reads it (see TextFinder::addReadingPlace); -1: none.
    qint64 readingPlace = -1;
    bool readingPlacePreformatted = false;
};

struct FindOutcome
{
    enum class Result { Found, Wrapped, NotFound, Cancelled, Failed };
    Result result = Result::NotFound;
    Hit hit;
    QString error;  // Failed: why the document cannot be read
};
Q_DECLARE_METATYPE(FindOutcome)

// Runs searches on a thread of its own with a finder of its own, so the window keeps painting.
// A new search, or cancel(), stops the one running within about a megabyte of reading. Signals
// are sent on the thread that made the session; a stopped search still reports, with its number.
class FindSession : public QObject
{
    Q_OBJECT

public:
    explicit FindSession(QObject *parent = nullptr);
    ~FindSession() override;  // stops the search and waits for the thread

    // Starts a search and returns its number.
    int start(const FindSource &source, const FindRequest &request);
    void cancel();
    // A search was started and has not reported yet.
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    void progress(int search, int percent);
    void finished(int search, const FindOutcome &outcome);

private:
    // On the session's thread.
    FindOutcome run(int search, const FindSource &source, const FindRequest &request);

    QThread m_thread;
    QObject *m_worker = nullptr;              // lives on m_thread
    std::unique_ptr<TextFinder> m_finder;     // used on m_thread only
    std::atomic<int> m_wanted{0};             // the search that may go on; any other stops
    int m_last = 0;
    bool m_running = false;
};
