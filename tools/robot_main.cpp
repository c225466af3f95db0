// robot.exe [--answers yes,ok] [--status CLASS] [--timeout MS] [--env NAME=value]...
//           [--report FILE] [--hold MS --shift PX --signal PATH] -- PROGRAM [ARGS...]
// Shell front end of the window robot; the report is UTF-8. Exit code 0 unless the run timed out
// (1), the program could not be started (3) or the arguments were wrong (2).
#include "robot.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>

namespace {

std::vector<std::string> SplitCommas(const std::string& s) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(',', start);
        if (end == std::string::npos) end = s.size();
        if (end > start) parts.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string Report(const RobotRun& run) {
    std::string r;
    if (!run.started) r += "program could not be started\n";
    for (size_t i = 0; i < run.boxes.size(); ++i) {
        const RobotBox& b = run.boxes[i];
        r += "--- box " + std::to_string(i + 1) + " (pid " + std::to_string(b.pid) + ") ---\n";
        r += "caption: " + b.caption + "\nbuttons: " + b.buttons + "\nanswer: " + b.answer + "\n";
        r += b.text + (b.text.empty() || b.text.back() != '\n' ? "\n" : "");
    }
    const RobotWindow& w = run.status;
    if (w.seen)
        r += "status window: " + w.title + " (" + std::to_string(w.x) + "," + std::to_string(w.y) + " " +
             std::to_string(w.width) + "x" + std::to_string(w.height) + (w.visible ? ", visible" : ", hidden") + ")\n";
    else
        r += "status window: not seen\n";
    r += "exit codes: " + std::to_string(run.exitCode);
    for (unsigned long c : run.otherExitCodes) r += ", " + std::to_string(c);
    r += run.timedOut ? "\ntimed out: the remaining processes were killed\n" : "\n";
    r += "time: " + std::to_string(run.runMs) + " ms, boxes waiting for answers: " +
         std::to_string(run.boxWaitMs) + " ms\n";
    return r;
}

}  // namespace

int main() {
    // The words as UTF-8, from the wide command line: main's own are in the
    // ANSI code page, which may lack letters of a path.
    int argc = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> argv;
    for (int k = 0; k < argc; ++k) argv.push_back(Utf8(wide[k]));
    LocalFree(wide);
    RobotOptions o;
    std::string report;
    int i = 1;
    for (; i < argc && argv[i] != "--"; ++i) {
        const std::string& a = argv[i];
        if (i + 1 >= argc) break;
        if (a == "--answers") o.answers = SplitCommas(argv[++i]);
        else if (a == "--status") o.statusClass = argv[++i];
        else if (a == "--timeout") o.timeoutMs = static_cast<unsigned>(std::strtoul(argv[++i].c_str(), nullptr, 10));
        else if (a == "--env") o.environment += argv[++i] + "\n";
        else if (a == "--report") report = argv[++i];
        else if (a == "--hold") o.holdMs = static_cast<unsigned>(std::strtoul(argv[++i].c_str(), nullptr, 10));
        else if (a == "--shift") o.boxShiftY = std::atoi(argv[++i].c_str());
        else if (a == "--signal") o.holdSignal = argv[++i];
        else break;
    }
    if (i + 1 >= argc || argv[i] != "--") {
        std::fprintf(stderr, "usage: robot.exe [--answers a,b] [--status CLASS] [--timeout MS] "
                             "[--env NAME=value] [--report FILE] -- PROGRAM [ARGS...]\n");
        return 2;
    }
    // Wine hands the words over unquoted: quote the program path always and
    // any other word that would otherwise split.
    for (int k = i + 1; k < argc; ++k) {
        std::string w = argv[k];
        bool quote = k == i + 1 || w.empty() || w.find_first_of(" \t") != std::string::npos;
        o.commandLine += (k > i + 1 ? " " : "") + (quote ? "\"" + w + "\"" : w);
    }
    RobotRun run = RunWithRobot(o);
    std::string text = Report(run);
    FILE* out = report.empty() ? stdout : _wfopen(Utf16(report).c_str(), L"wb");
    if (!out) { std::fprintf(stderr, "cannot write %s\n", report.c_str()); return 2; }
    // Binary keeps the UTF-8 and the program's line breaks exactly as they came.
    if (out == stdout) _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(text.data(), 1, text.size(), out);
    if (out != stdout) std::fclose(out);
    return !run.started ? 3 : run.timedOut ? 1 : 0;
}
