// File operations against real files, with their boxes answered in-process.
#include "support.h"

#include "files/files.h"
#include "frame/status_window.h"
#include "frame/text.h"

#include <cstring>
#include <functional>

namespace {

std::vector<RobotBox> Answered(const std::function<void()>& operation)
{
    StartAnsweringOwnBoxes({"ok"});
    operation();
    return StopAnsweringOwnBoxes();
}

void ExpectOneBox(const std::vector<RobotBox>& boxes, const std::string& text)
{
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kFileCaption);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].buttons, "ok");
}

std::string Content(const std::string& path)
{
    std::string text;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<unreadable>";
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        text.append(buffer, n);
    CloseHandle(h);
    return text;
}

const char kUntouched[] = "unberührt";

} // namespace

class Files : public ::testing::Test {
protected:
    std::string dir = TempDir() + "qvx-files";
    void SetUp() override
    {
        RemoveTree(dir);
        PutDirectory(dir);
        CopyText(gStatusLine, sizeof gStatusLine, kUntouched);
    }
    void TearDown() override { RemoveTree(dir); }
    std::string In(const char* name) const { return dir + "\\" + name; }
};

TEST_F(Files, ExistenceOfFilesDirectoriesAndPatterns)
{
    PutFile(In("file.txt"));
    PutDirectory(In("empty"));
    PutDirectory(In("full"));
    PutFile(In("full\\inside.txt"));
    struct {
        std::string path;
        bool exists;
    } cases[] = {
        {In("file.txt"), true},       {In("full"), true},
        {In("missing.txt"), false},   {"", false},
        {In("empty\\*"), false},      {In("full\\*"), true},
        {In("empty\\."), true},       {In("missing\\."), false},
        // A final full stop takes the first entry found, even "." itself.
        {In("empty\\*."), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileExists(c.path.c_str()), c.exists) << "\"" << c.path << "\"";
    EXPECT_STREQ(gStatusLine, kUntouched);
}

// Wine keeps the attributes of a replaced target, so the read-only source is
// copied to a new name to see what the copy itself carries.
TEST_F(Files, CopyReplacesTheTargetAndLeavesItWritable)
{
    std::string source = In("source.txt");
    PutFile(source, "new");
    PutFile(In("target.txt"), "old");
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    bool replaced = false, copied = false;
    std::vector<RobotBox> boxes = Answered([&] {
        replaced = CopyOneFile(source.c_str(), In("target.txt").c_str(), true, true);
        copied = CopyOneFile(source.c_str(), In("fresh.txt").c_str(), true, true);
    });
    EXPECT_TRUE(replaced);
    EXPECT_TRUE(copied);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(Content(In("target.txt")), "new");
    EXPECT_EQ(Content(In("fresh.txt")), "new");
    EXPECT_EQ(GetFileAttributesA(In("fresh.txt").c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_NE(GetFileAttributesA(source.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_STREQ(gStatusLine, kUntouched);
}

// A program that is running (here: started suspended, so it does nothing)
// keeps its file from being overwritten.
TEST_F(Files, CopyOntoARunningProgramShowsTheBox)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string running = In("running.exe"), source = In("source.txt");
    ASSERT_TRUE(CopyFileA(self, running.c_str(), FALSE));
    PutFile(source, "new");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(running.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                               nullptr, nullptr, &startup, &process));
    bool copied = true;
    std::vector<RobotBox> boxes =
        Answered([&] { copied = CopyOneFile(source.c_str(), running.c_str(), true, true); });
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_FALSE(copied);
    ExpectOneBox(boxes, "Kopieren einer Datei fehlgeschlagen.\n\nQuelle: " + source + "\nZiel: " +
                            running + "\n\n" + ExpectedErrorText(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Content(running), Content(self));
    EXPECT_STREQ(gStatusLine, kUntouched);
}

TEST_F(Files, DeletingAMissingFileIsSilentSuccess)
{
    bool deleted = false;
    std::vector<RobotBox> boxes = Answered([&] { deleted = DeleteOneFile(In("missing.txt").c_str(), true); });
    EXPECT_TRUE(deleted);
    EXPECT_TRUE(boxes.empty());
    EXPECT_STREQ(gStatusLine, kUntouched);
}

TEST_F(Files, DeletingAFileThatCannotGoShowsTheBoxAndKeepsIt)
{
    struct Case {
        const char* what;
        std::function<HANDLE(const std::string&)> arrange;  // returns a handle to close after
        DWORD error;
    } cases[] = {
        {"read-only",
         [](const std::string& p) {
             PutFile(p);
             SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_READONLY);
             return INVALID_HANDLE_VALUE;
         },
         ERROR_ACCESS_DENIED},
        {"held open without delete sharing",
         [](const std::string& p) {
             PutFile(p);
             return CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
         },
         ERROR_SHARING_VIOLATION},
        {"a directory",
         [](const std::string& p) {
             PutDirectory(p);
             return INVALID_HANDLE_VALUE;
         },
         ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = In("victim");
        HANDLE held = c.arrange(path);
        bool deleted = true;
        std::vector<RobotBox> boxes = Answered([&] { deleted = DeleteOneFile(path.c_str(), true); });
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_FALSE(deleted);
        ExpectOneBox(boxes, "Folgende Datei kann nicht gelöscht werden:\n" + path + "\n\n" + ExpectedErrorText(c.error));
        EXPECT_EQ(std::string(gStatusLine), "Lösche " + path + " ...");
        EXPECT_TRUE(FileThere(path));
        RemoveFile(path);
        RemoveDirectoryA(path.c_str());
    }
}

TEST_F(Files, RemovingADirectoryOnlyWhenEmpty)
{
    std::string full = In("full"), empty = In("empty");
    PutDirectory(full);
    PutFile(full + "\\inside.txt");
    PutDirectory(empty);
    bool removed = true;
    std::vector<RobotBox> boxes = Answered([&] { removed = RemoveOneDirectory(full.c_str()); });
    EXPECT_FALSE(removed);
    ExpectOneBox(boxes, "Folgendes Verzeichnis kann nicht gelöscht werden:\n" + full + "\n\n" +
                            ExpectedErrorText(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(std::string(gStatusLine), "Lösche Verzeichnis " + full + " ...");
    EXPECT_TRUE(FileThere(full + "\\inside.txt"));

    boxes = Answered([&] { removed = RemoveOneDirectory(empty.c_str()); });
    EXPECT_TRUE(removed);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(std::string(gStatusLine), "Lösche Verzeichnis " + empty + " ...");
    EXPECT_FALSE(FileThere(empty));
}

TEST(TrailingBackslash, AppendsOnlyWhatFitsAndNeverWritesPastTheBuffer)
{
    struct {
        const char* path;
        size_t size;  // of the buffer the function is told about
        bool fits;
        const char* result;
    } cases[] = {
        {"C:\\dir", 260, true, "C:\\dir\\"}, {"C:\\dir/", 260, true, "C:\\dir/"},
        {"C:\\dir\\", 260, true, "C:\\dir\\"}, {"", 260, true, "\\"},
        {"abc", 5, true, "abc\\"},           {"abc", 4, false, "abc"},
        {"ab\\", 4, true, "ab\\"},           {"", 1, false, ""},
    };
    for (const auto& c : cases) {
        char buffer[261];
        memset(buffer, '#', sizeof buffer);
        memcpy(buffer, c.path, strlen(c.path) + 1);
        EXPECT_EQ(AddTrailingBackslash(buffer, c.size), c.fits) << c.path << " in " << c.size;
        EXPECT_STREQ(buffer, c.result);
        EXPECT_EQ(buffer[c.size], '#') << "written past the buffer: " << c.path << " in " << c.size;
    }
}
