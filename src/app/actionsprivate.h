#pragma once

#include <memory>

#include <QtGlobal>

#include "app/actions.h"
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

} // namespace velmora
