#include "core/siteconfig.h"

#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// Sets or clears the two host variables for one test and puts back what was there.
class SiteEnvironment : public ::testing::Test
{
protected:
    static constexpr const char *Names[] = {"VELMORA_MAIN_HOST", "VELMORA_PICTURE_HOST"};

    SiteEnvironment()
    {
        for (int i = 0; i < 2; ++i)
            if (const char *value = std::getenv(Names[i]))
                m_saved[i] = value;
    }

    ~SiteEnvironment() override
    {
        for (int i = 0; i < 2; ++i)
            set(Names[i], m_saved[i]);
    }

    static void set(const char *name, const std::optional<std::string> &value)
    {
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }

private:
    std::optional<std::string> m_saved[2];
};

} // namespace

TEST_F(SiteEnvironment, HostsFromTheEnvironment)
{
    struct Row
    {
        const char *name;
        std::optional<std::string> mainHost;
        std::optional<std::string> pictureHost;
        const char *expectedMain;
        const char *expectedPicture;
    };
    const Row rows[] = {
        {"unset", std::nullopt, std::nullopt, "www.velmora.example", "pic.velmora.example"},
        {"empty", "", "", "www.velmora.example", "pic.velmora.example"},
        {"both set", "127.0.0.1:8080", "127.0.0.1:8081", "127.0.0.1:8080", "127.0.0.1:8081"},
        {"main only", "localhost:9000", std::nullopt, "localhost:9000", "pic.velmora.example"},
        {"picture only", "", "localhost:9001", "www.velmora.example", "localhost:9001"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        set("VELMORA_MAIN_HOST", row.mainHost);
        set("VELMORA_PICTURE_HOST", row.pictureHost);
        const SiteConfig config = SiteConfig::fromEnvironment();
        EXPECT_EQ(config.mainHost, row.expectedMain);
        EXPECT_EQ(config.pictureHost, row.expectedPicture);
    }
}

TEST(SiteConfig, Addresses)
{
    SiteConfig config;
    config.mainHost = "127.0.0.1:8080";
    config.pictureHost = "127.0.0.1:8081";
    EXPECT_EQ(config.picturePrefix(), "http://127.0.0.1:8081/data/magazine");
    EXPECT_EQ(config.pageLayoutUrl(), "http://127.0.0.1:8080/magazine/reader/ajaxOriginalPage/");
    EXPECT_EQ(config.defaultReaderUrl(), "http://127.0.0.1:8080/magazine/reader_547882.html");

    const SiteConfig defaults;
    EXPECT_EQ(defaults.picturePrefix(), "http://pic.velmora.example/data/magazine");
    EXPECT_EQ(defaults.pageLayoutUrl(), "http://www.velmora.example/magazine/reader/ajaxOriginalPage/");
}
