#include "robot.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <set>
#include <utility>

namespace {

struct Button { int id; const char* name; };
const Button kButtons[] = {
    {IDOK, "ok"}, {IDCANCEL, "cancel"}, {IDYES, "yes"}, {IDNO, "no"},
    {IDABORT, "abort"}, {IDRETRY, "retry"}, {IDIGNORE, "ignore"},
    {IDTRYAGAIN, "tryagain"}, {IDCONTINUE, "continue"}};

const int kTextId = 0xFFFF;
const DWORD kPollMs = 20;
// A copy started just before the started process ends must still be caught.
const DWORD kGraceMs = 300;
// A box is read once it is shown (its init is done); these bound the wait for
// a box that never reports itself visible.
const int kPollsForEmptyText = 5, kPollsAtMost = 25;

// Ordinal, as Windows compares file, class and environment names.
bool LessNoCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_LESS_THAN;
}
bool SameNoCase(const std::wstring& a, const std::wstring& b) { return !LessNoCase(a, b) && !LessNoCase(b, a); }

std::string BaseName(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::wstring ExeNameOf(const RobotOptions& o) {
    if (!o.applicationName.empty()) return Utf16(BaseName(o.applicationName));
    const std::string& c = o.commandLine;
    size_t i = c.find_first_not_of(" \t");
    if (i == std::string::npos) return L"";
    if (c[i] == '"') {
        size_t end = c.find('"', i + 1);
        return Utf16(BaseName(c.substr(i + 1, end == std::string::npos ? end : end - i - 1)));
    }
    size_t end = c.find_first_of(" \t", i);
    return Utf16(BaseName(c.substr(i, end == std::string::npos ? end : end - i)));
}

// The block is kept sorted because Windows documents that order as required.
std::wstring EnvironmentBlock(const std::string& extra) {
    std::vector<std::wstring> vars;
    wchar_t* env = GetEnvironmentStringsW();
    for (const wchar_t* p = env; p && *p; p += std::wcslen(p) + 1) vars.push_back(p);
    if (env) FreeEnvironmentStringsW(env);
    // Skipping the first character keeps "=C:=C:\x" style entries intact.
    auto nameOf = [](const std::wstring& v) { return v.substr(0, v.find(L'=', 1)); };
    size_t start = 0;
    while (start < extra.size()) {
        size_t end = std::min(extra.find('\n', start), extra.size());
        std::wstring pair = Utf16(extra.substr(start, end - start));
        start = end + 1;
        if (!pair.empty() && pair.back() == L'\r') pair.pop_back();
        if (pair.find(L'=', 1) == std::wstring::npos) continue;
        vars.erase(std::remove_if(vars.begin(), vars.end(),
                       [&](const std::wstring& v) { return SameNoCase(nameOf(v), nameOf(pair)); }),
                   vars.end());
        vars.push_back(pair);
    }
    std::stable_sort(vars.begin(), vars.end(),
                     [&](const std::wstring& a, const std::wstring& b) { return LessNoCase(nameOf(a), nameOf(b)); });
    std::wstring block;
    for (const std::wstring& v : vars) block += v + L'\0';
    return block + L'\0';
}

std::vector<std::pair<DWORD, std::wstring>> Processes() {
    std::vector<std::pair<DWORD, std::wstring>> list;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return list;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe))
        list.emplace_back(pe.th32ProcessID, pe.szExeFile);
    CloseHandle(snap);
    return list;
}

// For another process's window GetWindowTextW reads the text the system
// keeps, without sending a message, so a hung program cannot block the robot.
std::string TextOf(HWND w) {
    if (!w) return "";
    std::vector<wchar_t> buf(33000);
    int n = GetWindowTextW(w, buf.data(), static_cast<int>(buf.size()));
    return Utf8(std::wstring(buf.data(), n > 0 ? n : 0));
}

BOOL CALLBACK Collect(HWND w, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
    return TRUE;
}

bool Alive(HANDLE h) { return WaitForSingleObject(h, 0) == WAIT_TIMEOUT; }

void Observe(RobotWindow& s, HWND w) {
    bool visible = IsWindowVisible(w) != FALSE;
    if (s.visible && !visible) return;
    RECT r{};
    std::string title = TextOf(w);
    if (!GetWindowRect(w, &r)) return;  // gone while looked at: what was seen before stands
    s.seen = true;
    s.title = title;
    s.visible = visible;
    s.x = r.left; s.y = r.top; s.width = r.right - r.left; s.height = r.bottom - r.top;
}

bool HasButton(HWND box, int id) {
    HWND b = GetDlgItem(box, id);
    return b && (GetWindowLongW(b, GWL_STYLE) & WS_VISIBLE);
}

