#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <optional>

#include "FileFixture.h"
#include "platform/Shell.h"
#include "platform/ShellOpen.h"
#include "support/Unprivileged.h"

namespace vornakle {
namespace {

using testing::Exists;
using testing::MakeDirectory;
using testing::ReadFile;
using testing::WriteFile;

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temporary_.isValid()); }

    std::string Path(const std::string& relative) const {
        return temporary_.path().toStdString() + "/" + relative;
    }

    QTemporaryDir temporary_;
};

TEST(CollisionNameTest, CounterGoesBeforeAFilesExtension) {
    EXPECT_EQ(CollisionName("x.url", 1, false), "x.url");
    EXPECT_EQ(CollisionName("x.url", 2, false), "x (2).url");
    EXPECT_EQ(CollisionName("x.url", 13, false), "x (13).url");
    EXPECT_EQ(CollisionName("a.tar.gz", 2, false), "a.tar (2).gz");
    EXPECT_EQ(CollisionName("Liesmich", 2, false), "Liesmich (2)");
    EXPECT_EQ(CollisionName(".versteckt", 3, false), ".versteckt (3)");
    EXPECT_EQ(CollisionName("Ordner.alt", 2, true), "Ordner.alt (2)");
}

TEST_F(ShellTest, MovePathNoReplaceRenames) {
    WriteFile(Path("Alt.url"), "[InternetShortcut]\nURL=http://a/\n");
    MovePathNoReplace(Path("Alt.url"), Path("Neu.url"));
    EXPECT_FALSE(Exists(Path("Alt.url")));
    EXPECT_EQ(ReadFile(Path("Neu.url")), "[InternetShortcut]\nURL=http://a/\n");
}

TEST_F(ShellTest, MovePathNoReplaceNeverReplaces) {
    WriteFile(Path("Alt.url"), "alt");
    WriteFile(Path("Neu.url"), "neu");
    EXPECT_THROW(MovePathNoReplace(Path("Alt.url"), Path("Neu.url")), EFileError);
    EXPECT_EQ(ReadFile(Path("Alt.url")), "alt");
    EXPECT_EQ(ReadFile(Path("Neu.url")), "neu");

    // rename(2) would let a directory replace an empty directory.
    MakeDirectory(Path("Quelle/Inhalt"));
    MakeDirectory(Path("Leer"));
    EXPECT_THROW(MovePathNoReplace(Path("Quelle"), Path("Leer")), EFileError);
    EXPECT_TRUE(Exists(Path("Quelle/Inhalt")));
    EXPECT_TRUE(Exists(Path("Leer")));
}

TEST_F(ShellTest, MoveIntoDirectoryPicksFreeNames) {
    MakeDirectory(Path("Ziel"));
    for (const char* folder : {"a", "b", "c"}) {
        MakeDirectory(Path(folder));
        WriteFile(Path(std::string(folder) + "/x.url"), folder);
    }
    EXPECT_EQ(MoveIntoDirectory(Path("a/x.url"), Path("Ziel")), Path("Ziel/x.url"));
    EXPECT_EQ(MoveIntoDirectory(Path("b/x.url"), Path("Ziel/")), Path("Ziel/x (2).url"));
    EXPECT_EQ(MoveIntoDirectory(Path("c/x.url"), Path("Ziel")), Path("Ziel/x (3).url"));
    EXPECT_EQ(ReadFile(Path("Ziel/x.url")), "a");
    EXPECT_EQ(ReadFile(Path("Ziel/x (2).url")), "b");
    EXPECT_EQ(ReadFile(Path("Ziel/x (3).url")), "c");
    EXPECT_FALSE(Exists(Path("a/x.url")));
}

TEST_F(ShellTest, MoveIntoDirectoryMovesWholeDirectories) {
    MakeDirectory(Path("Ziel/Ordner.alt"));
    MakeDirectory(Path("Quelle/Ordner.alt/Unter"));
    WriteFile(Path("Quelle/Ordner.alt/Unter/y.url"), "y");
    EXPECT_EQ(MoveIntoDirectory(Path("Quelle/Ordner.alt/"), Path("Ziel")),
              Path("Ziel/Ordner.alt (2)"));
    EXPECT_EQ(ReadFile(Path("Ziel/Ordner.alt (2)/Unter/y.url")), "y");
    EXPECT_FALSE(Exists(Path("Quelle/Ordner.alt")));
}

