#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/actions.h"
#include "app/appstate.h"
#include "site/fakesite.h"
#include "recordingview.h"
#include "support/tempdir.h"

// The actions with a recording view, against the fake site on 127.0.0.1, in a fresh
// program folder, with the fixed pauses shortened.
class ActionsFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the site with `scenario` and makes the actions talk to it.
    void startSite(velmora::site::Scenario scenario = {});
    // Initialise on `itemId`; true when it ended without an error.
    bool initialise(int itemId = 547882);
    // Presses Download and runs the event loop until the cycle ends ("组图完毕",
    // "补图停止" or an error); false on time-out.
    bool downloadUntilDone();
    // Whether every tile worker and page worker has ended and been counted.
    std::string pageImage(int page) const;
    int tileFilesLeft() const;

    TempDir programDir;
    velmora::AppState state;
    RecordingView view;
    velmora::Pauses pauses;
    std::unique_ptr<velmora::site::FakeSite> site;
    std::unique_ptr<velmora::Actions> actions;
};
