#include "app/tileworker.h"

#include <atomic>
#include <fstream>

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "core/naming.h"
#include "recordingview.h"
#include "site/fakesite.h"
#include "support/tempdir.h"

using namespace velmora;

namespace {

struct WorkerRun
{
    int ends = 0;
    QStringList texts;
};

// Runs one tile worker for page 37, tile (2, 2) to its end and returns what it reported.
WorkerRun runWorker(const site::FakeSite &site, const std::string &file,
                    const std::shared_ptr<Limiter> &limiter)
{
    const std::string base = "http://" + site.host() + "/data/magazine/2011/0520/k7x/";
    TileWorkerSettings settings;
    settings.limiter = limiter;
    settings.proxyTicked = std::make_shared<std::atomic_bool>(false);
    settings.pause = std::chrono::milliseconds(0);
    auto *worker = new ISO(TileUrl(base, 37, 4), "http://referer.example/r.html", file, 37, settings);

    WorkerRun run;
    QObject context;
    QObject::connect(worker, &ISO::statusText, &context,
                     [&](int panel, const QString &text) { run.texts << QStringLiteral("%1:%2").arg(panel).arg(text); });
    QObject::connect(worker, &QThread::finished, &context, [&] { ++run.ends; });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
    EXPECT_TRUE(RecordingView::runUntil([&] { return run.ends > 0; }));
    // Anything posted after the end would show up here.
    RecordingView::runUntil([] { return false; }, std::chrono::milliseconds(20));
    return run;
}

} // namespace

TEST(TileWorker, FetchesReportsAndGivesThePermitBack)
{
    struct Row
    {
        const char *name;
        std::vector<site::Fault> faults;
        const char *existing; // nullptr: no file before the worker runs
        int requests;
        bool saved;
        bool texts;
    };
    const Row rows[] = {
        {"fetched", {}, nullptr, 1, true, true},
        {"404", {{"0037_2_2.jpg", site::FaultKind::Status404, -1, 0}}, nullptr, 1, false, false},
        {"empty then content", {{"0037_2_2.jpg", site::FaultKind::EmptyBody, 1, 0}}, nullptr, 2, true, true},
        {"existing tile", {}, "jpeg", 0, true, true},
        {"existing empty tile", {}, "", 1, true, true},
    };
    site::FakeSite site;
    site.start(0);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        site::Scenario scenario;
        scenario.faults = row.faults;
        site.setScenario(scenario);
        site.clearLog();
        TempDir dir;
        const std::string file = dir.file("0037_2_2.jpg");
        if (row.existing)
            std::ofstream(file, std::ios::binary) << row.existing;

        auto limiter = std::make_shared<Limiter>(1);
        const WorkerRun run = runWorker(site, file, limiter);

        EXPECT_EQ(run.ends, 1);
        EXPECT_EQ(site.countRequests("0037_2_2.jpg"), row.requests);
        EXPECT_EQ(GetFileSize(file) > 0, row.saved);
        if (row.texts)
            EXPECT_EQ(run.texts, QStringList({"0:进行第37页下载", "1:第37页下载完毕"}));
        else
            EXPECT_TRUE(run.texts.isEmpty());
        EXPECT_TRUE(limiter->tryAcquire()) << "the permit was not given back";
    }
}

TEST(TileWorker, WaitsForAPermit)
{
    site::FakeSite site;
    site.start(0);
    TempDir dir;
    auto limiter = std::make_shared<Limiter>(1);
    limiter->acquire();

    TileWorkerSettings settings;
    settings.limiter = limiter;
    settings.proxyTicked = std::make_shared<std::atomic_bool>(false);
    settings.pause = std::chrono::milliseconds(0);
    auto *worker = new ISO("http://" + site.host() + "/data/magazine/2011/0520/k7x/900/0/1/0001_1_1.jpg",
                           "", dir.file("0001_1_1.jpg"), 1, settings);
    int ends = 0;
    QObject context;
    QObject::connect(worker, &QThread::finished, &context, [&] { ++ends; });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();

    RecordingView::runUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(site.countRequests("0001_1_1.jpg"), 0);
    limiter->release();
    EXPECT_TRUE(RecordingView::runUntil([&] { return ends == 1; }));
    EXPECT_EQ(site.countRequests("0001_1_1.jpg"), 1);
}
