// The Windows-free rules, natively under AddressSanitizer and UBSan.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "frame/environment.h"
#include "frame/text.h"
#include "layouts/removal.h"
#include "layouts/tables.h"
#include "uninstall/invocation.h"

// Stands in for what the Windows side of the program defines.
int gArgumentCount;
char gArguments[kMaxArguments + 1][kArgumentSize];

namespace {

std::vector<std::wstring> Split(const wchar_t* line)
{
    static WideWord words[31];
    int n = SplitCommandLine(line, words, 31);
    std::vector<std::wstring> out;
    for (int i = 0; i < n; ++i)
        out.push_back(words[i].overlong ? L"<overlong>" : words[i].text);
    return out;
}

TEST(CommandLine, SplitsOnBlanksAndLeadingQuotesOnly)
{
    using W = std::vector<std::wstring>;
    EXPECT_EQ(Split(L"\"C:\\Program Files\\Morvain\\Uninstall_Quorvex.exe\" 0001A407"),
              (W{L"C:\\Program Files\\Morvain\\Uninstall_Quorvex.exe", L"0001A407"}));
    EXPECT_EQ(Split(L"p  a b  "), (W{L"p", L"a", L"b"}));
    EXPECT_EQ(Split(L"p a\tb"), (W{L"p", L"a\tb"}));
    EXPECT_EQ(Split(L"p ab\"c"), (W{L"p", L"ab\"c"}));
    EXPECT_EQ(Split(L"p \"a b\"c"), (W{L"p", L"a b", L"c"}));
    EXPECT_EQ(Split(L"p \"\" x"), (W{L"p", L"", L"x"}));
    EXPECT_EQ(Split(L" p a"), (W{L"", L"p", L"a"}));
    EXPECT_EQ(Split(L"p \"open"), (W{L"p", L"open"}));
    EXPECT_EQ(Split(L"p a\\\"b"), (W{L"p", L"a\\\"b"}));
}

TEST(CommandLine, StopsAtThirtyWordsAndMarksOverlongWords)
{
    std::wstring line = L"prog";
    for (int i = 1; i <= 35; ++i)
        line += L" w" + std::to_wstring(i);
    auto words = Split(line.c_str());
    ASSERT_EQ(words.size(), 31u);
    EXPECT_EQ(words[30], L"w30");

    std::wstring longWord(300, L'x');
    words = Split((L"p " + longWord + L" next").c_str());
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[1], L"<overlong>");
    EXPECT_EQ(words[2], L"next");
    EXPECT_EQ(Split((L"p " + std::wstring(260, L'y')).c_str())[1], L"<overlong>");
    EXPECT_EQ(Split((L"p " + std::wstring(259, L'y')).c_str())[1], std::wstring(259, L'y'));
}

TEST(CommandLine, BaseNames)
{
    const char* cases[][2] = {{"C:\\x\\Uninstall_Quorvex.exe", "Uninstall_Quorvex"},
                              {"C:\\x\\a.b.exe", "a.b"}, {"C:\\x\\.profile", ".profile"},
                              {"C:\\x\\name", "name"}, {"C:name.", "name"}, {"", ""}};
    for (auto& c : cases) {
        char out[260];
        BaseNameOf(c[0], out, sizeof out);
        EXPECT_STREQ(out, c[1]) << c[0];
    }
}

TEST(Text, BoundedCopiesNeverWritePastTheBuffer)
{
    char small[5] = "";
    EXPECT_FALSE(CopyText(small, sizeof small, "abcdefgh"));
    EXPECT_STREQ(small, "abcd");
    EXPECT_FALSE(AppendText(small, sizeof small, "x"));
    char path[8] = "ab";
    EXPECT_TRUE(AppendText(path, sizeof path, "cdefg"));
    EXPECT_STREQ(path, "abcdefg");
    char out[12];
    EXPECT_TRUE(ComposeText(out, sizeof out, "A%sB%sC", "xxxx", "%s%n"));
    EXPECT_STREQ(out, "AxxxxB%s%nC");
    EXPECT_FALSE(ComposeText(out, 8, "A%sB%sC", "xxxx", "%s%n"));
    EXPECT_STREQ(out, "AxxxxB%");
    EXPECT_TRUE(ComposeText(out, sizeof out, "%s-%s", "a", nullptr));
    EXPECT_STREQ(out, "a-");
    EXPECT_TRUE(EqualNoCase("0c07abcD", "0C07ABCd"));
    EXPECT_FALSE(EqualNoCase("\xe4", "\xc4"));  // ä and Ä do not fold
    EXPECT_FALSE(EqualNoCase("ab", "abc"));
}

