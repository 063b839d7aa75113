#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>

#include "platform/FavoritesFolder.h"

namespace vornakle {
namespace {

class FavoritesFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        environment_.home = Path("home");
        environment_.user = "anna";
        environment_.windowsUsers = Path("mnt/c/Users");
        MakeDirectory("home");
    }

    std::string Path(const std::string& relative) const {
        return root_.path().toStdString() + "/" + relative;
    }

    std::string MakeDirectory(const std::string& relative) const {
        EXPECT_TRUE(QDir().mkpath(QString::fromStdString(Path(relative))));
        return Path(relative);
    }

    QTemporaryDir root_;
    FavoritesEnvironment environment_;
};

TEST_F(FavoritesFolderTest, NoneWhenNoPlaceHasFavorites) {
    EXPECT_EQ(FindFavoritesFolder(environment_), std::nullopt);
}

TEST_F(FavoritesFolderTest, HomeFavoritesComeFirst) {
    const std::string home = MakeDirectory("home/Favorites");
    MakeDirectory("home/.wine/drive_c/users/anna/Favorites");
    EXPECT_EQ(FindFavoritesFolder(environment_), home);
}

TEST_F(FavoritesFolderTest, AFileNamedFavoritesIsNoFolder) {
    std::ofstream(Path("home/Favorites")) << "x";
    EXPECT_EQ(FindFavoritesFolder(environment_), std::nullopt);
}

TEST_F(FavoritesFolderTest, DefaultWinePrefixIsInTheHome) {
    const std::string wine = MakeDirectory("home/.wine/drive_c/users/anna/Favorites");
    EXPECT_EQ(FindFavoritesFolder(environment_), wine);
}

TEST_F(FavoritesFolderTest, WinePrefixReplacesTheDefaultPrefix) {
    MakeDirectory("home/.wine/drive_c/users/anna/Favorites");
    environment_.winePrefix = MakeDirectory("prefix");
    EXPECT_EQ(FindFavoritesFolder(environment_), std::nullopt);

    const std::string wine = MakeDirectory("prefix/drive_c/users/anna/Favorites");
    EXPECT_EQ(FindFavoritesFolder(environment_), wine);
}

TEST_F(FavoritesFolderTest, WindowsProfilesAreLookedAtOnlyOnWsl) {
    const std::string windows = MakeDirectory("mnt/c/Users/anna/Favorites");
    EXPECT_EQ(FindFavoritesFolder(environment_), std::nullopt);
    environment_.onWsl = true;
    EXPECT_EQ(FindFavoritesFolder(environment_), windows);
}

TEST_F(FavoritesFolderTest, OnWslTheOnlyPersonalProfileServesAnotherLinuxName) {
    environment_.onWsl = true;
    MakeDirectory("mnt/c/Users/Public/Favorites");
    MakeDirectory("mnt/c/Users/Default/Favorites");
    const std::string windows = MakeDirectory("mnt/c/Users/Anna Schmidt/Favorites");
    EXPECT_EQ(FindFavoritesFolder(environment_), windows);

    // With two people on the machine, there is no telling whose they are.
    MakeDirectory("mnt/c/Users/Bernd/Favorites");
    EXPECT_EQ(FindFavoritesFolder(environment_), std::nullopt);
}

TEST_F(FavoritesFolderTest, ProcessEnvironmentIsRead) {
    const std::string home = MakeDirectory("home/Favorites");
    const auto save = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<std::string> savedHome = save("HOME");
    const std::optional<std::string> savedPrefix = save("WINEPREFIX");
    const std::optional<std::string> savedUser = save("USER");
    ::setenv("HOME", environment_.home.c_str(), 1);
    ::setenv("WINEPREFIX", Path("prefix").c_str(), 1);
    ::setenv("USER", "anna", 1);

    const FavoritesEnvironment read = FavoritesEnvironment::FromProcess();
    const std::optional<std::string> found = FindFavoritesFolder();

    const auto restore = [](const char* name, const std::optional<std::string>& value) {
        if (value.has_value()) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    };
    restore("HOME", savedHome);
    restore("WINEPREFIX", savedPrefix);
    restore("USER", savedUser);
    EXPECT_EQ(read.home, environment_.home);
    EXPECT_EQ(read.winePrefix, Path("prefix"));
    EXPECT_EQ(read.user, "anna");
    EXPECT_EQ(found, home);
}

}  // namespace
}  // namespace vornakle
