// The layout registry against Wine's real registry: the key-tree deletion,
// the snapshot, and snapshot + removal + write-back read back from the keys.
#include "support.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "frame/text.h"
#include "layouts/registry.h"
#include "layouts/removal.h"
#include "layouts/snapshot.h"
#include "layouts/tables.h"
#include "uninstall/invocation.h"

namespace {

const char kScratch[] = "Software\\QuorvexRegistryTest";  // HKCU, for the tree tests
using Layouts = std::vector<std::pair<std::string, std::string>>;  // subkey, "Layout File" or ""

const Layouts kDefaultLayouts = {{"00000407", "KBDGR.DLL"}, {kKey, "Quorvex.DLL"}};

std::string Sz(const std::string& text) { return text + '\0'; }

Values Sorted(Values v)
{
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) {
        return _stricmp(a.first.c_str(), b.first.c_str()) < 0;
    });
    return v;
}

// The registry's own enumeration order: Wine sorts, Windows keeps write order.
std::vector<std::string> EnumerationOrder(HKEY root, const char* path)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

void PutLayouts(const Layouts& layouts)
{
    RemoveKey(HKEY_LOCAL_MACHINE, kLayoutsPath);
    for (const auto& l : layouts) {
        std::string path = std::string(kLayoutsPath) + "\\" + l.first;
        if (l.second.empty())
            PutValue(HKEY_LOCAL_MACHINE, path, "Layout Text", REG_SZ, Sz("ohne Treiberdatei"));
        else
            PutValue(HKEY_LOCAL_MACHINE, path, "Layout File", REG_SZ, Sz(l.second));
    }
}

void ResetProgramState(const char* key = kKey)
{
    // The program starts with these once per run; the tests run it many times.
    gLayoutNotInPreload = false;
    gPreloadCount = gSubstituteCount = gLayoutCount = 0;
    gNewPreloadCount = gNewSubstituteCount = 0;
    gLayoutKeyIndex = -1;
    gRegistryErrorText[0] = '\0';
    CopyText(gLayoutKey, sizeof gLayoutKey, key);
}

void Install(const Values& preload, const Values& substitutes,
             const Layouts& layouts = kDefaultLayouts)
{
    WriteValues(HKEY_CURRENT_USER, kPreloadPath, preload);
    WriteValues(HKEY_CURRENT_USER, kSubstitutesPath, substitutes);
    PutLayouts(layouts);
    ResetProgramState();
}

// The three steps as the uninstall runs them, each expected to succeed.
void Rebuild()
{
    ASSERT_TRUE(TakeLayoutSnapshot()) << gRegistryErrorText;
    ASSERT_GE(gLayoutKeyIndex, 0);
    ASSERT_TRUE(RemoveLayoutFromPreload()) << gRegistryErrorText;
    ASSERT_FALSE(gLayoutNotInPreload);
    ASSERT_TRUE(WriteBackLayoutLists()) << gRegistryErrorText;
}

Values Preload() { return ReadValues(HKEY_CURRENT_USER, kPreloadPath); }
Values Substitutes() { return ReadValues(HKEY_CURRENT_USER, kSubstitutesPath); }

class LayoutRegistry : public ::testing::Test {
protected:
    static void ClearKeys()
    {
        RemoveKey(HKEY_CURRENT_USER, kScratch);
        RemoveKey(HKEY_CURRENT_USER, kSubstitutesPath);
        RemoveKey(HKEY_LOCAL_MACHINE, kLayoutsPath);
    }
    void SetUp() override
    {
        ClearKeys();
        ResetProgramState();
    }
    void TearDown() override
    {
        ClearKeys();  // and back to what a fresh German prefix holds
        WriteValues(HKEY_CURRENT_USER, kPreloadPath, {{"1", "00000407"}});
    }
};

void PutTree(const std::string& path, int depth)
{
    PutValue(HKEY_CURRENT_USER, path, "v", REG_SZ, Sz(path));
    if (depth > 0)
        for (const char* child : {"a", "B", "c0", "Tief"})
            PutTree(path + "\\" + child, depth - 1);
}