void Answer(HWND box, RobotBox& rec, const std::vector<std::string>& script, size_t& next) {
    int id = 0;
    if (next < script.size()) {
        rec.answer = script[next++];
        for (const Button& b : kButtons) if (rec.answer == b.name) id = b.id;
    } else {
        rec.answer = "unscripted";
    }
    for (int fallback : {IDNO, IDOK, IDCANCEL}) if (!id && HasButton(box, fallback)) id = fallback;
    for (const Button& b : kButtons) if (!id && HasButton(box, b.id)) id = b.id;
    if (!id) id = IDCANCEL;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

std::string Escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}


// What one watch over the boxes has seen and answered so far.
struct BoxScan {
    std::vector<std::string> script;
    const RobotOptions* hold = nullptr;
    std::set<HWND> handled;
    std::map<HWND, int> pending;
    size_t next = 0;
    std::vector<RobotBox> boxes;
    std::map<HWND, DWORD> firstSeen;  // tick count when each box was first listed
    DWORD waitedMs = 0;               // boxes on screen, from first seen to answered
};

void Hold(HWND box, const RobotOptions& o, size_t number) {
    RECT r{};
    GetWindowRect(box, &r);
    if (o.boxShiftY)
        SetWindowPos(box, nullptr, r.left, r.top + o.boxShiftY, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    if (!o.holdSignal.empty()) {
        HANDLE f = CreateFileW(Utf16(o.holdSignal + std::to_string(number)).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    }
    Sleep(o.holdMs);
}

// One poll: records and answers every new box of the given processes
// process when it is 0), and follows the status window.
void ScanBoxes(BoxScan& scan, const std::set<DWORD>& pids, const std::string& statusClass,
               RobotWindow* status) {
    std::vector<HWND> tops;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&tops));
    std::set<HWND> present(tops.begin(), tops.end());
    for (auto it = scan.handled.begin(); it != scan.handled.end();)
        it = present.count(*it) ? std::next(it) : scan.handled.erase(it);
    for (HWND w : tops) {
        wchar_t cls[256];
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (!pids.count(pid) || !GetClassNameW(w, cls, 256)) continue;
        if (status && !statusClass.empty() && SameNoCase(cls, Utf16(statusClass))) Observe(*status, w);
        if (std::wcscmp(cls, L"#32770") != 0 || scan.handled.count(w)) continue;
        if (!scan.firstSeen.count(w)) scan.firstSeen[w] = GetTickCount();
        int& polls = scan.pending[w];
        std::string text = TextOf(GetDlgItem(w, kTextId));
        bool shown = IsWindowVisible(w) && (!text.empty() || polls >= kPollsForEmptyText);
        if (!shown && polls < kPollsAtMost) { ++polls; continue; }
        scan.pending.erase(w);
        scan.handled.insert(w);
        RobotBox box;
        box.caption = TextOf(w);
        box.text = text;
        for (const Button& b : kButtons)
            if (HasButton(w, b.id)) box.buttons += std::string(box.buttons.empty() ? "" : ",") + b.name;
        box.pid = pid;
        box.hasOwner = GetWindow(w, GW_OWNER) != nullptr;
        scan.boxes.push_back(box);
        if (scan.hold && scan.hold->holdMs) Hold(w, *scan.hold, scan.boxes.size());
        if (scan.hold && scan.hold->whileShown) scan.hold->whileShown(scan.boxes.back());
        Answer(w, scan.boxes.back(), scan.script, scan.next);
        scan.waitedMs += GetTickCount() - scan.firstSeen[w];
    }
    for (auto it = scan.pending.begin(); it != scan.pending.end();)
        it = present.count(it->first) ? std::next(it) : scan.pending.erase(it);
}

struct InProcess {
    BoxScan scan;
    RobotOptions options;
    HANDLE thread = nullptr;
    volatile LONG stop = 0;
};
InProcess* inProcess;

DWORD WINAPI WatchOwnBoxes(void* arg) {
    InProcess* w = static_cast<InProcess*>(arg);
    while (!InterlockedCompareExchange(&w->stop, 0, 0)) {
        ScanBoxes(w->scan, {GetCurrentProcessId()}, "", nullptr);
        Sleep(kPollMs);
    }
    return 0;
}

}  // namespace

void StartAnsweringOwnBoxes(const std::vector<std::string>& answers,
                            std::function<void(const RobotBox&)> whileShown) {
    StopAnsweringOwnBoxes();
    inProcess = new InProcess;
    inProcess->options.whileShown = std::move(whileShown);
    inProcess->scan.hold = &inProcess->options;
    inProcess->scan.script = answers;
    inProcess->thread = CreateThread(nullptr, 0, WatchOwnBoxes, inProcess, 0, nullptr);
}

std::vector<RobotBox> StopAnsweringOwnBoxes() {
    std::vector<RobotBox> boxes;
    if (!inProcess) return boxes;
    InterlockedExchange(&inProcess->stop, 1);
    WaitForSingleObject(inProcess->thread, 5000);
    CloseHandle(inProcess->thread);
    boxes = inProcess->scan.boxes;
    delete inProcess;
    inProcess = nullptr;
    return boxes;
}

