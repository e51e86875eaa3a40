// Measures the window where a person feels it.
//
//   window_bench keystrokes            latency of one keystroke in each input box
//   window_bench bare-window           a bare Qt window of the same size: the reference
//   window_bench label-window          the same with one line of Chinese text in the
//                                      Song face: what any window with such text costs
//   window_bench startup PROGRAM...    time until PROGRAM maps its window, and its RSS
//
// `startup` needs an X display and prints one line:
// "<milliseconds> <resident KiB> <anonymous KiB>".
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <X11/Xlib.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "settings_store.h"
#include "system_clipboard.h"
#include "form_widget.h"

namespace {

struct Percentiles {
    double median;
    double p99;
};

Percentiles percentiles(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[static_cast<std::size_t>(q * double(samples.size() - 1))]; };
    return {at(0.5), at(0.99)};
}

// Alternates a letter and Backspace, so the box stays short and every
// keystroke changes its text.
Percentiles timeKeystrokes(QLineEdit* box, int count)
{
    std::vector<double> millis;
    millis.reserve(static_cast<std::size_t>(count));
    QElapsedTimer clock;
    for (int i = 0; i < count; ++i) {
        clock.start();
        if (i % 2 == 0)
            QTest::keyClick(box, static_cast<char>('a' + i % 26));
        else
            QTest::keyClick(box, Qt::Key_Backspace);
        millis.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return percentiles(std::move(millis));
}

int keystrokes(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", configDir.path().toUtf8());
    portauth::qt::FormWidget window(std::make_unique<portauth::qt::SystemClipboard>(), std::make_unique<portauth::ui::StoreSettings>(&portauth::GetRemembered, &portauth::SaveRemembered));
    window.show();
    for (const char* name : {"txtUsername", "txtIP", "txtPassword"}) {
        auto* box = window.findChild<QLineEdit*>(name);
        box->setFocus();
        const Percentiles p = timeKeystrokes(box, 1000);
        std::printf("%-12s keystroke: median %.3f ms, p99 %.3f ms (1000 keystrokes)\n", name, p.median, p.p99);
    }
    return 0;
}

int bareWindow(int argc, char** argv, bool withText)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("bare");
    window.setFixedSize(365, 396);
    if (withText) {
        window.setFont(QFont(QStringLiteral("AR PL UMing CN"), 9));
        (new QLabel(QStringLiteral("您的网络相关信息："), &window))->move(16, 16);
    }
    window.show();
    return app.exec();
}

struct Memory {
    long residentKiB = 0;
    long anonymousKiB = 0; // the process's own pages: heap, stacks, caches
};

// Resident memory also counts the pages of libraries and font files that are
// mapped from the page cache; the anonymous part is what the process allocated.
Memory memoryOf(pid_t pid)
{
    Memory memory;
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);) {
        std::istringstream fields(line);
        std::string name;
        long kib = 0;
        if (!(fields >> name >> kib))
            continue; // the header line
        if (name == "Rss:")
            memory.residentKiB = kib;
        else if (name == "Anonymous:")
            memory.anonymousKiB = kib;
    }
    return memory;
}

// Watches the root window for the first top-level window that is mapped after
// the program starts; with no window manager that is the program's own.
int startup(char** command)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(command[0], command);
        _exit(127);
    }
    for (XEvent event;;) {
        XNextEvent(display, &event);
        if (event.type == MapNotify)
            break;
    }
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - started;
    // Resident memory once the first paint and the event loop have settled.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const Memory memory = memoryOf(child);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    std::printf("%.1f %ld %ld\n", elapsed.count(), memory.residentKiB, memory.anonymousKiB);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "keystrokes") == 0)
        return keystrokes(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "bare-window") == 0)
        return bareWindow(argc, argv, false);
    if (argc >= 2 && std::strcmp(argv[1], "label-window") == 0)
        return bareWindow(argc, argv, true);
    if (argc >= 3 && std::strcmp(argv[1], "startup") == 0)
        return startup(argv + 2);
    std::fprintf(stderr, "usage: window_bench keystrokes | bare-window | label-window | startup PROGRAM [ARGS...]\n");
    return 2;
}