TEST_F(LayoutRegistry, DeleteKeyTreeRemovesEverythingBelowAndOnlyThat)
{
    const std::string tree = std::string(kScratch) + "\\T", deep = tree + "\\B\\c0";
    PutTree(tree, 3);  // 4 + 16 + 64 keys below T
    PutValue(HKEY_CURRENT_USER, std::string(kScratch) + "\\Keep", "k", REG_SZ, Sz("1"));
    ASSERT_EQ(Subkeys(HKEY_CURRENT_USER, deep).size(), 4u);
    HKEY parent = OpenKeyForWrite(HKEY_CURRENT_USER, kScratch);
    ASSERT_NE(parent, nullptr);

    EXPECT_FALSE(DeleteKeyTree(parent, "Missing"));
    EXPECT_FALSE(DeleteKeyTree(parent, ""));
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, kScratch), (std::vector<std::string>{"Keep", "T"}));
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, deep).size(), 4u);
    EXPECT_EQ(ReadValues(HKEY_CURRENT_USER, deep + "\\Tief"), (Values{{"v", deep + "\\Tief"}}));

    EXPECT_TRUE(DeleteKeyTree(parent, "T"));
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, tree));
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, kScratch), std::vector<std::string>{"Keep"});
    EXPECT_EQ(ReadValues(HKEY_CURRENT_USER, std::string(kScratch) + "\\Keep"), (Values{{"k", "1"}}));
    RegCloseKey(parent);
}

struct RebuildCase {
    const char* what;
    Values preload, substitutes, wantPreload, wantSubstitutes;
};

TEST_F(LayoutRegistry, RebuildsPreloadAndSubstitutesInTheRegistry)
{
    const std::string K = kKey;
    const RebuildCase cases[] = {
        {"standard first, layout second", {{"1", "00000407"}, {"2", "d0010407"}},
         {{"d0010407", K}}, {{"1", "00000407"}}, {}},
        {"removed layout was first", {{"1", "d0010407"}, {"2", "00000409"}, {"3", "d0020407"}},
         {{"d0010407", K}, {"d0020407", "00010407"}},
         {{"1", "00000409"}, {"2", "d0010407"}}, {{"d0010407", "00010407"}}},
        {"every entry substituted", {{"1", "00000407"}, {"2", "d0010407"}},
         {{"00000407", K}, {"d0010407", "00010407"}},
         {{"1", "00000407"}}, {{"00000407", "00010407"}}},
        {"unused substitute goes", {{"1", "00000407"}, {"2", "d0010407"}},
         {{"d0010407", K}, {"d0090407", "00020407"}, {"frei", "x"}}, {{"1", "00000407"}}, {}},
        {"gaps close, identifiers renumbered per language",
         {{"1", "00000407"}, {"4", "d0050407"}, {"7", "d0010407"}, {"12", "d0070807"},
          {"30", "00000409"}},
         {{"d0010407", K}, {"d0050407", "00010407"}, {"d0070807", "00010807"}},
         {{"1", "00000407"}, {"2", "d0010407"}, {"3", "d0010807"}, {"4", "00000409"}},
         {{"d0010407", "00010407"}, {"d0010807", "00010807"}}},
        {"2002 and -1 dropped, 2001 kept",
         {{"1", "00000407"}, {"-1", "a0000409"}, {"2002", "b0000409"}, {"2001", "c0000409"},
          {"3", "d0010407"}},
         {{"d0010407", K}}, {{"1", "00000407"}, {"2", "c0000409"}}, {}},
        {"01 naming a standard layout keeps its place",
         {{"01", "00000409"}, {"2", "d0010407"}, {"3", "00000407"}, {"4", "a0000407"}},
         {{"d0010407", K}}, {{"1", "00000409"}, {"2", "00000407"}, {"3", "a0000407"}}, {}},
        {"kinds mixed: names are positions",
         {{"1", "d0010407"}, {"2", "00000407"}, {"3", "d0020407"}},
         {{"d0010407", "00010407"}, {"d0020407", "e0010407"}},
         {{"1", "d0010407"}, {"2", "00000407"}}, {{"d0010407", "00010407"}}},
    };
    for (const RebuildCase& c : cases) {
        SCOPED_TRACE(c.what);
        Install(c.preload, c.substitutes);
        Rebuild();
        EXPECT_EQ(Preload(), Sorted(c.wantPreload));
        EXPECT_EQ(Substitutes(), Sorted(c.wantSubstitutes));
        EXPECT_TRUE(KeyThere(HKEY_CURRENT_USER, kSubstitutesPath));
        EXPECT_EQ(gNewPreloadCount, c.wantPreload.size());
    }
    // The last case in memory: entries without substitute were written first.
    ASSERT_EQ(gNewPreloadCount, 2u);
    EXPECT_STREQ(gNewPreload[0].name, "2");
    EXPECT_STREQ(gNewPreload[1].name, "1");
}

