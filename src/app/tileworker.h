#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "app/statusworker.h"
#include "core/limiter.h"

namespace velmora {

// What a tile worker needs besides its tile: copied when the worker is created, except
// the proxy box, which is read when the fetch is prepared.
struct TileWorkerSettings
{
    std::shared_ptr<Limiter> limiter;
    std::shared_ptr<const std::atomic_bool> proxyTicked;
    std::string proxyHost;
    int proxyPort = 0;
    std::chrono::milliseconds pause{1000};
};

// Fetches one tile on a thread of its own: waits for a permit of the run's limiter,
// fetches the tile into its file unless it is already there and not empty, reports
// the page on the two status panels, and gives the permit back. A failed fetch leaves
// the tile file missing.
class ISO : public StatusWorker
{
    Q_OBJECT

public:
    // Small stack: a batch may hold more than a thousand of these.
    static constexpr uint StackSize = 256 * 1024;

    ISO(std::string tileUrl, std::string refererUrl, std::string tileFile, int page,
        TileWorkerSettings settings);

    const std::string TileUrl;
    const std::string RefererUrl;
    const std::string TileFile;
    const int Page;

private:
    void Execute() override;
    void ReportStart();

    std::string FetchUrl;
    TileWorkerSettings m_settings;
};

} // namespace velmora
