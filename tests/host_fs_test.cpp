#include "platform/host_fs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A temporary drive root in $KESTREL9_ROOT for each test; restores the variable and the current
// directory afterwards.
class HostFs : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/k9hostfsXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        const char* old = std::getenv("KESTREL9_ROOT");
        hadRoot = old != nullptr;
        if (hadRoot) oldRoot = old;
        setenv("KESTREL9_ROOT", root.c_str(), 1);
        oldCwd = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(oldCwd);
        if (hadRoot) {
            setenv("KESTREL9_ROOT", oldRoot.c_str(), 1);
        } else {
            unsetenv("KESTREL9_ROOT");
        }
        fs::remove_all(root);
    }

    void writeFile(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    // Whole content read through hostOpen; "<null>" when it cannot be opened.
    static std::string readThrough(const char* path) {
        std::FILE* file = hostOpen(path, "rb");
        if (file == nullptr) return "<null>";
        std::string text;
        char buffer[64];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
        std::fclose(file);
        return text;
    }

    // Sorted names in a host folder.
    static std::vector<std::string> listing(const fs::path& dir) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path root;
    fs::path oldCwd;
    bool hadRoot = false;
    std::string oldRoot;
};

TEST_F(HostFs, FindsExistingComponentsIgnoringCase) {
    writeFile(root / "My Recordings" / "Soundfile.WAV", "wave");
    const char* spellings[] = {
        "c:\\My Recordings\\Soundfile.WAV", "C:\\my recordings\\soundfile.wav",
        "c:/MY RECORDINGS/SOUNDFILE.wav",   "c:\\My Recordings/Soundfile.wav",
        "C:/my recordings\\\\soundFILE.Wav",
    };
    for (const char* path : spellings) {
        EXPECT_EQ(readThrough(path), "wave") << path;
        EXPECT_TRUE(hostFileExists(path)) << path;
        char mapped[4096];
        ASSERT_TRUE(hostMapPath(path, mapped, sizeof mapped)) << path;
        EXPECT_EQ(fs::path(mapped), root / "My Recordings" / "Soundfile.WAV") << path;
    }
}

