#include "BackgroundPreparation.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>

namespace {

// What the worker and the window share.
struct Shared
{
    std::atomic<bool> finished{false};
    std::atomic<bool> cancelled{false};
    std::atomic<uint64_t> done{0};
    std::atomic<uint64_t> total{0};
};

constexpr int PollMs = 50;
constexpr int DialogSteps = 1000;

} // namespace

SourcePreparer::Result BackgroundPreparation::run(QWidget *parent, const QString &label, const Work &work)
{
    Shared shared;
    QEventLoop loop;
    SourcePreparer::Result result;
    const PrepareProgress progress = [&shared](uint64_t done, uint64_t total) {
        shared.done = done;
        shared.total = total;
        return !shared.cancelled.load();
    };
    std::thread worker([&] {
        result = work(progress);
        shared.finished = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });

    // The poll is the safety net for a quit that arrives while no loop runs, and it moves on from
    // the quiet first phase to the dialog.
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> dialog;
    QTimer poll;
    poll.setInterval(PollMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (shared.finished || (!dialog && clock.elapsed() >= ShowAfterMs)) {
            loop.quit();
            return;
        }
        if (dialog && shared.total > 0)
            dialog->setValue(int(shared.done * DialogSteps / shared.total));
    });
    poll.start();

    if (!shared.finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!shared.finished) {
        dialog = std::make_unique<QProgressDialog>(label, QObject::tr("Cancel"), 0, DialogSteps, parent);
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setMinimumDuration(0);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        QObject::connect(dialog.get(), &QProgressDialog::canceled, &loop, [&shared, &dialog] {
            shared.cancelled = true;
            dialog->setLabelText(QObject::tr("Stopping..."));
        });
        dialog->show();
        while (!shared.finished)
            loop.exec();
    }
    poll.stop();
    worker.join();
    return result;
}