// Where table order decides, the expectation follows the order read back.
TEST_F(LayoutRegistry, TableOrderComesFromTheRegistry)
{
    {
        SCOPED_TRACE("same data twice: only the first read gets the substitute");
        Install({{"1", "00000407"}, {"2", "d0010407"}, {"3", "D0010407"}}, {{"d0010407", kKey}});
        auto order = EnumerationOrder(HKEY_CURRENT_USER, kPreloadPath);
        auto two = std::find(order.begin(), order.end(), "2");
        auto three = std::find(order.begin(), order.end(), "3");
        ASSERT_TRUE(two != order.end() && three != order.end());
        Rebuild();
        EXPECT_EQ(Preload(), (Values{{"1", "00000407"}, {"2", two < three ? "D0010407" : "d0010407"}}));
        EXPECT_EQ(Substitutes(), Values{});
    }
    {
        SCOPED_TRACE("layout key substituted twice: the later read goes, the other stays renamed");
        Install({{"1", "00000407"}, {"2", "d0010407"}, {"3", "a0000409"}, {"4", "d0020407"}},
                {{"d0010407", kKey}, {"d0020407", kKey}});
        auto order = EnumerationOrder(HKEY_CURRENT_USER, kPreloadPath);
        bool fourLater = std::find(order.begin(), order.end(), "4") >
                         std::find(order.begin(), order.end(), "2");
        Rebuild();
        const Values kept2 = {{"1", "00000407"}, {"2", "d0010407"}, {"3", "a0000409"}};
        const Values kept4 = {{"1", "00000407"}, {"2", "a0000409"}, {"3", "d0010407"}};
        EXPECT_EQ(Preload(), fourLater ? kept2 : kept4);
        EXPECT_EQ(Substitutes(), (Values{{"d0010407", kKey}}));
    }
    {
        SCOPED_TRACE("odd names go behind the canonical ones, in table order");
        const Values odd = {{"01", "a0010407"}, {" 2", "a0020407"}, {"+3", "a0030407"}};
        Values preload = {{"1", "00000407"}, {"4", "d0010407"}, {"5", "00000409"}, {"6", "b0000407"}};
        preload.insert(preload.end(), odd.begin(), odd.end());
        Install(preload, {{"d0010407", kKey}});
        Values want = {{"1", "00000407"}, {"2", "00000409"}, {"3", "b0000407"}};
        for (const std::string& name : EnumerationOrder(HKEY_CURRENT_USER, kPreloadPath))
            for (const auto& o : odd)
                if (o.first == name)
                    want.push_back({std::to_string(want.size() + 1), o.second});
        ASSERT_EQ(want.size(), 6u);
        Rebuild();
        EXPECT_EQ(Preload(), Sorted(want));
    }
    {
        SCOPED_TRACE("removed layout first: standard ones numbered from 1, even -1 and 2002");
        Install({{"1", "d0010407"}, {"2002", "00000409"}, {"-1", "00000407"}, {"5", "a0000407"}},
                {{"d0010407", kKey}});
        Values want;
        for (const std::string& name : EnumerationOrder(HKEY_CURRENT_USER, kPreloadPath))
            if (name == "2002" || name == "-1")
                want.push_back({std::to_string(want.size() + 1), name == "-1" ? "00000407" : "00000409"});
        want.push_back({"3", "a0000407"});
        Rebuild();
        EXPECT_EQ(Preload(), Sorted(want));
    }
}

