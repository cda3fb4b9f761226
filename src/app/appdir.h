#pragma once

#include <string>

#include <QString>

namespace velmora {

// The folder "index.html" and the issue folders are written to, as UTF-8 ending with "/".
// That is `programDir` itself when a file can be created in it (running from the build
// or from an unpacked folder). Otherwise, as for a program installed in a system folder,
// it is "velmora-downloader" in the user's download folder (the home folder when there
// is no download folder), created here if it is missing. Whether that creation worked
// is left to the first write to find out.
std::string chooseAppDir(const QString &programDir);

} // namespace velmora
