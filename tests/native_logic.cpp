// The Windows-free rules, natively under AddressSanitizer and UBSan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "frame/cmdline.h"
#include "frame/text.h"
#include "layouts/removal.h"
#include "layouts/tables.h"
#include "uninstall/arguments.h"
#include "uninstall/user_path.h"

namespace {

using Words = std::vector<std::wstring>;
Words Split(const std::wstring& line)
{
    static WideWord words[31];
    Words out;
    for (int i = 0, n = SplitCommandLine(line.c_str(), words, 31); i < n; ++i)
        out.push_back(words[i].overlong ? L"<overlong>" : words[i].text);
    return out;
}

std::string Left(bool fit, const char* buffer) { return (fit ? "fit:" : "cut:") + std::string(buffer); }

TEST(Frame, SplittingIntoThirtyWordsAtMostBaseNamesBoundedTextCaseAndBoxText)
{
    std::wstring many = L"prog";
    for (int i = 1; i <= 35; ++i) many += L" w" + std::to_wstring(i);
    Words thirty = Split(many);
    thirty.resize(31);
    const std::pair<std::wstring, Words> cases[] = {
        {L"\"C:\\Program Files\\Morvain\\Uninstall_Quorvex.exe\" 0001A407",
         {L"C:\\Program Files\\Morvain\\Uninstall_Quorvex.exe", L"0001A407"}},
        {L"p  a b  ", {L"p", L"a", L"b"}},  {L"p a\tb", {L"p", L"a\tb"}},  {L"p ab\"c", {L"p", L"ab\"c"}},
        {L"p \"a b\"c", {L"p", L"a b", L"c"}}, {L"p \"\" x", {L"p", L"", L"x"}}, {L" p a", {L"", L"p", L"a"}},
        {L"p \"open", {L"p", L"open"}},    {L"p a\\\"b", {L"p", L"a\\\"b"}},
        {L"p " + std::wstring(259, L'y'), {L"p", std::wstring(259, L'y')}},
        {L"p " + std::wstring(260, L'y'), {L"p", L"<overlong>"}},
        {L"p " + std::wstring(300, L'x') + L" next", {L"p", L"<overlong>", L"next"}}, {many, thirty}};
    for (const auto& [line, words] : cases) EXPECT_EQ(Split(line), words);
    EXPECT_EQ(thirty.back(), L"w30");
    for (auto [file, name] : {std::pair{"C:\\x\\Uninstall_Quorvex.exe", "Uninstall_Quorvex"}, {"C:\\x\\a.b.exe", "a.b"},
                              {"C:\\x\\.profile", ".profile"}, {"C:\\x\\name", "name"}, {"C:name.", "name"},
                              {"", ""}}) {
        char base[260]; BaseNameOf(file, base, sizeof base);
        EXPECT_STREQ(base, name) << file;
    }
    char small[5] = "", path[8] = "ab", out[12], box[64], tiny[4];
    EXPECT_EQ(Left(CopyText(small, sizeof small, "abcdefgh"), small), "cut:abcd");
    EXPECT_EQ(Left(AppendText(small, sizeof small, "x"), small), "cut:abcd");
    EXPECT_EQ(Left(AppendText(path, sizeof path, "cdefg"), path), "fit:abcdefg");
    // Arguments never act as formats.
    EXPECT_EQ(Left(ComposeText(out, sizeof out, "A%sB%sC", "xxxx", "%s%n"), out), "fit:AxxxxB%s%nC");
    EXPECT_EQ(Left(ComposeText(out, 8, "A%sB%sC", "xxxx", "%s%n"), out), "cut:AxxxxB%");
    EXPECT_EQ(Left(ComposeText(out, sizeof out, "%s-%s", "a", nullptr), out), "fit:a-");
    EXPECT_TRUE(EqualNoCase("0c07abcD", "0C07ABCd") && !EqualNoCase("ä", "Ä") && !EqualNoCase("ab", "abc"))
        << "ASCII letters alone fold, and only texts of one length match";
    PrepareBoxText(box, sizeof box, "a\tb\nc\rd\x01ö");
    EXPECT_STREQ(box, "a\r\nb\nc\rd\r\nö");
    PrepareBoxText(tiny, sizeof tiny, "ab\tc");
    EXPECT_STREQ(tiny, "ab");
    // A backslash is added only where it and the terminator fit.
    for (auto [text, size, fits, result] : {std::tuple{"C:\\dir", 260, true, "C:\\dir\\"},
                                            {"C:\\dir/", 260, true, "C:\\dir/"}, {"", 260, true, "\\"},
                                            {"abc", 5, true, "abc\\"}, {"abc", 4, false, "abc"},
                                            {"ab\\", 4, true, "ab\\"}, {"", 1, false, ""}}) {
        char buffer[261]; memset(buffer, '#', sizeof buffer);
        memcpy(buffer, text, strlen(text) + 1);
        EXPECT_EQ(AddTrailingBackslash(buffer, size), fits) << text << " in " << size;
        EXPECT_STREQ(buffer, result);
        EXPECT_EQ(buffer[size], '#') << "written past the buffer";
    }
}

// The Preload table filled from "name=data" or "name=data>substitute" items, the layout
// removed: the new Preload list in write order and the new Substitutes, or the refusal.
std::string Remove(const std::string& entries, const char* key = "E0010407", int32_t keyIndex = 0)
{
    ClearLayoutTables();
    std::istringstream in(entries);
    for (std::string item; in >> item;) {
        PreloadEntry& e = gSnapshot.preload[gSnapshot.preloadCount++];
        const size_t eq = item.find('='), gt = item.find('>');
        e.name = KeepText(item.substr(0, eq).c_str(), 300);
        e.data = KeepText(item.substr(eq + 1, gt - eq - 1).c_str(), 300);
        e.substitute = gt == std::string::npos ? nullptr : KeepText(item.substr(gt + 1).c_str(), 300);
        e.number = ReadOrderNumber(e.name);
        e.canonical = IsCanonicalName(e.number, e.name);
    }
    CopyText(gLayoutKey, sizeof gLayoutKey, key); gLayoutKeyIndex = keyIndex;
    if (!RemoveLayoutFromPreload()) return gRegistryErrorText;
    std::string out = gLayoutNotInPreload ? "not in Preload " : "";
    for (unsigned i = 0; i < gRebuilt.preloadCount; ++i)
        out += std::string(gRebuilt.preload[i].name) + "=" + gRebuilt.preload[i].data + " ";
    out += "|";
    for (unsigned i = 0; i < gRebuilt.substituteCount; ++i)
        out += std::string(" ") + gRebuilt.substitutes[i].name + "=" + gRebuilt.substitutes[i].data;
    return out;
}

TEST(Removal, OrderNumbersWorkedExamplesOddNamesDuplicatesAndRefusals)
{
    const struct { const char* name; int32_t number; bool canonical; } numbers[] = {
        {"1", 1, true}, {"01", 1, false}, {" 2", 2, false}, {"+3", 3, false}, {"-1", -1, true}, {"-0", 0, false},
        {"1a2", 12, false}, {"", 0, false}, {"x", 0, false}, {"2002", 2002, true}, {"0", 0, true},
        {"99999999999", 1215752191, false}, {"4294967297", 1, false}, {"2147483648", INT32_MIN, false},
        {"-2147483648", INT32_MIN, true}};
    // A layout's mark: exactly four hex digits, not all zero.
    for (auto [id, mark] : {std::pair{"00c0", 0xF0C0}, {"0FfF", 0xFFFF}, {"0000", 0}, {"00c", 0}, {"00c00", 0},
                            {"0g00", 0}, {" 0c0", 0}})
        EXPECT_EQ(LayoutMark(id), mark) << id;
    for (auto& c : numbers)
        EXPECT_EQ(std::make_pair(ReadOrderNumber(c.name), IsCanonicalName(c.number, c.name)),
                  std::make_pair(c.number, c.canonical)) << c.name;
    const std::pair<const char*, const char*> cases[] = {
        {"1=d0010407>E0010407 2=00000409 3=d0020407>00010407", "1=00000409 2=d0010407 | d0010407=00010407"},
        // Every entry substituted: the one before the removed takes over its standard key.
        {"1=d0010407>00010407 2=d0020407>00020407 3=00000407>E0010407",
         "1=d0010407 2=00000407 | d0010407=00010407 00000407=00020407"},
        {"1=E0010407 2=00000407", "not in Preload |"},  // its data is not a substitute
        // Gaps close, fresh identifiers per language, the key matched ignoring case.
        {"1=00000407 4=d0050407>00010407 7=d0010407>e0010407 12=d0070807>00010807 30=00000409",
         "1=00000407 4=00000409 2=d0010407 3=d0010807 | d0010407=00010407 d0010807=00010807"},
        // Odd names go behind the canonical ones in table order, unless they lead to a standard layout.
        {"+4=a0000407 2=d0010407>E0010407 3=00000407 01=a000040c", "1=00000407 2=a0000407 3=a000040c |"},
        {"01=d0030407>00000409 2=d0010407>E0010407 3=00000407 4=a0000407",
         "2=00000407 3=a0000407 1=d0010407 | d0010407=00000409"},
        // Beyond 2001 or below 0 dropped, unless standard and the removed entry was first.
        {"1=00000407 2002=a0000409 -1=b0000409 2001=c0000409 3=d0010407>E0010407", "1=00000407 2=c0000409 |"},
        {"1=d0010407>E0010407 2002=00000409 -1=00000407", "1=00000409 2=00000407 |"},
        // Entries without substitute first, then the others; names are the new positions.
        {"1=d0010407>00010407 2=00000407 3=d0020407>E0010407", "2=00000407 1=d0010407 | d0010407=00010407"},
        // Substituted by the key twice: the later goes, the earlier maps to it under a fresh identifier.
        {"1=00000407 2=d0010407>E0010407 3=a0000409 4=d0020407>E0010407",
         "1=00000407 3=a0000409 2=d0010407 | d0010407=E0010407"}};
    for (const auto& [entries, want] : cases) EXPECT_EQ(Remove(entries), want);
    EXPECT_EQ(Remove("1=00000407 2=d0010407>E0010407", "E0010407", -1), "Schlüssel nicht vorhanden");
    EXPECT_EQ(Remove("1=00000407 2=d0010407>00000407", "00000407"), "Standard-Layout kann nicht entfernt werden");
    // What the user is left with must offer a layout other than the removed one.
    for (auto [entries, leaves] : {std::pair{"1=00000407 2=d0010407>E0010407", true},
                                   {"1=00000407>E0010407 2=E0010407", false},              // left: the key itself
                                   {"1=00000407>E0010407 2002=d0020407>00010407", false},  // left: nothing
                                   {"1=d0010407>E0010407 2=d0020407>e0010407", false},     // both stand for it
                                   {"1=E0010407 2=E0010407", false},                       // untouched, nothing else
                                   {"1=E0010407 2=d0020407>00010407", true}, {"", true}}) {  // empty: Windows' default
        Remove(entries);
        EXPECT_EQ(LeavesAnotherLayout(), leaves) << entries;
    }
}

TEST(Removal, IdentifiersSkipUsedNamesAndStayDistinctPerLanguageOverAThousandEntries)
{
    std::string entries;
    for (int i = 0; i < 1000; ++i)
        entries += std::to_string(i + 1) + (i % 2 ? "=d0000807>" : "=d0000407>") +
                   (i == 500 ? std::string("E0010407") : "a" + std::to_string(1000000 + i)) + " ";
    Remove(entries);
    ASSERT_EQ(gRebuilt.preloadCount, 999u);
    ASSERT_EQ(gRebuilt.substituteCount, 999u);
    EXPECT_STREQ(gRebuilt.substitutes[998].name, "d1f40807");  // the 500th of its language
    std::set<std::string> names;
    for (unsigned i = 0; i < gRebuilt.substituteCount; ++i) names.insert(gRebuilt.substitutes[i].name);
    EXPECT_EQ(names.size(), 999u);
    char n1[] = "d0010407", n2[] = "D0020407", n3[] = "d0030807";
    SubstitutePair used[] = {{n1, n1}, {n2, n2}, {nullptr, nullptr}, {n3, n3}};
    EXPECT_STREQ(NewPreloadIdentifier("0407", used, 4), "d0030407");  // one static result
    EXPECT_STREQ(NewPreloadIdentifier("0807", used, 4), "d0010807");
    EXPECT_STREQ(NewPreloadIdentifier("0407", used, 0), "d0010407");
    EXPECT_EQ(std::string(LanguagePart("d00a0c07")) + LanguagePart("short") + LanguagePart(nullptr), "0c0704070407");
    EXPECT_TRUE(IsStandardLayoutKey("00000409") && !IsStandardLayoutKey("00001407") &&
                !IsStandardLayoutKey("000004070") && !IsStandardLayoutKey(nullptr));
}

// Verdict and gForce on a line split and converted as the program does.
std::pair<ArgumentVerdict, bool> Judge(const std::wstring& line)
{
    const Words words = Split(line);
    memset(gArguments, 0, sizeof gArguments);
    gArgumentCount = static_cast<int>(words.size()) - 1;
    for (int i = 1; i <= gArgumentCount; ++i)
        FromUtf16(words[i].c_str(), kWideWordSize, gArguments[i], kArgumentSize);
    return {ValidateArguments(), gForce};  // braces evaluate left to right
}

TEST(Invocation, TheKeyThenForceQuietAndLogInAnyOrderEachOnceAndOnlyTheCopyIsTheCopy)
{
    const struct { const wchar_t* line; ArgumentVerdict verdict; bool force; } cases[] = {
        {L"p ABCD0407", kArgumentsAccepted, false}, {L"p", kArgumentsMissing, false},
        {L"p 00010407 /FORCE", kArgumentsMissing, false}, {L"p /force 00010407", kArgumentsMissing, false},
        {L"p 00010407 /force x", kArgumentsMissing, false}, {L"p 00010407 /force /force", kArgumentsMissing, false},
        {L"p 0001040", kKeyLength, false}, {L"p 000104070 /force", kKeyLength, true}, {L"p \"\"", kKeyLength, false},
        {L"p 00000407", kKeyStandard, false}, {L"p 0001a407", kKeyNotGerman, false},
        {L"p 00010409", kKeyNotGerman, false}, {L"p E0010407 /quiet /force", kArgumentsAccepted, true},
        {L"p 00010407 /quiet /quiet", kArgumentsMissing, false}, {L"p 00010407 /QUIET", kArgumentsMissing, false},
        {L"p 00010407 /log=", kArgumentsMissing, false}, {L"p 00010407 /log=a /log=b", kArgumentsMissing, false},
        {L"p 00010407 /log=a\"b", kArgumentsMissing, false},
        {L"p 00010407 \"/log=C:\\Pfad mit Blanks\\x.log\" /quiet", kArgumentsAccepted, false},
        {L"p Ä0010407", kArgumentsAccepted, false}, {L"p \u0414\u0414\u04140407", kKeyLength, false},
        {L"p 00000\u00e4\u00f6\u00fc", kKeyNotGerman, false},  // eight characters, not eight bytes
        {L"p 00010407 /log=C:\\x.log /force", kKeyStandard, true}};  // Windows' own: only without /force
    for (const auto& c : cases)
        EXPECT_EQ(Judge(c.line), std::make_pair(c.verdict, c.force)) << &c - cases;
    EXPECT_STREQ(gLayoutKey, "00010407");  // from the last line
    EXPECT_STREQ(gLogPath, "C:\\x.log");
    EXPECT_FALSE(gQuiet);
    Judge(L"p /quiet 00010407");  // refused, and yet quietly
    EXPECT_TRUE(gQuiet);
    // The copy: a file directly inside "Uninstall_Quorvex." and 8 hex digits directly inside TEMP.
    const std::pair<const char*, bool> copies[] = {
        {"C:\\Temp\\Uninstall_Quorvex.0a1B2c3D\\Uninstall_Quorvex.exe", true},
        {"c:\\temp\\UNINSTALL_QUORVEX.0A1B2C3D\\x.exe", true}, {"C:\\Temp\\Uninstall_Quorvex.exe", false},
        {"C:\\Temp\\Uninstall_Quorvex.0a1b2c3\\x.exe", false}, {"C:\\Temp\\Uninstall_Quorvex.0a1b2c3g\\x.exe", false},
        {"C:\\Temp\\Uninstall_Quorvex.0a1b2c3d0\\x.exe", false}, {"C:\\Temp\\Uninstall_Quorvex.0a1b2c3d\\", false},
        {"C:\\Temp\\Uninstall_Quorvex.0a1b2c3d\\Tief\\x.exe", false},
        {"C:\\Temp\\sub\\Uninstall_Quorvex.0a1b2c3d\\x.exe", false},
        {"C:\\Other\\Uninstall_Quorvex.0a1b2c3d\\x.exe", false}};
    for (auto [path, copy] : copies) EXPECT_EQ(IsCopyPath(path, "C:\\Temp\\"), copy) << path;
    EXPECT_FALSE(IsCopyPath("Uninstall_Quorvex.0a1b2c3d\\x.exe", ""));
}

// UTF-16 units, as Windows hands them over, from a list of code units.
std::wstring Units(std::initializer_list<unsigned> units) { return std::wstring(units.begin(), units.end()); }
std::string Utf8Of(const std::wstring& units, size_t size = kPathSize)
{
    std::vector<char> out(size, '#');
    const bool whole = FromUtf16(units.c_str(), units.size(), out.data(), size);
    return whole ? out.data() : "<refused:" + std::string(out.data()) + ">";
}

// A text cut by a bounded rule still is whole characters of the source: a prefix that converts.
::testing::AssertionResult WholePrefix(const std::string& cut, const std::string& source)
{
    std::vector<wchar_t> wide(cut.size() + 1);
    if (source.compare(0, cut.size(), cut) == 0 && ToUtf16(cut.c_str(), wide.data(), wide.size()))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "'" << cut << "' cut from '" << source << "'";
}

TEST(Frame, NamesOutsideTheCodePageConvertWholeOrNotAtAllAndAreNeverCutInsideACharacter)
{
    // The longest paths Windows accepts, 259 units, in 3-byte letters and in surrogate pairs, fit both ways.
    const std::wstring euro(259, L'\u20ac'), pairs = [] {
        std::wstring s = L"C:";
        while (s.size() < 259)
            s += Units({0xD83D, 0xDE00});
        return s.substr(0, 258) + L"x";
    }();
    for (const std::wstring& path : {euro, pairs}) {
        const std::string utf8 = Utf8Of(path);
        std::vector<wchar_t> back(260);
        ASSERT_TRUE(ToUtf16(utf8.c_str(), back.data(), back.size())) << utf8.size();
        EXPECT_EQ(std::wstring(back.data()), path);
        EXPECT_FALSE(ToUtf16((utf8 + "y").c_str(), back.data(), back.size())) << "260 units do not fit 260";
        EXPECT_EQ(back[0], L'\0');
    }
    EXPECT_EQ(Utf8Of(euro).size(), 777u);
    // Unpaired surrogates, and texts too long for the buffer, are refused whole.
    for (const std::wstring& bad : {Units({'a', 0xD800, 'b'}), Units({0xDC00}), Units({'a', 0xD83D})})
        EXPECT_EQ(Utf8Of(bad), "<refused:>");
    EXPECT_EQ(Utf8Of(Units({0x41F, 0x440}), 4), "<refused:>");
    EXPECT_EQ(Utf8Of(Units({0x41F, 0x440}), 5), "Пр");
    EXPECT_EQ(Utf8Of(Units({'a', 0xD83D, 0xDE00, 'b'}), 2), "<refused:>");
    wchar_t wide[8];
    for (const char* bad : {"\xC0\xAF", "a\x80", "\xE2\x82", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF0\x82\x82\xAC"})
        EXPECT_FALSE(ToUtf16(bad, wide, 8)) << bad;
    ASSERT_TRUE(ToUtf16("Ayşe😀", wide, 8));
    EXPECT_EQ(std::wstring(wide), Units({'A', 'y', 0x15F, 'e', 0xD83D, 0xDE00}));
    EXPECT_EQ(CharacterCount("Łukasz😀"), 7u);
    EXPECT_STREQ(SkipCharacters("Дмитрий", 4), "рий");
    EXPECT_STREQ(SkipCharacters("ab", 4), "");
    // Every bounded rule cuts before the character the end would split.
    const std::string name = "C:\\users\\Дмитрий\\Łukasz😀ş", format = "Lösche %s ...";
    for (size_t size = 1; size <= 40; ++size) {
        std::vector<char> out(size);
        CopyText(out.data(), size, name.c_str());
        EXPECT_TRUE(WholePrefix(out.data(), name)) << size;
        ComposeText(out.data(), size, format.c_str(), name.c_str());
        EXPECT_TRUE(WholePrefix(out.data(), "Lösche " + name + " ...")) << size;
        PrepareBoxText(out.data(), size, name.c_str());
        EXPECT_TRUE(WholePrefix(out.data(), name)) << size;
    }
}

// FormatText into exactly `size` bytes; "<overrun>" when it wrote behind them or left no terminator.
std::string Formatted(size_t size, const char* format, ...)
{
    std::vector<char> buffer(size + 2048, '\xA5');
    va_list args; va_start(args, format);
    FormatText(buffer.data(), size, format, args); va_end(args);
    bool intact = std::count(buffer.begin() + static_cast<long>(size), buffer.end(), '\xA5') == 2048;
    return intact && memchr(buffer.data(), 0, size) ? buffer.data() : "<overrun>";
}
template <typename... Args>
std::string Format(const char* format, Args... args) { return Formatted(64, format, args...); }

TEST(Frame, TheFormatterWritesPrintfsNumbersAndTextsAndShowsWhatItDoesNotKnow)
{
    const std::string a(2000, 'a');
    const struct { size_t size; const char *format, *arg; std::string want; } cases[] = {
        {5500, nullptr, "x", "<INTERNER FEHLER: Formatstring fehlt>"},
        {5500, "", "x", "<INTERNER FEHLER: Formatstring leer>"},
        {5500, "\x7F\x7F" "100% %s %n", "x", "100% %s %n"}, {5500, "\x7F%s", "x", "\x7Fx"},
        {5500, "Nichts zu ersetzen", "x", "Nichts zu ersetzen"}, {5500, "%s", "", "%s"}, {5500, "[%s]", "", "[]"},
        {5500, "%s", a.c_str(), a}, {5500, a.c_str(), "", a},
        {501, "%s", a.c_str(), a.substr(0, 500)},     // the status line
        {260, "%s V3.11 - Tastaturtreiber-Deinstallation", a.c_str(), a.substr(0, 259)},  // the title
        {260, "\x7F\x7F" "%s", a.c_str(), "%s"}, {10, nullptr, "", "<INTERNER"}, {1, "Text", "", ""},
        {9, "%s ...", "Ольга", "Ольг"}};  // never half a letter
    for (const auto& c : cases)
        EXPECT_EQ(Formatted(c.size, c.format, c.arg), c.want) << c.size << " " << (c.format ? c.format : "null");
    EXPECT_EQ(Format("%04u-%02u-%02uT%02u", 2026u, 12u, 8u, 7u), "2026-12-08T07");
    EXPECT_EQ(Format("Windows-Errorcode %d", -65534), "Windows-Errorcode -65534");
    EXPECT_EQ(Format("Windows-Errorcode %08lX", 0x10000ul), "Windows-Errorcode 00010000");
    EXPECT_EQ(Format("%s von %s", "Lösche", "Ольга"), "Lösche von Ольга");
    EXPECT_EQ(Format("100%% %n %"), "100% %n %");
    EXPECT_EQ(Format("%d %u", -2147483647 - 1, 4294967295u), "-2147483648 4294967295");
}

// A desktop named in a user's own hive: a local folder on a drive, with their own profile's and the machine's
// variables only; anything else is not used.
TEST(OtherUsers, ADesktopFromAHiveIsALocalFolderWithTheirOwnVariablesOnly)
{
    const std::pair<const char*, const char*> cases[] = {
        {"%USERPROFILE%\\Schreibtisch", "C:\\users\\Ольга\\Schreibtisch"},
        {"%userprofile%\\Desktop", "C:\\users\\Ольга\\Desktop"}, {"D:\\Daten\\Desktop", "D:\\Daten\\Desktop"},
        {"%SystemDrive%\\Users\\x", "C:\\Users\\x"}, {"%SystemRoot%\\x", "C:\\windows\\x"},
        {"C:\\a\\.\\b...c", "C:\\a\\.\\b...c"}, {"\\\\.\\pipe\\qvx", nullptr}, {"\\\\host\\share\\Desktop", nullptr},
        {"\\\\?\\C:\\x", nullptr}, {"%USERNAME%\\Desktop", nullptr}, {"C:\\users\\%USERNAME%", nullptr},
        {"C:\\100%\\x", nullptr}, {"C:\\users\\x\\..\\root", nullptr}, {"C:/users/x/../root", nullptr},
        {"C:\\users\\x\\... \\root", nullptr}, {"C:\\x\\..", nullptr}, {"Desktop", nullptr}, {"C:Desktop", nullptr},
        {"\\Desktop", nullptr}, {"C:\\x:stream", nullptr}, {"", nullptr}};
    for (const auto& [raw, want] : cases) {
        char path[kPathSize] = "#";
        EXPECT_STREQ(ExpandUserPath(raw, "C:\\users\\Ольга", "C:\\windows", path, sizeof path) ? path : "<not used>",
                     want ? want : "<not used>") << raw;
    }
    char small[12];
    EXPECT_FALSE(ExpandUserPath("%USERPROFILE%\\Desktop", "C:\\users\\Ольга", "C:\\windows", small, sizeof small));
}

} // namespace