TEST_F(LayoutRegistry, ValuesOfOtherTypesAreReadAsTheirBytes)
{
    Install({{"1", "00000407"}}, {});
    PutValue(HKEY_CURRENT_USER, kPreloadPath, "2", REG_BINARY, "a0000409");  // no terminator
    PutValue(HKEY_CURRENT_USER, kPreloadPath, "3", REG_DWORD, "0407");
    PutValue(HKEY_CURRENT_USER, kPreloadPath, "4", REG_MULTI_SZ, std::string("x0000407\0y\0\0", 12));
    PutValue(HKEY_CURRENT_USER, kPreloadPath, "5", REG_SZ, Sz("d0010407"));
    PutValue(HKEY_CURRENT_USER, kSubstitutesPath, "d0010407", REG_BINARY, kKey);
    ASSERT_EQ(Preload()[1].second, "<type 3>");
    Rebuild();
    // Rewritten as texts (ReadValues would show "<type N>" otherwise).
    EXPECT_EQ(Preload(), (Values{{"1", "00000407"}, {"2", "a0000409"}, {"3", "0407"}, {"4", "x0000407"}}));
    EXPECT_EQ(Substitutes(), Values{});
}

TEST_F(LayoutRegistry, NamesAndDataBeyondTheBuffersAreSkipped)
{
    const std::string a259(259, 'a'), a260(260, 'a'), b260(260, 'b'), b261(261, 'b');
    const std::string name259 = std::string(258, '0') + "2";  // order number 2, not canonical
    Install({{"1", "00000407"}, {"5", a259}, {"6", a260}, {"9", "d0010407"},
             {name259, "a0000259"}, {std::string(259, '0') + "3", "a0000260"},
             {std::string(260, '0') + "4", "a0000261"}},
            {{"d0010407", kKey}});
    PutValue(HKEY_CURRENT_USER, kPreloadPath, "7", REG_BINARY, b260);
    PutValue(HKEY_CURRENT_USER, kPreloadPath, "8", REG_BINARY, b261);
    ASSERT_EQ(Preload().size(), 9u);
    Rebuild();
    EXPECT_EQ(gPreloadCount, 5u);
    EXPECT_EQ(Preload(), (Values{{"1", "00000407"}, {"2", a259}, {"3", b260}, {"4", "a0000259"}}));

    // Substitutes: a 260-character name and 261 bytes of data are not read,
    // so the Preload entries that would use them stay plain.
    const std::string q260(260, 'q'), r259(259, 'r');
    Install({{"1", "00000407"}, {"3", r259}, {"4", "d0010407"}, {"5", "d0050407"}},
            {{q260, "00010407"}, {r259, "00020407"}, {"d0010407", kKey}, {"d0050407", std::string(260, 'z')}});
    PutValue(HKEY_CURRENT_USER, kPreloadPath, "2", REG_BINARY, q260);
    Rebuild();
    EXPECT_EQ(gSubstituteCount, 2u);
    EXPECT_EQ(Preload(), (Values{{"1", "00000407"}, {"2", q260}, {"3", "d0010407"}, {"4", "d0050407"}}));
    EXPECT_EQ(Substitutes(), (Values{{"d0010407", "00020407"}}));
}

