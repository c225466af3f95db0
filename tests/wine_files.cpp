// File operations against real files, with their boxes answered in-process.
#include "support.h"

#include "files/files.h"

TEST(Files, DeletingAFileHeldOpenShowsTheBoxAndKeepsTheFile)
{
    std::string path = TempDir() + "held.txt";
    PutFile(path);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    StartAnsweringOwnBoxes({"ok"});
    EXPECT_FALSE(DeleteOneFile(path.c_str(), true));
    std::vector<RobotBox> boxes = StopAnsweringOwnBoxes();
    CloseHandle(h);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kFileCaption);
    EXPECT_EQ(boxes[0].text.substr(0, 44 + path.size()),
              "Folgende Datei kann nicht gelöscht werden:\n" + path + "\n")
        << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("Windows-Errorcode 32"), std::string::npos) << boxes[0].text;
    EXPECT_TRUE(FileThere(path));
    RemoveFile(path);
}
