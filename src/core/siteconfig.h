#pragma once

#include <string>

namespace velmora {

// Where the reading site lives. Both hosts are `host` or `host:port`; the environment
// variables VELMORA_MAIN_HOST and VELMORA_PICTURE_HOST override the built-in ones.
struct SiteConfig
{
    std::string mainHost = "www.velmora.example";
    std::string pictureHost = "pic.velmora.example";

    static SiteConfig fromEnvironment();

    // "http://" + picture host + "/data/magazine"
    std::string picturePrefix() const;
    // "http://" + main host + "/magazine/reader/ajaxOriginalPage/"
    std::string pageLayoutUrl() const;
    // "http://" + main host + "/magazine/reader_547882.html": the address box's default.
    std::string defaultReaderUrl() const;
};

} // namespace velmora