TEST(Text, BoxTextTurnsControlCharactersIntoLineBreaks)
{
    char out[64];
    PrepareBoxText(out, sizeof out, "a\tb\nc\rd\x01\xf6");
    EXPECT_STREQ(out, "a\r\nb\nc\rd\r\n\xf6");
    char tiny[4];
    PrepareBoxText(tiny, sizeof tiny, "ab\tc");
    EXPECT_STREQ(tiny, "ab");
}

TEST(OrderNumbers, ReadAndCanonical)
{
    struct {
        const char* name;
        int32_t number;
        bool canonical;
    } cases[] = {{"1", 1, true},   {"01", 1, false},  {" 2", 2, false}, {"+3", 3, false},
                 {"-1", -1, true}, {"1a2", 12, false}, {"", 0, false},  {"x", 0, false},
                 {"2002", 2002, true}, {"0", 0, true}, {"-0", 0, false},
                 {"99999999999", static_cast<int32_t>(1215752191), false},
                 {"4294967297", 1, false}, {"2147483648", INT32_MIN, false},
                 {"-2147483648", INT32_MIN, true}};
    for (auto& c : cases) {
        EXPECT_EQ(ReadOrderNumber(c.name), c.number) << c.name;
        EXPECT_EQ(IsCanonicalName(ReadOrderNumber(c.name), c.name), c.canonical) << c.name;
    }
}

// Fills the Preload table as the snapshot would; "" as substitute means none.
struct Row {
    const char* name;
    const char* data;
    const char* substitute;
};

void Load(const std::vector<Row>& rows, const char* key = "E0010407")
{
    memset(gPreload, 0, sizeof gPreload);
    memset(gNewPreload, 0, sizeof gNewPreload);
    memset(gNewSubstitutes, 0, sizeof gNewSubstitutes);
    gPreloadCount = 0;
    gLayoutNotInPreload = false;
    for (const Row& r : rows) {
        PreloadEntry& e = gPreload[gPreloadCount++];
        e.name = KeepText(r.name, 300);
        e.data = KeepText(r.data, 300);
        e.substitute = r.substitute[0] != '\0' ? KeepText(r.substitute, 300) : nullptr;
        e.number = ReadOrderNumber(e.name);
        e.canonical = IsCanonicalName(e.number, e.name);
    }
    CopyText(gLayoutKey, sizeof gLayoutKey, key);
    gLayoutKeyIndex = 0;
}

std::string NewLists()
{
    std::string out;
    for (unsigned i = 0; i < gNewPreloadCount; ++i)
        out += std::string(gNewPreload[i].name) + "=" + gNewPreload[i].data + " ";
    out += "|";
    for (unsigned i = 0; i < gNewSubstituteCount; ++i)
        out += std::string(" ") + gNewSubstitutes[i].name + "=" + gNewSubstitutes[i].data;
    return out;
}

std::string Remove(const std::vector<Row>& rows)
{
    Load(rows);
    EXPECT_TRUE(RemoveLayoutFromPreload());
    return gLayoutNotInPreload ? "not in Preload" : NewLists();
}

TEST(Removal, WorkedExamples)
{
    const char* K = "E0010407";
    EXPECT_EQ(Remove({{"1", "00000407", ""}, {"2", "d0010407", K}}), "1=00000407 |");
    EXPECT_EQ(Remove({{"1", "d0010407", K}, {"2", "00000409", ""}, {"3", "d0020407", "00010407"}}),
              "1=00000409 2=d0010407 | d0010407=00010407");
    // Every entry has a substitute: the survivor takes over the standard key.
    EXPECT_EQ(Remove({{"1", "00000407", K}, {"2", "d0010407", "00010407"}}),
              "1=00000407 | 00000407=00010407");
    EXPECT_EQ(Remove({{"1", "00000409", ""}, {"2", "00000407", ""}}), "not in Preload");
    // An entry whose own data is the key does not count without a substitute.
    EXPECT_EQ(Remove({{"1", K, ""}, {"2", "00000407", ""}}), "not in Preload");
}