TEST_F(LayoutRegistry, OnlyTheFirstThousandValuesAreRead)
{
    for (unsigned n : {1000u, 1001u}) {
        SCOPED_TRACE(n);
        Values preload = {{"1", "00000407"}, {"2", "d0010407"}};
        Values substitutes = {{"d0010407", kKey}};
        for (unsigned i = 3; i <= n; ++i) {
            char data[16];
            snprintf(data, sizeof data, "a%07u", i);
            preload.push_back({std::to_string(i), data});
            substitutes.push_back({std::string("z") + data, "00010407"});
        }
        substitutes.push_back({"zzzz", "x"});
        Install(preload, substitutes);
        auto order = EnumerationOrder(HKEY_CURRENT_USER, kPreloadPath);
        ASSERT_EQ(order.size(), n);
        order.resize(std::min(n, kTableCapacity));
        ASSERT_NE(std::find(order.begin(), order.end(), "2"), order.end());
        ASSERT_EQ(EnumerationOrder(HKEY_CURRENT_USER, kSubstitutesPath).back().front(), 'z');
        // The ones read, by order number, without the layout's own.
        std::vector<int> read;
        for (const std::string& name : order)
            if (name != "2")
                read.push_back(std::stoi(name));
        std::sort(read.begin(), read.end());
        Values want;
        for (int number : read)
            want.push_back({std::to_string(want.size() + 1), preload[static_cast<size_t>(number) - 1].second});

        Rebuild();
        EXPECT_EQ(gPreloadCount, kTableCapacity);
        EXPECT_EQ(gSubstituteCount, kTableCapacity);
        EXPECT_EQ(Preload().size(), 999u);
        EXPECT_EQ(Preload(), Sorted(want));
        EXPECT_EQ(Substitutes(), Values{});
    }
}

TEST_F(LayoutRegistry, SnapshotReadsGermanLayoutsOnly)
{
    Install({{"1", "00000407"}}, {},
            {{"00000407", "KBDGR.DLL"}, {"E0010407", "Quorvex.DLL"}, {"00000807", "KBDSG.DLL"},
             {"00000C07", "KBDA.DLL"}, {"00010c07", "KLEIN.DLL"}, {"00001007", "KBDLU.DLL"},
             {"00001407", "KBDLI.DLL"}, {"00000409", "KBDUS.DLL"}, {"A0010407", ""}});
    PutValue(HKEY_LOCAL_MACHINE, std::string(kLayoutsPath) + "\\B0010407", "layout file", REG_SZ,
             Sz("klein.dll"));
    PutValue(HKEY_LOCAL_MACHINE, std::string(kLayoutsPath) + "\\B0010407", "Layout Files", REG_SZ,
             Sz("mehr.dll"));
    CopyText(gLayoutKey, sizeof gLayoutKey, "e0010407");
    ASSERT_TRUE(TakeLayoutSnapshot()) << gRegistryErrorText;

    Layouts seen;
    for (unsigned i = 0; i < gLayoutCount; ++i)
        seen.push_back({gLayouts[i].keyName, gLayouts[i].layoutFile ? gLayouts[i].layoutFile : "(none)"});
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (Layouts{{"00000407", "KBDGR.DLL"}, {"00000807", "KBDSG.DLL"},
                             {"00000C07", "KBDA.DLL"}, {"00001407", "KBDLI.DLL"},
                             {"A0010407", "(none)"}, {"B0010407", "(none)"},
                             {"E0010407", "Quorvex.DLL"}}));
    ASSERT_GE(gLayoutKeyIndex, 0);
    EXPECT_STREQ(gLayouts[gLayoutKeyIndex].keyName, "E0010407");

    ResetProgramState("F0010407");
    ASSERT_TRUE(TakeLayoutSnapshot());
    EXPECT_EQ(gLayoutKeyIndex, -1);
    EXPECT_EQ(gLayoutCount, 7u);
}

