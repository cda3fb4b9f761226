#pragma once

#include <memory>
#include <string>

#include "core/limiter.h"

namespace velmora {

// The values the three actions, their end-of-worker handlers and the workers share.
// One instance, written only on the window thread; workers get copies of what they need
// when they are created. Never saved: every start begins empty.
struct AppState
{
    std::string AppDir;          // folder of the program's output, ending with "/" (UTF-8)
    std::string PicBaseUrl;      // picture base of the issue, ending with "/"
    std::string DownloadBaseUrl; // PicBaseUrl as it was when the download run started
    std::string MagazineTitle;   // cleaned issue title, GBK bytes
    std::string SaveDir;         // AppDir + trimmed title as UTF-8: tiles and page images
    std::string RefererUrl;      // the address box at the start of the download run
    int TilesPerPage = 0;
    int StartPage = 0;
    int LastPage = 0;
    int BatchIndex = 0;
    int DownloadTotal = 0;
    int AssemblyTotal = 0;
    std::shared_ptr<Limiter> DownloadLimiter;
    std::shared_ptr<Limiter> AssemblyLimiter;
    std::string ProxyHost;
    int ProxyPort = 0;
};

} // namespace velmora