TEST(Removal, OrderNumbersGapsAndOddNames)
{
    const char* K = "e0010407";  // the substitute matches ignoring case
    EXPECT_EQ(Remove({{"5", "00000407", ""}, {"9", "d0010407", "E0010407"}, {"7", "00000409", ""}}),
              "1=00000407 2=00000409 |");
    EXPECT_EQ(Remove({{"01", "a000040c", ""}, {"2", "d0010407", K}, {"3", "00000407", ""}}),
              "1=00000407 2=a000040c |");
    // Out of range names are dropped unless they refer to standard layouts
    // and the removed entry was first.
    EXPECT_EQ(Remove({{"1", "00000407", ""}, {"2002", "a0000409", ""}, {"-1", "b0000409", ""},
                      {"3", "d0010407", K}}),
                     "1=00000407 |");
    EXPECT_EQ(Remove({{"1", "d0010407", K}, {"2002", "00000409", ""}, {"-1", "00000407", ""}}),
              "1=00000409 2=00000407 |");
    // Without-substitute entries first, then the others, names = new positions.
    EXPECT_EQ(Remove({{"1", "d0010407", "00010407"}, {"2", "00000407", ""}, {"3", "d0020407", K}}),
              "2=00000407 1=d0010407 | d0010407=00010407");
}

TEST(Removal, DuplicatesAndRefusals)
{
    const char* K = "E0010407";
    // Two entries substituted by the key: only the later goes, the earlier
    // keeps mapping to it under a fresh identifier.
    EXPECT_EQ(Remove({{"1", "00000407", ""}, {"2", "d0010407", K}, {"3", "d0020407", K}}),
              "1=00000407 2=d0010407 | d0010407=E0010407");
    Load({{"1", "00000407", ""}});
    gLayoutKeyIndex = -1;
    EXPECT_FALSE(RemoveLayoutFromPreload());
    EXPECT_STREQ(gRegistryErrorText, "Schl\xfcssel nicht vorhanden");
    Load({{"1", "00000407", ""}}, "00000407");
    EXPECT_FALSE(RemoveLayoutFromPreload());
    EXPECT_STREQ(gRegistryErrorText, "Standard-Layout kann nicht entfernt werden");
}

TEST(Removal, ManyEntriesGetDistinctIdentifiersPerLanguage)
{
    std::vector<std::string> names, data, subs;
    std::vector<Row> rows;
    for (int i = 0; i < 1000; ++i) {
        names.push_back(std::to_string(i + 1));
        data.push_back(i % 2 ? "d0000807" : "d0000407");
        subs.push_back(i == 500 ? "E0010407" : "a" + std::to_string(1000000 + i));
    }
    for (int i = 0; i < 1000; ++i)
        rows.push_back({names[i].c_str(), data[i].c_str(), subs[i].c_str()});
    Load(rows);
    ASSERT_TRUE(RemoveLayoutFromPreload());
    ASSERT_EQ(gNewPreloadCount, 999u);
    ASSERT_EQ(gNewSubstituteCount, 999u);
    EXPECT_STREQ(gNewSubstitutes[0].name, "d0010407");
    EXPECT_STREQ(gNewSubstitutes[1].name, "d0010807");
    EXPECT_STREQ(gNewSubstitutes[998].name, "d1f40807");
    for (unsigned i = 1; i < gNewSubstituteCount; ++i)
        EXPECT_STRNE(gNewSubstitutes[i - 1].name, gNewSubstitutes[i].name);
}