TEST_F(LayoutRegistry, SnapshotFailsWhenAListIsMissing)
{
    struct {
        HKEY root;
        const char *path, *text;
        unsigned preloadRead;
    } cases[] = {
        {HKEY_CURRENT_USER, kPreloadPath,
         "Fehler beim Öffnen des Registry-Keys HKEY_CURRENT_USER\\Keyboard Layout\\Preload", 0},
        {HKEY_CURRENT_USER, kSubstitutesPath,
         "Fehler beim Öffnen des Registry-Keys HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes", 2},
        {HKEY_LOCAL_MACHINE, kLayoutsPath,
         "Fehler beim Öffnen des Registry-Keys HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\"
         "Control\\Keyboard Layouts",
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Install({{"1", "00000407"}, {"2", "d0010407"}}, {{"d0010407", kKey}});
        RemoveKey(c.root, c.path);
        EXPECT_FALSE(TakeLayoutSnapshot());
        EXPECT_EQ(std::string(gRegistryErrorText), c.text);
        EXPECT_EQ(static_cast<unsigned char>(gRegistryErrorText[12]), 0xD6u);  // Ö in code page 1252
        EXPECT_EQ(gPreloadCount, c.preloadRead);
        EXPECT_FALSE(KeyThere(c.root, c.path));  // reading created nothing
    }
}

// Locked: everyone may delete the key and change its permissions, but not
// read it. Unlocked: a null list, everyone may do everything.
void SetReadable(const std::string& path, bool readable)
{
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
    BYTE sid[SECURITY_MAX_SID_SIZE], aclBytes[256];
    DWORD sidSize = sizeof sid;
    PACL acl = reinterpret_cast<PACL>(aclBytes);
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, sid, &sidSize) &&
                InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) &&
                AddAccessAllowedAce(acl, ACL_REVISION, DELETE | WRITE_DAC | READ_CONTROL, sid) &&
                InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                SetSecurityDescriptorDacl(&sd, TRUE, readable ? nullptr : acl, FALSE));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(KeyThere(HKEY_LOCAL_MACHINE, path), readable);
}

TEST_F(LayoutRegistry, AnUnreadableGermanLayoutFailsTheSnapshot)
{
    const std::string layouts = std::string(kLayoutsPath) + "\\";
    struct Unlock {  // or the next test could not clear the keys
        std::string base;
        ~Unlock()
        {
            for (const char* name : {"00000409", "00000807"})
                SetReadable(base + name, true);
        }
    } unlock{layouts};
    Install({{"1", "00000407"}}, {}, {{"00000407", "KBDGR.DLL"}, {kKey, "Quorvex.DLL"},
                                      {"00000409", "KBDUS.DLL"}, {"00000807", "KBDSG.DLL"}});
    ASSERT_NO_FATAL_FAILURE(SetReadable(layouts + "00000409", false));
    EXPECT_TRUE(TakeLayoutSnapshot()) << "a skipped layout is never opened";
    ASSERT_NO_FATAL_FAILURE(SetReadable(layouts + "00000807", false));
    EXPECT_FALSE(TakeLayoutSnapshot());
    EXPECT_EQ(std::string(gRegistryErrorText),
              "Fehler beim Öffnen des Registry-Subkeys System\\CurrentControlSet\\Control\\"
              "Keyboard Layouts - 00000807");
}