TEST_F(HostFs, TwoSpellingsReachOneFolder) {
    fs::create_directories(root / "temp" / "calls");
    std::FILE* a = hostOpen("c:\\temp\\calls\\a.txt", "w");
    std::FILE* b = hostOpen("c:\\Temp\\Calls\\b.txt", "w");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::fclose(a);
    std::fclose(b);
    EXPECT_EQ(listing(root), std::vector<std::string>{"temp"});
    EXPECT_EQ(listing(root / "temp"), std::vector<std::string>{"calls"});
    EXPECT_EQ(listing(root / "temp" / "calls"), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(HostFs, CreatedFileKeepsItsWrittenCase) {
    fs::create_directories(root / "Temp" / "Calls");
    std::FILE* file = hostOpen("c:\\TEMP\\calls\\Swisk_000.00.04_00.Wav", "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("x", file);
    std::fclose(file);
    EXPECT_EQ(listing(root / "Temp" / "Calls"), std::vector<std::string>{"Swisk_000.00.04_00.Wav"});
    // Appending through another spelling reaches the same file instead of making a second one.
    file = hostOpen("c:\\temp\\calls\\swisk_000.00.04_00.wav", "a");
    ASSERT_NE(file, nullptr);
    std::fputs("y", file);
    std::fclose(file);
    EXPECT_EQ(listing(root / "Temp" / "Calls"), std::vector<std::string>{"Swisk_000.00.04_00.Wav"});
    EXPECT_EQ(readThrough("c:\\temp\\calls\\Swisk_000.00.04_00.Wav"), "xy");
}

TEST_F(HostFs, FoldersAreNeverCreated) {
    EXPECT_EQ(hostOpen("c:\\missing\\new.txt", "w"), nullptr);
    EXPECT_TRUE(listing(root).empty());
}

TEST_F(HostFs, ExactSpellingWinsAndVariantsResolveInByteOrder) {
    writeFile(root / "abc.txt", "lower");
    writeFile(root / "ABC.txt", "upper");
    writeFile(root / "Abc.txt", "mixed");
    writeFile(root / "data" / "f", "lower folder");
    writeFile(root / "Data" / "f", "mixed folder");
    const struct {
        const char* path;
        const char* content;
    } cases[] = {
        {"c:\\abc.txt", "lower"},
        {"c:\\ABC.txt", "upper"},
        {"c:\\Abc.txt", "mixed"},
        {"c:\\aBC.TXT", "upper"},  // no exact match: "ABC.txt" is first in byte order
        {"c:\\data\\f", "lower folder"},
        {"c:\\Data\\F", "mixed folder"},
        {"c:\\DATA\\f", "mixed folder"},
    };
    for (const auto& c : cases) EXPECT_EQ(readThrough(c.path), c.content) << c.path;
}

TEST_F(HostFs, PathWithoutDriveIsRelativeToTheCurrentDirectory) {
    writeFile(root / "work" / "Sub" / "x.txt", "here");
    fs::current_path(root / "work");
    EXPECT_EQ(readThrough("sub\\X.TXT"), "here");
    EXPECT_EQ(readThrough("./SUB/x.txt"), "here");
    EXPECT_TRUE(hostFileExists("Sub/x.txt"));
    EXPECT_EQ(readThrough("work\\sub\\x.txt"), "<null>");
}

TEST_F(HostFs, DriveRootFallsBackToTheCurrentDirectory) {
    writeFile(root / "here" / "stop.txt", "cwd");
    writeFile(root / "stop.txt", "root");
    fs::current_path(root / "here");
    EXPECT_EQ(readThrough("c:\\stop.txt"), "root");
    EXPECT_EQ(readThrough("\\stop.txt"), "root");  // rooted on the current drive, C:
    unsetenv("KESTREL9_ROOT");
    EXPECT_EQ(readThrough("c:\\stop.txt"), "cwd");
    setenv("KESTREL9_ROOT", "", 1);
    EXPECT_EQ(readThrough("C:/STOP.TXT"), "cwd");
}

TEST_F(HostFs, OtherDrivesAndDriveRelativePathsDoNotExist) {
    writeFile(root / "stop.txt", "root");
    writeFile(root / "d" / "stop.txt", "folder d");
    fs::current_path(root);
    const char* paths[] = {"d:\\stop.txt", "D:/stop.txt", "c:stop.txt", "C:", "z:\\d\\stop.txt"};
    for (const char* path : paths) {
        char mapped[4096];
        EXPECT_FALSE(hostMapPath(path, mapped, sizeof mapped)) << path;
        EXPECT_EQ(hostOpen(path, "rb"), nullptr) << path;
        EXPECT_EQ(hostOpen(path, "w"), nullptr) << path;
        EXPECT_FALSE(hostFileExists(path)) << path;
        EXPECT_NE(hostRemove(path), 0) << path;
    }
    EXPECT_EQ(listing(root), (std::vector<std::string>{"d", "stop.txt"}));
}

TEST_F(HostFs, FoldersAreRefusedByOpenExistsAndRemove) {
    fs::create_directories(root / "Temp" / "Calls");
    for (const char* mode : {"r", "rb", "r+", "w", "wb", "a", "ab"}) {
        EXPECT_EQ(hostOpen("c:\\temp\\calls", mode), nullptr) << mode;
        EXPECT_EQ(hostOpen("c:\\temp\\calls\\", mode), nullptr) << mode;
        EXPECT_EQ(hostOpen("c:\\", mode), nullptr) << mode;
    }
    EXPECT_FALSE(hostFileExists("c:\\temp\\calls"));
    EXPECT_FALSE(hostFileExists("c:\\"));
    EXPECT_NE(hostRemove("c:\\temp\\calls"), 0);
    EXPECT_TRUE(fs::is_directory(root / "Temp" / "Calls"));
}

TEST_F(HostFs, ExistsOnlyForReadableRegularFiles) {
    writeFile(root / "plain.txt", "x");
    writeFile(root / "locked.txt", "x");
    fs::permissions(root / "locked.txt", fs::perms::none);
    EXPECT_TRUE(hostFileExists("c:\\PLAIN.txt"));
    EXPECT_FALSE(hostFileExists("c:\\missing.txt"));
    EXPECT_FALSE(hostFileExists("c:\\plain.txt\\inner"));
    if (geteuid() != 0) {
        EXPECT_FALSE(hostFileExists("c:\\locked.txt"));
    }
}

TEST_F(HostFs, RemoveDeletesTheFileFoundIgnoringCase) {
    writeFile(root / "Temp" / "Stop.TXT", "x");
    EXPECT_EQ(hostRemove("c:\\temp\\stop.txt"), 0);
    EXPECT_FALSE(fs::exists(root / "Temp" / "Stop.TXT"));
    EXPECT_NE(hostRemove("c:\\temp\\stop.txt"), 0);
}

TEST_F(HostFs, OverlongPathsFailCleanly) {
    const std::string longName(5000, 'a');
    const std::string path = "c:\\" + longName;
    char mapped[4096];
    EXPECT_FALSE(hostMapPath(path.c_str(), mapped, sizeof mapped));
    EXPECT_EQ(hostOpen(path.c_str(), "w"), nullptr);
    EXPECT_FALSE(hostFileExists(path.c_str()));
    // A path that fits a large buffer but not a small one.
    char small[8];
    EXPECT_FALSE(hostMapPath("c:\\temp\\calls", small, sizeof small));
    EXPECT_TRUE(listing(root).empty());
}

}  // namespace