TEST(Removal, NewIdentifierSkipsUsedNames)
{
    char n1[] = "d0010407", n2[] = "D0020407", n3[] = "d0030807";
    SubstitutePair used[] = {{n1, n1}, {n2, n2}, {nullptr, nullptr}, {n3, n3}};
    EXPECT_STREQ(NewPreloadIdentifier("0407", used, 4), "d0030407");
    EXPECT_STREQ(NewPreloadIdentifier("0807", used, 4), "d0010807");
    EXPECT_STREQ(NewPreloadIdentifier("0407", used, 0), "d0010407");
    EXPECT_STREQ(LanguagePart("d00a0c07"), "0c07");
    EXPECT_STREQ(LanguagePart("short"), "0407");
    EXPECT_STREQ(LanguagePart(nullptr), "0407");
    EXPECT_TRUE(IsStandardLayoutKey("00000409"));
    EXPECT_FALSE(IsStandardLayoutKey("00001407"));
    EXPECT_FALSE(IsStandardLayoutKey("000004070"));
    EXPECT_FALSE(IsStandardLayoutKey(nullptr));
}

ArgumentVerdict Judge(std::vector<std::string> words)
{
    memset(gArguments, 0, sizeof gArguments);
    gArgumentCount = static_cast<int>(words.size());
    for (size_t i = 0; i < words.size() && i < 30; ++i)
        CopyText(gArguments[i + 1], kArgumentSize, words[i].c_str());
    return ValidateArguments();
}

TEST(Arguments, AcceptsTheKeyAloneOrWithForce)
{
    EXPECT_EQ(Judge({"ABCD0407"}), kArgumentsAccepted);
    EXPECT_FALSE(gForce);
    EXPECT_EQ(Judge({"00010407", "/force"}), kArgumentsAccepted);
    EXPECT_TRUE(gForce);
    EXPECT_STREQ(gLayoutKey, "00010407");
    EXPECT_EQ(Judge({}), kArgumentsMissing);
    EXPECT_EQ(Judge({"00010407", "/FORCE"}), kArgumentsMissing);
    EXPECT_EQ(Judge({"/force", "00010407"}), kArgumentsMissing);
    EXPECT_EQ(Judge({"00010407", "/force", "x"}), kArgumentsMissing);
    EXPECT_EQ(Judge({"0001040"}), kKeyLength);
    EXPECT_EQ(Judge({"000104070"}), kKeyLength);
    EXPECT_EQ(Judge({""}), kKeyLength);
    EXPECT_EQ(Judge({"0001a407"}), kKeyNotGerman);
    EXPECT_EQ(Judge({"00010409"}), kKeyNotGerman);
    EXPECT_EQ(Judge({"00000407"}), kKeyStandard);
    EXPECT_FALSE(gForce);
}

// Random command lines through the splitter and the judge: no crash, and a
// verdict that agrees with a plain restatement of the rules.
TEST(Arguments, RandomCommandLines)
{
    std::mt19937 rng(20261207);
    const wchar_t alphabet[] = L" \"\t/aAfFcCeEor04789\x3a9\xe4";
    for (int round = 0; round < 500; ++round) {
        std::wstring line = L"\"C:\\p\\Uninstall_Quorvex.exe\"";
        int len = static_cast<int>(rng() % 40);
        for (int i = 0; i < len; ++i)
            line += alphabet[rng() % (sizeof alphabet / sizeof alphabet[0] - 1)];
        if (rng() % 3 == 0)
            line += L" E0010407";
        if (rng() % 4 == 0)
            line += L" /force";
        static WideWord words[31];
        int n = SplitCommandLine(line.c_str(), words, 31);
        ASSERT_GE(n, 1);
        std::vector<std::string> narrow;
        for (int i = 1; i < n; ++i) {
            std::string w;
            for (const wchar_t* p = words[i].text; *p; ++p)
                w += *p < 0x100 ? static_cast<char>(*p) : '?';
            narrow.push_back(w);
        }
        ArgumentVerdict v = Judge(narrow);
        bool force = narrow.size() == 2 && narrow[1] == "/force";
        ArgumentVerdict expected = kArgumentsAccepted;
        if (narrow.size() != 1 && !force)
            expected = kArgumentsMissing;
        else if (narrow[0].size() != 8)
            expected = kKeyLength;
        else if (narrow[0].substr(4) != "0407")
            expected = kKeyNotGerman;
        else if (EqualNoCase(narrow[0].c_str(), "00000407"))
            expected = kKeyStandard;
        EXPECT_EQ(v, expected) << round;
    }
}

} // namespace