TEST_F(LayoutRegistry, RefusalsLeaveTheRegistryAsItWas)
{
    const char* kNone = "INTERNER FEHLER: newpreloadcount ist 0!";
    struct {
        const char* what;
        Values preload;
        Layouts layouts;
        const char *key, *removalText, *writeText;  // texts: null when left unchanged
        bool removed, written;
    } cases[] = {
        {"the layout's entry is the only one", {{"1", "d0010407"}}, kDefaultLayouts, kKey, nullptr,
         kNone, true, false},
        {"layout key not registered", {{"1", "00000407"}, {"2", "d0010407"}}, {{"00000407", "K"}},
         kKey, "Schlüssel nicht vorhanden", kNone, false, false},
        {"standard layout key", {{"1", "00000407"}, {"2", "d0010407"}}, kDefaultLayouts, "00000407",
         "Standard-Layout kann nicht entfernt werden", kNone, false, false},
        {"no entry substituted by the layout key", {{"1", "00000407"}, {"2", kKey}},
         kDefaultLayouts, kKey, nullptr, nullptr, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Install(c.preload, {{"d0010407", kKey}, {"d0090407", "00010407"}}, c.layouts);
        ResetProgramState(c.key);
        const Values preload = Preload(), substitutes = Substitutes();
        ASSERT_TRUE(TakeLayoutSnapshot()) << gRegistryErrorText;
        CopyText(gRegistryErrorText, sizeof gRegistryErrorText, "vorher");
        EXPECT_EQ(RemoveLayoutFromPreload(), c.removed);
        EXPECT_EQ(std::string(gRegistryErrorText), c.removalText ? c.removalText : "vorher");
        CopyText(gRegistryErrorText, sizeof gRegistryErrorText, "vorher");
        EXPECT_EQ(WriteBackLayoutLists(), c.written);
        EXPECT_EQ(std::string(gRegistryErrorText), c.writeText ? c.writeText : "vorher");
        EXPECT_EQ(Preload(), preload);
        EXPECT_EQ(Substitutes(), substitutes);
    }
}

// Fills the three places with n entries each: entry 1 plain, 2..n through
// Substitutes (entry 2 the layout), one Substitutes value unused.
void FillForBenchmark(unsigned n)
{
    Values preload = {{"1", "00000407"}}, substitutes = {{"dfff0407", "00020407"}};
    Layouts layouts = {{kKey, "Quorvex.DLL"}};
    for (unsigned j = 1; j < n; ++j) {
        char id[16], layout[16];
        snprintf(id, sizeof id, "d%03x0407", j);
        snprintf(layout, sizeof layout, "A%03X0407", j);
        preload.push_back({std::to_string(j + 1), id});
        substitutes.push_back({id, j == 1 ? kKey : layout});
        layouts.push_back({layout, "X.DLL"});
    }
    Install(preload, substitutes, layouts);
}

struct Timing {
    double snapshot, removal, writeBack;
    double Total() const { return snapshot + removal + writeBack; }
};

// Best of three runs: the first ones also pay for warming up the registry.
Timing TimeRebuild(unsigned n)
{
    Timing best{1e9, 0, 0};
    for (int run = 0; run < 3; ++run) {
        FillForBenchmark(n);
        LARGE_INTEGER t[4], frequency;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&t[0]);
        bool taken = TakeLayoutSnapshot();
        QueryPerformanceCounter(&t[1]);
        bool removed = RemoveLayoutFromPreload();
        QueryPerformanceCounter(&t[2]);
        bool written = WriteBackLayoutLists();
        QueryPerformanceCounter(&t[3]);
        EXPECT_TRUE(taken && removed && written) << gRegistryErrorText;
        EXPECT_EQ(gLayoutCount, n);
        EXPECT_EQ(gNewPreloadCount, n - 1);
        EXPECT_EQ(Preload().size(), n - 1);
        EXPECT_EQ(Substitutes().size(), n - 2);
        auto ms = [&](int i) {
            return 1000.0 * static_cast<double>(t[i + 1].QuadPart - t[i].QuadPart) /
                   static_cast<double>(frequency.QuadPart);
        };
        Timing timing{ms(0), ms(1), ms(2)};
        if (timing.Total() < best.Total())
            best = timing;
    }
    return best;
}

class Benchmark : public LayoutRegistry {};

// Figures only; the time is never judged.
TEST_F(Benchmark, SnapshotRemovalWriteBack)
{
    const Timing small = TimeRebuild(100), large = TimeRebuild(1000);
    for (const auto& [n, t] : {std::make_pair(100, small), std::make_pair(1000, large)})
        printf("[ BENCH    ] %4d entries: %8.1f ms (snapshot %.1f, removal %.1f, write-back %.1f)\n",
               n, t.Total(), t.snapshot, t.removal, t.writeBack);
    printf("[ BENCH    ] ratio 1000/100: %.1f\n", small.Total() > 0 ? large.Total() / small.Total() : 0.0);
}

} // namespace
