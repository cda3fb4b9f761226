// Downloads a whole issue from the fake site on loopback with the product's pauses and
// prints wall time against the floor those pauses set, peak memory and the most threads
// alive at once. Not a test: it takes a minute or more.
//
//   download_bench [--pages 60] [--tiles 12] [--hold]
//
// --hold makes every tile answer slowly, so that a whole first batch of workers waits
// for permits at once; it reports the memory with all of them alive.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "app/actions.h"
#include "app/appstate.h"
#include "app/mainview.h"
#include "core/completioncounter.h"
#include "core/http.h"
#include "site/fakesite.h"

using namespace velmora;

namespace {

QElapsedTimer runClock;
qint64 downloadDoneAt = -1;

int threadsNow()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    return 0;
}

long rssNowKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Shows nothing; remembers the two panels and the counter.
class HeadlessView : public MainView
{
public:
    QString boxes[4] = {{}, "1", "61", "12"};
    QString panels[2];
    bool enabled[3] = {true, true, true};
    CompletionCounter counter;

    QString boxText(Box box) const override { return boxes[static_cast<int>(box)]; }
    void setBoxText(Box box, const QString &text) override { boxes[static_cast<int>(box)] = text; }
    void setLabel(const QString &) override {}
    void setPanel(int index, const QString &text) override
    {
        panels[index] = text;
        if (text == QStringLiteral("下载完毕") && downloadDoneAt < 0)
            downloadDoneAt = runClock.elapsed();
    }
    void setButtonEnabled(Button button, bool on) override { enabled[static_cast<int>(button)] = on; }
    bool isButtonEnabled(Button button) const override { return enabled[static_cast<int>(button)]; }
    bool proxyTicked() const override { return false; }
    void setCounterMinimum(int value) override { counter.setMinimum(value); }
    void setCounterMaximum(int value) override { counter.setMaximum(value); }
    void setCounterStep(int value) override { counter.setStep(value); }
    void setCounterPosition(int value) override { counter.setPosition(value); }
    void stepCounter() override { counter.stepIt(); }
    int counterPosition() const override { return counter.position(); }
    void processPendingEvents() override { QCoreApplication::processEvents(); }
    void waitWithMessages(int) override {}
    void showError(const QString &message) override
    {
        std::fprintf(stderr, "error: %s\n", qPrintable(message));
        std::exit(1);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    CurlGlobal curl;
    int pages = 60;
    int tiles = 12;
    bool hold = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--pages") && i + 1 < argc)
            pages = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--tiles") && i + 1 < argc)
            tiles = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--hold"))
            hold = true;
    }

    site::Issue issue;
    issue.pageCount = pages + 10;
    issue.tilesPerPage = tiles;
    issue.tileWidth = 400;
    issue.tileHeight = 528;
    site::Scenario scenario;
    scenario.issues = {issue};
    if (hold)
        scenario.faults = {{"*", site::FaultKind::Slow, -1, 3000}};
    site::FakeSite fakeSite(scenario);
    fakeSite.start(0);

    QTemporaryDir programDir;
    AppState state;
    state.AppDir = programDir.path().toStdString() + "/";
    HeadlessView view;
    view.boxes[0] = QString::fromStdString(fakeSite.readerUrl());
    SiteConfig config{fakeSite.host(), fakeSite.host()};
    Pauses pauses; // the product's own pauses
    pauses.beforeAutoPressMs = 0;
    Actions actions(state, view, config, pauses);

    actions.Button1Click();
    view.boxes[1] = "1";
    view.boxes[2] = QString::number(pages + 1);

    int maxThreads = 0;
    long rssWithAllWaiting = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        maxThreads = std::max(maxThreads, threadsNow());
        rssWithAllWaiting = std::max(rssWithAllWaiting, rssNowKiB());
    });
    sampler.start(20);

    runClock.start();
    actions.downpicClick();
    const long long totalTiles = static_cast<long long>(pages) * tiles;
    if (hold) {
        // Every worker of the batch is alive now; most wait for a permit.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 1500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        std::printf("workers alive at once: %d threads, RSS %.1f MiB, peak RSS %.1f MiB\n",
                    maxThreads, rssWithAllWaiting / 1024.0, peakRssKiB() / 1024.0);
        std::fflush(stdout);
        std::_Exit(0);
    }
    while (downloadDoneAt < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = downloadDoneAt / 1000.0;
    const double floor = std::ceil(static_cast<double>(totalTiles) / tiles) * 1.0;

    std::printf("download %d pages x %d tiles: %.2f s, floor %.0f s (+%.1f%%), peak RSS %.1f MiB, "
                "threads at most %d\n",
                pages, tiles, seconds, floor, (seconds / floor - 1.0) * 100.0, peakRssKiB() / 1024.0,
                maxThreads);
    std::fflush(stdout);
    std::_Exit(0);
}
