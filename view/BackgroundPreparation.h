#pragma once

#include "SourcePreparer.h"

#include <QString>
#include <functional>

class QWidget;

// Runs a preparation (unpacking an archive, converting a book) on a worker thread while the window
// keeps repainting. Input is held back at first; a preparation still running after ShowAfterMs
// shows a modal progress dialog whose Cancel stops it.
class BackgroundPreparation
{
public:
    using Work = std::function<SourcePreparer::Result(const PrepareProgress &progress)>;
    static constexpr int ShowAfterMs = 300;

    // Returns what `work` returned; `work` runs on another thread and must not touch widgets.
    static SourcePreparer::Result run(QWidget *parent, const QString &label, const Work &work);
};
