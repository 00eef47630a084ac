// The editor as a whole process, for the figures run.sh measures from outside:
//
//   marquetor_bench_app first-cycle [FILE]   start-up (opening FILE), one loop cycle (without
//                                            its idle sleep), exit
//   marquetor_bench_app memory [FILE]        the same, then prints "peak_rss_kib N"
//   marquetor_bench_app open FILE            starts empty, then opens FILE through File >
//                                            Open... (the requester answered by a script)
//                                            and prints "open_ms N": the load, the refresh
//                                            and the cycle that shows it, in a fresh process
//   marquetor_bench_app idle SECONDS         idles in the loop (5 ms sleeps) for a second,
//                                            then prints "cpu_fraction F cycles N" over
//                                            SECONDS more, F the processor time used
//                                            (all threads) per second of wall time
//   marquetor_bench_app sleep SECONDS        the same for a loop that only sleeps 5 ms: the
//                                            floor of any loop that wakes 200 times a second
//
// It does what the marquetor program does (src/app/main.cpp): QApplication, the editor's
// start-up with the first argument, then the event loop.

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "editor/editor.h"
#include "editor/eventloop.h"
#include "editor/filecommands.h"
#include "editor/mainwindow.h"
#include "platform/dialogs.h"

namespace {

using namespace marquetor;

double processorSeconds() {
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int usage() {
    std::fprintf(stderr, "Usage: marquetor_bench_app first-cycle|memory [FILE] | open FILE | idle|sleep SECONDS\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return usage();
    const std::string mode = argv[1];
    const bool sleepOnly = mode == "sleep";
    const bool idle = mode == "idle" || sleepOnly;
    const bool open = mode == "open";
    if (!idle && !open && mode != "first-cycle" && mode != "memory") return usage();
    if (open && argc != 3) return usage();
    const char* file = !idle && !open && argc > 2 ? argv[2] : "";
    const double idleSeconds = idle && argc > 2 ? std::atof(argv[2]) : 10.0;

    // The program's own dialogs, except that Open's requester answers from a script here.
    platform::QtDialogs qtDialogs;
    platform::ScriptedDialogs scripted;
    platform::Dialogs& dialogs = open ? static_cast<platform::Dialogs&>(scripted) : qtDialogs;
    editor::Editor ed(dialogs);
    if (!editor::StartEditor(ed, file)) return 1;
    qtDialogs.setParent(ed.window.widget());
    // The first cycle without its idle sleep: the figure is the work until the window is up
    // and the loop runs, not the loop's pause.
    const int idleDelay = ed.frame.idleDelay;
    ed.frame.idleDelay = 0;
    editor::RunCycle(ed);
    ed.frame.idleDelay = idleDelay;

    if (mode == "first-cycle") {
        std::fflush(stdout);
        std::_Exit(0);   // the figure ends here; tearing down is not start-up
    }
    if (open) {
        using Clock = std::chrono::steady_clock;
        scripted.paths.push_back(argv[2]);
        ed.frame.idleDelay = 0;
        const auto start = Clock::now();
        editor::OpenCommand(ed);
        editor::RunCycle(ed);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const bool shown = !scripted.shown.empty() && scripted.shown.back().kind == "openFile";
        std::printf("open_ms %.3f\n", ms);
        std::fflush(stdout);
        std::_Exit(shown ? 0 : 1);   // anything but the requester (a message) is a failed open
    }
    if (mode == "memory") {
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("peak_rss_kib %ld\n", usage.ru_maxrss);
        std::fflush(stdout);
        std::_Exit(0);
    }

    using Clock = std::chrono::steady_clock;
    const auto warm = Clock::now() + std::chrono::seconds(1);
    while (Clock::now() < warm) editor::RunCycle(ed);
    const double cpuStart = processorSeconds();
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(idleSeconds));
    long cycles = 0;
    while (Clock::now() < end && ed.frame.running != 0) {
        if (sleepOnly) {
            platform::SleepMilliseconds(ed.frame.idleDelay);
        } else {
            editor::RunCycle(ed);
        }
        ++cycles;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("cpu_fraction %.5f cycles %ld\n", (processorSeconds() - cpuStart) / wall, cycles);
    std::fflush(stdout);
    std::_Exit(0);
}
