#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "FileFixture.h"
#include "platform/Shell.h"
#include "platform/Trash.h"
#include "support/Unprivileged.h"

namespace vornakle {
namespace {

using testing::Exists;
using testing::MakeDirectory;
using ::testing::MatchesRegex;
using testing::ReadFile;
using testing::WriteFile;

// Points the trash at a temporary directory for every test.
class TrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temporary_.isValid());
        SaveVariable("XDG_DATA_HOME");
        SaveVariable("HOME");
        MakeDirectory(Path("home"));
        ::setenv("XDG_DATA_HOME", Path("data").c_str(), 1);
        ::setenv("HOME", Path("home").c_str(), 1);
    }

    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value.has_value()) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

    void SaveVariable(const std::string& name) {
        const char* value = std::getenv(name.c_str());
        saved_.emplace_back(name,
                            value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }

    std::string Path(const std::string& relative) const {
        return temporary_.path().toStdString() + "/" + relative;
    }

    std::string RealPath(const std::string& relative) const {
        char resolved[PATH_MAX];
        EXPECT_NE(::realpath(Path(relative).c_str(), resolved), nullptr);
        return resolved;
    }

    QTemporaryDir temporary_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(TrashTest, FileGoesIntoTheTrashWithItsInfo) {
    MakeDirectory(Path("Fav"));
    WriteFile(Path("Fav/Alt.url"), "[InternetShortcut]\nURL=http://a/\n");

    const std::string trashed = MoveToTrash(Path("Fav/Alt.url"));

    EXPECT_EQ(TrashDirectory(), Path("data/Trash"));
    EXPECT_EQ(trashed, Path("data/Trash/files/Alt.url"));
    EXPECT_FALSE(Exists(Path("Fav/Alt.url")));
    EXPECT_EQ(ReadFile(trashed), "[InternetShortcut]\nURL=http://a/\n");
    EXPECT_THAT(
        ReadFile(Path("data/Trash/info/Alt.url.trashinfo")),
        MatchesRegex("\\[Trash Info\\]\nPath=" + RealPath("Fav") +
                     "/Alt\\.url\nDeletionDate=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:"
                     "[0-9]{2}\n"));
    struct stat status {};
    ASSERT_EQ(::stat(Path("data/Trash").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(TrashTest, OriginalPathIsPercentEncoded) {
    MakeDirectory(Path("Mein Ordner"));
    WriteFile(Path("Mein Ordner/B\xE4r & 100%.url"), "x");
    MoveToTrash(Path("Mein Ordner/B\xE4r & 100%.url"));
    const std::string info = ReadFile(Path("data/Trash/info/B\xE4r & 100%.url.trashinfo"));
    EXPECT_NE(info.find("/Mein%20Ordner/B%E4r%20%26%20100%25.url\n"), std::string::npos) << info;
}

TEST_F(TrashTest, SameNameTwiceGetsAFreeName) {
    for (const char* folder : {"a", "b"}) {
        MakeDirectory(Path(folder));
        WriteFile(Path(std::string(folder) + "/x.url"), folder);
    }
    EXPECT_EQ(MoveToTrash(Path("a/x.url")), Path("data/Trash/files/x.url"));
    EXPECT_EQ(MoveToTrash(Path("b/x.url")), Path("data/Trash/files/x (2).url"));
    EXPECT_EQ(ReadFile(Path("data/Trash/files/x.url")), "a");
    EXPECT_EQ(ReadFile(Path("data/Trash/files/x (2).url")), "b");
    EXPECT_NE(ReadFile(Path("data/Trash/info/x (2).url.trashinfo")).find(RealPath("b") + "/x.url"),
              std::string::npos);

    // An entry left in files/ without its info is not overwritten either.
    WriteFile(Path("data/Trash/files/y.url"), "verwaist");
    WriteFile(Path("y.url"), "neu");
    EXPECT_EQ(MoveToTrash(Path("y.url")), Path("data/Trash/files/y (2).url"));
    EXPECT_EQ(ReadFile(Path("data/Trash/files/y.url")), "verwaist");
    EXPECT_FALSE(Exists(Path("data/Trash/info/y.url.trashinfo")));
}

TEST_F(TrashTest, WholeDirectoryGoesIntoTheTrash) {
    MakeDirectory(Path("Fav/Ordner/Unter"));
    WriteFile(Path("Fav/Ordner/Unter/y.url"), "y");
    EXPECT_EQ(MoveToTrash(Path("Fav/Ordner/")), Path("data/Trash/files/Ordner"));
    EXPECT_FALSE(Exists(Path("Fav/Ordner")));
    EXPECT_EQ(ReadFile(Path("data/Trash/files/Ordner/Unter/y.url")), "y");
    EXPECT_TRUE(Exists(Path("data/Trash/info/Ordner.trashinfo")));
}

TEST_F(TrashTest, RelativeDataHomeIsIgnored) {
    ::setenv("XDG_DATA_HOME", "relativ/data", 1);
    WriteFile(Path("x.url"), "x");
    EXPECT_EQ(MoveToTrash(Path("x.url")), Path("home/.local/share/Trash/files/x.url"));
}

TEST_F(TrashTest, UnusableTrashDeletesNothing) {
    WriteFile(Path("x.url"), "x");
    MakeDirectory(Path("data"));
    WriteFile(Path("data/Trash"), "keine Verzeichnis");
    try {
        MoveToTrash(Path("x.url"));
        FAIL() << "no exception";
    } catch (const EFileError& error) {
        EXPECT_NE(error.Message().find("Papierkorb"), std::string::npos) << error.Message();
    }
    EXPECT_EQ(ReadFile(Path("x.url")), "x");

    ASSERT_EQ(::unlink(Path("data/Trash").c_str()), 0);
    MakeDirectory(Path("data/Trash/info"));
    WriteFile(Path("data/Trash/files"), "keine Verzeichnis");
    EXPECT_THROW(MoveToTrash(Path("x.url")), EFileError);
    EXPECT_EQ(ReadFile(Path("x.url")), "x");
    EXPECT_FALSE(Exists(Path("data/Trash/info/x.url.trashinfo")));
}

TEST_F(TrashTest, TrashTheUserMayNotWriteDeletesNothing) {
    // The user's own folder is writable, the trash is not.
    MakeDirectory(Path("Fav"));
    WriteFile(Path("Fav/x.url"), "x");
    MakeDirectory(Path("data/Trash/files"));
    MakeDirectory(Path("data/Trash/info"));
    for (const char* open : {"", "Fav"}) {
        ASSERT_EQ(::chmod(Path(open).c_str(), 0777), 0);
    }
    ASSERT_EQ(::chmod(Path("Fav/x.url").c_str(), 0666), 0);
    for (const char* locked : {"data", "data/Trash", "data/Trash/files", "data/Trash/info"}) {
        ASSERT_EQ(::chmod(Path(locked).c_str(), 0555), 0);
    }

    const std::string source = Path("Fav/x.url");
    const int result = testing::RunUnprivileged([&source] {
        try {
            MoveToTrash(source);
        } catch (const EFileError&) {
            return 0;
        }
        return 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(Path("Fav/x.url")), "x");
    EXPECT_FALSE(Exists(Path("data/Trash/files/x.url")));
    EXPECT_FALSE(Exists(Path("data/Trash/info/x.url.trashinfo")));
}

TEST_F(TrashTest, RefusesWhatCannotBeTrashed) {
    try {
        MoveToTrash(Path("Fehlt.url"));
        ADD_FAILURE() << "no exception";
    } catch (const EFileError& error) {
        EXPECT_EQ(error.Message(), "\"" + Path("Fehlt.url") +
                                       "\" konnte nicht in den Papierkorb verschoben werden: "
                                       "Datei oder Verzeichnis nicht gefunden");
    }
    EXPECT_THROW(MoveToTrash(""), EFileError);
    EXPECT_THROW(MoveToTrash("/"), EFileError);

    // The trash cannot go into itself.
    MakeDirectory(Path("data/Trash"));
    EXPECT_THROW(MoveToTrash(Path("data")), EFileError);
    EXPECT_TRUE(Exists(Path("data/Trash/files")));
}

TEST_F(TrashTest, FromAnotherFileSystemByCopy) {
    const auto other = testing::OtherFileSystemDirectory(temporary_.path().toStdString());
    if (!other) {
        GTEST_SKIP() << "no second file system for the temporary files";
    }
    const std::string folder = other->path().toStdString() + "/Ordner";
    MakeDirectory(folder + "/Unter");
    WriteFile(folder + "/Unter/y.url", "y");
    EXPECT_EQ(MoveToTrash(folder), Path("data/Trash/files/Ordner"));
    EXPECT_FALSE(Exists(folder));
    EXPECT_EQ(ReadFile(Path("data/Trash/files/Ordner/Unter/y.url")), "y");

    // A copy that fails takes its info file back and leaves the original.
    MakeDirectory(folder);
    WriteFile(folder + "/a.url", "a");
    ASSERT_EQ(::mkfifo((folder + "/Rohr").c_str(), 0600), 0);
    EXPECT_THROW(MoveToTrash(folder), EFileError);
    EXPECT_EQ(ReadFile(folder + "/a.url"), "a");
    EXPECT_FALSE(Exists(Path("data/Trash/files/Ordner (2)")));
    EXPECT_FALSE(Exists(Path("data/Trash/info/Ordner (2).trashinfo")));
}

}  // namespace
}  // namespace vornakle
