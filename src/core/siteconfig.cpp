#include "core/siteconfig.h"

#include <cstdlib>

namespace velmora {

namespace {

void overrideFromEnvironment(std::string &value, const char *name)
{
    const char *text = std::getenv(name);
    if (text && *text)
        value = text;
}

} // namespace

SiteConfig SiteConfig::fromEnvironment()
{
    SiteConfig config;
    overrideFromEnvironment(config.mainHost, "VELMORA_MAIN_HOST");
    overrideFromEnvironment(config.pictureHost, "VELMORA_PICTURE_HOST");
    return config;
}

std::string SiteConfig::picturePrefix() const
{
    return "http://" + pictureHost + "/data/magazine";
}

std::string SiteConfig::pageLayoutUrl() const
{
    return "http://" + mainHost + "/magazine/reader/ajaxOriginalPage/";
}

std::string SiteConfig::defaultReaderUrl() const
{
    return "http://" + mainHost + "/magazine/reader_547882.html";
}

} // namespace velmora