TEST_F(ShellTest, MoveIntoItsOwnDirectoryLeavesThePathAlone) {
    MakeDirectory(Path("Ordner"));
    WriteFile(Path("Ordner/x.url"), "x");
    EXPECT_EQ(MoveIntoDirectory(Path("Ordner/x.url"), Path("Ordner")), Path("Ordner/x.url"));
    EXPECT_EQ(ReadFile(Path("Ordner/x.url")), "x");
    EXPECT_FALSE(Exists(Path("Ordner/x (2).url")));
}

TEST_F(ShellTest, DirectoryCannotMoveBelowItself) {
    MakeDirectory(Path("Ordner/Unter"));
    WriteFile(Path("Ordner/Unter/x.url"), "x");
    EXPECT_THROW(MoveIntoDirectory(Path("Ordner"), Path("Ordner/Unter")), EFileError);
    EXPECT_THROW(MoveIntoDirectory(Path("Ordner"), Path("Ordner/./Unter/..")), EFileError);
    EXPECT_EQ(ReadFile(Path("Ordner/Unter/x.url")), "x");
}

// What the user reads when a move fails: German from end to end, the path
// shown as names are shown even when it is no valid UTF-8.
TEST_F(ShellTest, FailedMovesSayWhyInGerman) {
    WriteFile(Path("x.url"), "x");
    WriteFile(Path("Datei"), "kein Verzeichnis");
    const std::string tooLong(300, 'n');
    const struct {
        std::function<void()> move;
        std::string message;
    } failures[] = {
        {[&] { MoveIntoDirectory(Path("x.url"), Path("Datei")); },
         "Zielverzeichnis \"" + Path("Datei") + "\" ist kein Verzeichnis"},
        {[&] { MoveIntoDirectory(Path("x.url"), Path("Fehlt")); },
         "In \"" + Path("Fehlt") +
             "\" kann nicht verschoben werden: Datei oder Verzeichnis nicht gefunden"},
        {[&] { MoveIntoDirectory(Path("Fehlt\xE4.url"), temporary_.path().toStdString()); },
         "\"" + Path("Fehlt\uFFFD.url") +
             "\" kann nicht verschoben werden: Datei oder Verzeichnis nicht gefunden"},
        {[&] { MovePathNoReplace(Path("x.url"), Path(tooLong)); },
         "\"" + Path("x.url") + "\" kann nicht in \"" + Path(tooLong) +
             "\" umbenannt werden: Der Name ist zu lang"},
        {[&] { MovePathNoReplace(Path("x.url"), Path("Datei")); },
         "\"" + Path("x.url") + "\" kann nicht in \"" + Path("Datei") +
             "\" umbenannt werden: Der Name ist bereits vergeben"},
    };
    for (const auto& failure : failures) {
        try {
            failure.move();
            ADD_FAILURE() << "no failure for: " << failure.message;
        } catch (const EFileError& error) {
            EXPECT_EQ(error.Message(), failure.message);
        }
    }
    EXPECT_EQ(ReadFile(Path("x.url")), "x");
}

// What the desktop is handed for a link's URL, as the shell reads one.
TEST_F(ShellTest, AddressToOpenReadsUrlsAsTheShellDoes) {
    WriteFile(Path("seite.html"), "<p>");
    WriteFile(Path("programm"), "#!/bin/sh");
    ASSERT_EQ(::chmod(Path("programm").c_str(), 0755), 0);
    WriteFile(Path("start.desktop"), "[Desktop Entry]");
    WriteFile(Path("na\xEFve.html"), "<p>");
    const std::string directory = temporary_.path().toStdString();
    const struct {
        std::string url;
        std::optional<std::string> opened;
    } cases[] = {
        {"http://example.com/", "http://example.com/"},
        {"https://example.com/a%20b?x=\xE4", "https://example.com/a%20b?x=\xE4"},
        {"mailto:a@example.com", "mailto:a@example.com"},
        {"file://" + Path("seite.html"), "file://" + Path("seite.html")},
        {"www.example.com", "http://www.example.com"},
        {"WWW.example.com:8080/x", "http://WWW.example.com:8080/x"},
        {Path("seite.html"), "file://" + Path("seite.html")},
        {Path("na\xEFve.html"), "file://" + directory + "/na%EFve.html"},
        {"", std::nullopt},
        {"example.com", std::nullopt},
        {"seite.html", std::nullopt},
        {"C:\\Favoriten\\seite.html", std::nullopt},
        {"file://" + Path("programm"), std::nullopt},
        {Path("programm"), std::nullopt},
        {"file://" + Path("start.desktop"), std::nullopt},
        {Path("start.desktop"), std::nullopt},
    };
    for (const auto& link : cases) {
        EXPECT_EQ(AddressToOpen(link.url), link.opened) << link.url;
    }
}

class CrossFileSystemShellTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        other_ = testing::OtherFileSystemDirectory(temporary_.path().toStdString());
        if (!other_) {
            GTEST_SKIP() << "no second file system for the temporary files";
        }
    }

    std::string Other(const std::string& relative) const {
        return other_->path().toStdString() + "/" + relative;
    }

    std::unique_ptr<QTemporaryDir> other_;
};

TEST_F(CrossFileSystemShellTest, CopiesTreesThenRemovesTheOriginal) {
    MakeDirectory(Other("Ordner/Unter"));
    WriteFile(Other("Ordner/Unter/y.url"), "y");
    WriteFile(Other("Ordner/z.url"), std::string(200000, 'z'));
    ASSERT_EQ(::chmod(Other("Ordner/z.url").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("Unter/y.url", Other("Ordner/Verweis").c_str()), 0);
    MakeDirectory(Path("Ziel/Ordner"));

    EXPECT_EQ(MoveIntoDirectory(Other("Ordner"), Path("Ziel")), Path("Ziel/Ordner (2)"));
    EXPECT_FALSE(Exists(Other("Ordner")));
    EXPECT_EQ(ReadFile(Path("Ziel/Ordner (2)/Unter/y.url")), "y");
    EXPECT_EQ(ReadFile(Path("Ziel/Ordner (2)/z.url")), std::string(200000, 'z'));
    struct stat status {};
    ASSERT_EQ(::stat(Path("Ziel/Ordner (2)/z.url").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    char target[64] = {};
    ASSERT_GT(::readlink(Path("Ziel/Ordner (2)/Verweis").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "Unter/y.url");
}

TEST_F(CrossFileSystemShellTest, NeverReplacesAcrossFileSystems) {
    WriteFile(Other("x.url"), "neu");
    WriteFile(Path("x.url"), "alt");
    EXPECT_EQ(TryMovePath(Other("x.url"), Path("x.url")), MoveOutcome::TargetExists);
    EXPECT_EQ(ReadFile(Path("x.url")), "alt");
    EXPECT_EQ(ReadFile(Other("x.url")), "neu");
    EXPECT_EQ(MoveIntoDirectory(Other("x.url"), temporary_.path().toStdString()),
              Path("x (2).url"));
    EXPECT_EQ(ReadFile(Path("x (2).url")), "neu");
}

TEST_F(CrossFileSystemShellTest, FailedCopyLeavesTheOriginalAndNoRemains) {
    MakeDirectory(Other("Ordner"));
    WriteFile(Other("Ordner/a.url"), "a");
    ASSERT_EQ(::mkfifo(Other("Ordner/Rohr").c_str(), 0600), 0);
    MakeDirectory(Path("Ziel"));

    EXPECT_THROW(MoveIntoDirectory(Other("Ordner"), Path("Ziel")), EFileError);
    EXPECT_EQ(ReadFile(Other("Ordner/a.url")), "a");
    EXPECT_TRUE(Exists(Other("Ordner/Rohr")));
    EXPECT_FALSE(Exists(Path("Ziel/Ordner")));
}

// Root may write to any file, so the copy of a read-only file is checked as
// an ordinary user.
TEST_F(CrossFileSystemShellTest, ReadOnlyFileCrossesFileSystems) {
    ASSERT_EQ(::chmod(other_->path().toStdString().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(temporary_.path().toStdString().c_str(), 0777), 0);
    const std::string source = Other("nur-lesen.url");
    const std::string target = temporary_.path().toStdString();
    const int result = testing::RunUnprivileged([&source, &target] {
        if (std::FILE* file = std::fopen(source.c_str(), "w")) {
            std::fputs("inhalt", file);
            std::fclose(file);
        }
        if (::chmod(source.c_str(), 0444) != 0) {
            return 2;
        }
        try {
            MoveIntoDirectory(source, target);
        } catch (const EFileError&) {
            return 1;
        }
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(Path("nur-lesen.url")), "inhalt");
    struct stat status {};
    ASSERT_EQ(::stat(Path("nur-lesen.url").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0444u);
    EXPECT_FALSE(Exists(source));
}

}  // namespace
}  // namespace vornakle
