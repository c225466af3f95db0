// The program's parts on the real Windows API as Wine gives it, where the
// whole program cannot show them: the copy's directory and the frame's
// formatter and error texts; and the benchmark of the registry rebuild. The
// removal rules are checked natively, everything else end to end.
#include "support.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>

#include "layouts/removal.h"
#include "layouts/snapshot.h"
#include "layouts/tables.h"
#include "layouts/writeback.h"
#include "uninstall/invocation.h"

namespace {

// The copy's directory is made here and now, for SYSTEM and the
// Administrators alone: a name already taken is never used, and when every
// try finds one taken, nothing is made.
TEST(Files, CopyDirectoryIsFreshAndProtected)
{
    ClearCopies();
    const std::string taken = TempDir() + "Uninstall_Quorvex.00000001", plain = TempDir() + "qvx-plain";
    CreateDirectoryA(taken.c_str(), nullptr);
    PutFile(taken + "\\planted.exe", "planted");
    static unsigned next;
    next = 1;
    char dir[260];
    ASSERT_TRUE(MakeCopyDirectory(TempDir().c_str(), dir, sizeof dir, [] { return next++; }));
    EXPECT_EQ(dir, TempDir() + "Uninstall_Quorvex.00000002");
    EXPECT_TRUE(OnlyForAdministrators(dir));
    CreateDirectoryA(plain.c_str(), nullptr);
    EXPECT_FALSE(OnlyForAdministrators(plain)) << "a plain directory lets others in";
    RemoveTree(plain);
    EXPECT_FALSE(MakeCopyDirectory(TempDir().c_str(), dir, sizeof dir, [] { return 1u; }));
    EXPECT_STREQ(dir, "");
    EXPECT_EQ(Content(taken + "\\planted.exe"), "planted");
    EXPECT_EQ(CopyDirs(), (std::vector<std::string>{taken, TempDir() + "Uninstall_Quorvex.00000002"}));
    ClearCopies();
}

using Layouts = std::vector<std::pair<std::string, std::string>>;  // subkey, "Layout File"
void Install(const Values& preload, const Values& substitutes, const Layouts& layouts)
{
    WriteValues(kUser, kPreloadPath, preload);
    WriteValues(kUser, kSubstitutesPath, substitutes);
    RemoveKey(kMachine, kLayoutsPath);
    for (const auto& [name, file] : layouts)
        PutValue(kMachine, LayoutPath(name), "Layout File", file);
    CopyText(gLayoutKey, sizeof gLayoutKey, kKey);
}

// Figures only, never judged: best of three, as the first runs warm the
// registry. Run by tools/bench.sh, not by the tests.
TEST(LayoutRegistry, DISABLED_Benchmark)
{
    double best[2] = {1e9, 1e9};
    for (unsigned n : {100u, 1000u}) {
        Values preload = {{"1", "00000407"}}, substitutes = {{"dfff0407", "00020407"}};
        Layouts layouts = {{kKey, "X"}};
        for (unsigned j = 1; j < n; ++j) {
            char id[16], layout[16];
            snprintf(id, sizeof id, "d%03x0407", j);
            snprintf(layout, sizeof layout, "A%03X0407", j);
            preload.push_back({std::to_string(j + 1), id});
            substitutes.push_back({id, j == 1 ? kKey : layout});
            layouts.push_back({layout, "X.DLL"});
        }
        for (int run = 0; run < 3; ++run) {
            Install(preload, substitutes, layouts);
            const auto from = std::chrono::steady_clock::now();
            EXPECT_TRUE(TakeLayoutSnapshot() && RemoveLayoutFromPreload() && WriteBackLayoutLists()) << gRegistryErrorText;
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - from;
            best[n > 100] = std::min(best[n > 100], took.count());
        }
        printf("[ BENCH    ] %4u entries: %8.1f ms (snapshot, removal, write-back)\n", n, best[n > 100]);
    }
    printf("[ BENCH    ] ratio 1000/100: %.1f\n", best[1] / best[0]);
    Install({{"1", "00000407"}}, {}, {});  // what a fresh German prefix holds
}

// FormatText into a buffer of exactly `size` bytes; "<overrun>" when it
// wrote behind it or left it without a terminator.
std::string Formatted(size_t size, const char* format, ...)
{
    std::vector<char> buffer(size + 2048, '\xA5');
    va_list args;
    va_start(args, format);
    FormatText(buffer.data(), size, format, args);
    va_end(args);
    bool intact = std::count(buffer.begin() + size, buffer.end(), '\xA5') == 2048;
    return intact && memchr(buffer.data(), 0, size) ? buffer.data() : "<overrun>";
}

TEST(Frame, FormatTextRulesInOrderAndNeverPastTheBuffer)
{
    const std::string a(2000, 'a');
    const struct { size_t size; const char *format, *arg; std::string want; } cases[] = {
        {5500, nullptr, "x", "<INTERNER FEHLER: Formatstring fehlt>"}, {5500, "", "x", "<INTERNER FEHLER: Formatstring leer>"},
        {5500, "\x7F\x7F" "100% %s %n", "x", "100% %s %n"}, {5500, "\x7F%s", "x", "\x7Fx"},
        {5500, "Nichts zu ersetzen", "x", "Nichts zu ersetzen"}, {5500, "%s", "", "%s"}, {5500, "[%s]", "", "[]"},
        {5500, "Lösche %s ...", "C:\\Windows\\system32\\Quorvex.DLL", "L\xF6sche C:\\Windows\\system32\\Quorvex.DLL ..."},
        {5500, "%s", a.c_str(), a.substr(0, 1023)},  // wvsprintfA's limit
        {5500, a.c_str(), "", a},                    // a literal keeps its length
        {501, "%s", a.c_str(), a.substr(0, 500)},     // the status line
        {260, "%s V3.11 - Tastaturtreiber-Deinstallation", a.c_str(), a.substr(0, 259)},  // the title
        {260, "\x7F\x7F" "%s", a.c_str(), "%s"}, {10, nullptr, "", "<INTERNER"}, {1, "Text", "", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(Formatted(c.size, c.format, c.arg), c.want) << c.size << " " << (c.format ? c.format : "null");
}

TEST(Frame, WindowsErrorTextFirstLineSystemTextAndAccessHint)
{
    char* system = nullptr;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_ACCESS_DENIED, 0x400, reinterpret_cast<char*>(&system), 0, nullptr);
    ASSERT_NE(system, nullptr) << "Wine has no text for code 5";
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(CaptureLastError(), "Windows-Errorcode 5:\n" + std::string(system) + " (übliche Ursache: Datei vorhanden, "
              "aber anderswo geöffnet, oder Zugriff durch System oder Sicherheitssoftware blockiert)");
    LocalFree(system);
    // Decimal from -65534 to 65535, otherwise eight hexadecimal digits; the hint only for code 5 itself.
    for (auto [code, number] : {std::pair{DWORD{65535}, "65535"}, {65536, "00010000"}, {-65534, "-65534"},
                                {-65535, "FFFF0001"}, {0x80070005u, "80070005"}}) {
        const std::string text = ErrorText(code);
        EXPECT_EQ(text.substr(0, text.find_first_of(":(")), "Windows-Errorcode " + std::string(number));
        EXPECT_EQ(text.find("übliche"), std::string::npos) << text;
    }
    // A system text with an insert keeps its marker instead of reading arguments nobody passed.
    EXPECT_NE(ErrorText(ERROR_BAD_EXE_FORMAT).find("%1"), std::string::npos);
}

} // namespace