std::wstring Utf16(const std::string& utf8) {
    std::wstring out(utf8.size(), L'\0');
    out.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0],
                                   static_cast<int>(out.size())));
    return out;
}

std::string Utf8(const std::wstring& utf16) {
    std::string out(3 * utf16.size(), '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), &out[0],
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

RobotRun RunWithRobot(const RobotOptions& o) {
    RobotRun run;
    // Under Wine the first window of a cold session starts explorer, which can
    // take seconds: bring the desktop up before the program's clock starts.
    GetDesktopWindow();
    std::wstring exe = ExeNameOf(o);
    // Leftovers of earlier runs are not this run's copies and must not keep it waiting.
    std::set<DWORD> ignored;
    for (const auto& p : Processes()) if (SameNoCase(p.second, exe)) ignored.insert(p.first);

    std::wstring env = o.environment.empty() ? L"" : EnvironmentBlock(o.environment);
    std::wstring app = Utf16(o.applicationName), cmd = Utf16(o.commandLine);
    cmd.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(app.empty() ? nullptr : app.c_str(), &cmd[0], nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, env.empty() ? nullptr : &env[0], nullptr, &si, &pi))
        return run;
    run.started = true;
    CloseHandle(pi.hThread);
    ignored.insert(pi.dwProcessId);

    std::vector<HANDLE> others;
    // Only this run's processes are answered: a copy left waiting by an
    // earlier run keeps its box.
    std::set<DWORD> mine = {pi.dwProcessId};
    BoxScan scan;
    scan.script = o.answers;
    scan.hold = &o;
    DWORD begin = GetTickCount(), quietSince = 0;
    bool quiet = false;
    for (;;) {
        bool alive = Alive(pi.hProcess);
        auto procs = Processes();
        // The real file name beats the one guessed from the command line.
        for (const auto& p : procs) if (p.first == pi.dwProcessId) exe = p.second;
        for (const auto& p : procs) {
            if (ignored.count(p.first) || !SameNoCase(p.second, exe)) continue;
            HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, p.first);
            if (!h) { alive = true; continue; }  // may be still starting: retry next poll
            others.push_back(h);
            ignored.insert(p.first);
            mine.insert(p.first);
        }
        for (HANDLE h : others) alive = alive || Alive(h);

        ScanBoxes(scan, mine, o.statusClass, &run.status);
        DWORD now = GetTickCount();
        if (alive) quiet = false;
        else if (!quiet) { quiet = true; quietSince = now; }
        else if (now - quietSince >= kGraceMs) break;
        if (now - begin >= o.timeoutMs) { run.timedOut = alive; break; }
        Sleep(kPollMs);
    }

    std::vector<HANDLE> all = others;
    all.insert(all.begin(), pi.hProcess);
    ULONGLONG start = 0, end = 0;
    for (HANDLE h : all) {
        if (run.timedOut && Alive(h)) { TerminateProcess(h, 0xFFFFFFFF); WaitForSingleObject(h, 2000); }
        DWORD code = 0xFFFFFFFF;
        GetExitCodeProcess(h, &code);
        FILETIME created, exited, kernel, user;
        if (GetProcessTimes(h, &created, &exited, &kernel, &user)) {
            auto ticks = [](FILETIME t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
            if (h == pi.hProcess) start = ticks(created);
            end = std::max(end, ticks(exited));
        }
        if (h == pi.hProcess) run.exitCode = code; else run.otherExitCodes.push_back(code);
        CloseHandle(h);
    }
    run.boxes = scan.boxes;
    run.runMs = end > start ? double(end - start) / 10000.0 : 0.0;
    run.boxWaitMs = scan.waitedMs;
    return run;
}

std::string DescribeRun(const RobotRun& run) {
    std::string s = std::string("started: ") + (run.started ? "yes" : "no") +
                    ", timed out: " + (run.timedOut ? "yes" : "no") +
                    ", exit code: " + std::to_string(run.exitCode) + ", other exit codes: [";
    for (size_t i = 0; i < run.otherExitCodes.size(); ++i) s += (i ? ", " : "") + std::to_string(run.otherExitCodes[i]);
    s += "]\n";
    for (size_t i = 0; i < run.boxes.size(); ++i) {
        const RobotBox& b = run.boxes[i];
        s += "box " + std::to_string(i + 1) + " (pid " + std::to_string(b.pid) +
             (b.hasOwner ? ", owned" : ", no owner") + "): caption \"" + Escaped(b.caption) + "\" text \"" +
             Escaped(b.text) + "\" buttons [" + b.buttons + "] answer " + b.answer + "\n";
    }
    const RobotWindow& w = run.status;
    if (!w.seen) return s + "status window: not seen\n";
    return s + "status window: \"" + Escaped(w.title) + "\" at " + std::to_string(w.x) + "," + std::to_string(w.y) +
           " size " + std::to_string(w.width) + "x" + std::to_string(w.height) +
           (w.visible ? ", visible" : ", hidden") + "\n";
}
