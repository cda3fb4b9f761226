#pragma once

#include <memory>

#include <QString>
#include <QThread>
#include <QtGlobal>

#include "app/actions.h"
#include "app/mainview.h"
#include "app/pageworker.h"

namespace velmora {

// Bookkeeping of the actions that the window never shows.
struct Actions::Private
{
    // Every run gets a new tag; ends of workers of an older run are not counted.
    quint64 downloadRun = 0;
    quint64 assemblyRun = 0;
    // Whether the current batch or assembly run has already been completed, so one
    // completion is never acted on twice.
    bool batchCompleted = false;
    bool assemblyCompleted = false;

    // The refill bound: refills in a row that added no page image.
    bool inRefillCycle = false;
    int fruitlessRefills = 0;
    int pagesPresentAtLastRefill = 0;

    void resetRefillBound()
    {
        inRefillCycle = false;
        fruitlessRefills = 0;
    }

    std::shared_ptr<StitcherPool> stitchers;
};

// How many refills in a row may add no page image before the cycle stops.
inline constexpr int MaxFruitlessRefills = 3;

template <typename Worker>
bool Actions::startWorker(Worker *worker, void (Actions::*onEnd)(quint64), quint64 run)
{
    connect(worker, &Worker::statusText, this,
            [this](int panel, const QString &text) { m_view.setPanel(panel, text); });
    // Attached before the start, so the end is seen however early it comes.
    connect(worker, &QThread::finished, this,
            [this, onEnd, run] { reportErrors([this, onEnd, run] { (this->*onEnd)(run); }); });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
    if (!worker->isRunning() && !worker->isFinished()) {
        delete worker;
        return false;
    }
    return true;
}

} // namespace velmora
