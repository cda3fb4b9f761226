#include "app/appdir.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QString>

#include "support/scopedenv.h"
#include "support/tempdir.h"

using velmora::chooseAppDir;

namespace fs = std::filesystem;

namespace {

// A home folder of the test's own, with an empty configuration folder, so the download
// folder is "<home>/Downloads" unless a test writes a user-dirs.dirs of its own.
class AppDirTest : public ::testing::Test
{
protected:
    AppDirTest()
        : m_home(m_temp.file("home"))
        , m_config(m_temp.file("config"))
        , m_homeEnv("HOME", m_home)
        , m_configEnv("XDG_CONFIG_HOME", m_config)
    {
        fs::create_directory(m_home);
        fs::create_directory(m_config);
    }

    std::string defaultFallback() const { return m_home + "/Downloads/velmora-downloader/"; }

    static std::vector<std::string> entriesOf(const std::string &dir)
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        return names;
    }

    TempDir m_temp;
    const std::string m_home;
    const std::string m_config;

private:
    ScopedEnv m_homeEnv;
    ScopedEnv m_configEnv;
};

QString q(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

TEST_F(AppDirTest, KeepsAProgramFolderFilesCanBeCreatedIn)
{
    struct Row
    {
        const char *name;
        std::string folder;
        std::string given;
    };
    const std::string plain = m_temp.file("bin");
    const std::string chinese = m_temp.file("程序 目录");
    const std::vector<Row> rows = {
        {"without a trailing slash", plain, plain},
        {"with a trailing slash", plain, plain + "/"},
        {"non-ASCII name", chinese, chinese},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        fs::create_directories(row.folder);

        EXPECT_EQ(chooseAppDir(q(row.given)), row.folder + "/");
        // The probe file is gone again and nothing was set up in the download folder.
        EXPECT_TRUE(entriesOf(row.folder).empty());
        EXPECT_FALSE(fs::exists(m_home + "/Downloads"));
    }
}

TEST_F(AppDirTest, FallsBackToTheDownloadFolderWhenNoFileCanBeCreated)
{
    const std::string missing = m_temp.file("no-such-folder");
    const std::string file = m_temp.file("program");
    std::ofstream(file) << "not a folder";

    struct Row
    {
        const char *name;
        std::string given;
    };
    const std::vector<Row> rows = {
        {"folder that does not exist", missing},
        {"a file in place of the folder", file},
        // No file can be created here whatever the permissions, root included.
        {"/proc", "/proc"},
        {"empty path", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(m_home + "/Downloads");

        const std::string chosen = chooseAppDir(q(row.given));

        EXPECT_EQ(chosen, defaultFallback());
        EXPECT_TRUE(fs::is_directory(chosen));
    }
    // The program's place is looked at, never changed.
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_TRUE(fs::is_regular_file(file));
}

TEST_F(AppDirTest, FallsBackWhenPermissionBitsForbidWriting)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root creates files whatever the permission bits say";
    const std::string readOnly = m_temp.file("readonly");
    fs::create_directory(readOnly);
    ASSERT_EQ(::chmod(readOnly.c_str(), 0555), 0);

    const std::string chosen = chooseAppDir(q(readOnly));
    ::chmod(readOnly.c_str(), 0755);

    EXPECT_EQ(chosen, defaultFallback());
    EXPECT_TRUE(fs::is_directory(chosen));
}

TEST_F(AppDirTest, UsesTheDownloadFolderTheUserConfigured)
{
    std::ofstream(m_config + "/user-dirs.dirs") << "XDG_DOWNLOAD_DIR=\"$HOME/Fetched files\"\n";

    const std::string chosen = chooseAppDir(q(m_temp.file("no-such-folder")));

    EXPECT_EQ(chosen, m_home + "/Fetched files/velmora-downloader/");
    EXPECT_TRUE(fs::is_directory(chosen));
    EXPECT_FALSE(fs::exists(m_home + "/Downloads"));
}

TEST_F(AppDirTest, KeepsWhatIsAlreadyInTheFallbackFolder)
{
    const std::string first = chooseAppDir(q(m_temp.file("no-such-folder")));
    ASSERT_EQ(first, defaultFallback());
    fs::create_directory(first + "Some issue");
    std::ofstream(first + "index.html") << "<html></html>";

    EXPECT_EQ(chooseAppDir(q(m_temp.file("no-such-folder"))), first);
    EXPECT_TRUE(fs::is_directory(first + "Some issue"));
    EXPECT_TRUE(fs::is_regular_file(first + "index.html"));
}

} // namespace
