#include "actionsfixture.h"

#include <filesystem>

#include "core/naming.h"

using namespace velmora;

void ActionsFixture::SetUp()
{
    state.AppDir = programDir.path() + "/";
    pauses.afterTileRequest = std::chrono::milliseconds(0);
    pauses.afterPageSave = std::chrono::milliseconds(0);
    pauses.beforeTileRemoval = std::chrono::milliseconds(0);
    pauses.beforeAutoPressMs = 20;
}

void ActionsFixture::TearDown()
{
    // Let workers of a test that failed half-way end before the site goes away.
    RecordingView::runUntil([] { return false; }, std::chrono::milliseconds(50));
    actions.reset();
    if (site)
        site->stop();
}

void ActionsFixture::startSite(site::Scenario scenario)
{
    site = std::make_unique<site::FakeSite>(std::move(scenario));
    site->start(0);
    SiteConfig config;
    config.mainHost = site->host();
    config.pictureHost = site->host();
    actions = std::make_unique<Actions>(state, view, config, pauses);
}

bool ActionsFixture::initialise(int itemId)
{
    view.boxes[MainView::Box::ISBN] = QString::fromStdString(site->readerUrl(itemId));
    const int errorsBefore = view.errors.size();
    actions->reportErrors([this] { actions->Button1Click(); });
    return view.errors.size() == errorsBefore;
}

bool ActionsFixture::downloadUntilDone()
{
    const int errorsBefore = view.errors.size();
    actions->reportErrors([this] { actions->downpicClick(); });
    return RecordingView::runUntil([&] {
        return view.panels[1] == QStringLiteral("组图完毕") || view.panels[1] == QStringLiteral("补图停止")
               || view.errors.size() > errorsBefore;
    });
}

std::string ActionsFixture::pageImage(int page) const
{
    return PageImage(state.SaveDir, page);
}

int ActionsFixture::tileFilesLeft() const
{
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(state.SaveDir)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 8 && name.find('_') != std::string::npos)
            ++count;
    }
    return count;
}
