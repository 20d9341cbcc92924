// Start-up as a user meets it: from starting the program to its first window on the screen, and
// the memory the process then holds while idle, beside the bare toolkit's program with the same
// window (bare_window, BareWindow.h) started the same way.
//
// Each iteration starts both programs in turn, each with fresh configuration and runtime folders
// (a first start, showing the sample list) and the toolkit's painting log on; the first window
// is there when the log tells that a top-level window's first frame went to the platform
// ("Flushing"). After a settling time the process's resident and proportional memory is read
// from /proc, and the process is killed. The platform is the caller's QT_QPA_PLATFORM (offscreen
// when unset; run under Xvfb with QT_QPA_PLATFORM=xcb for a real window system).
//
// Counters: program_ms and bare_ms (start to first window), ratio (program over bare),
// program_rss_MB, bare_rss_MB and rss_over_bare_MB, and the same for PSS.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSettle = std::chrono::milliseconds(600);  // start-up's queued work done
constexpr int kTimeoutMs = 10000;

struct Launch {
    double ms = 0;
    double rssMB = 0;
    double pssMB = 0;
    std::string error;
};

// A value in kB of /proc/<pid>/<file> ("VmRSS:", "Pss:").
double procKB(pid_t pid, const char* file, const char* key) {
    QFile f(QString("/proc/%1/%2").arg(pid).arg(file));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ')[0].toDouble();
    return 0;
}

Launch launch(const char* program, const QString& root) {
    Launch result;
    static int serial = 0;
    const QString folder = QString("%1/run%2").arg(root).arg(++serial);
    QDir().mkpath(folder + "/config");
    QDir().mkpath(folder + "/temp");
    QDir().mkpath(folder + "/runtime");
    QFile::setPermissions(folder + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("QT_LOGGING_RULES=", 0) == 0 || entry.rfind("XDG_CONFIG_HOME=", 0) == 0 ||
            entry.rfind("XDG_RUNTIME_DIR=", 0) == 0 || entry.rfind("TEMP=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("QT_LOGGING_RULES=qt.widgets.painting.info=true");
    env.push_back("XDG_CONFIG_HOME=" + (folder + "/config").toStdString());
    env.push_back("XDG_RUNTIME_DIR=" + (folder + "/runtime").toStdString());
    env.push_back("TEMP=" + (folder + "/temp").toStdString());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {0, 0, 0, "no pipe"};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::string path(program);
    char* argv[] = {path.data(), nullptr};

    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return {0, 0, 0, std::string("cannot start ") + program};
    }

    std::string seen;
    bool shown = false;
    char buffer[4096];
    while (!shown) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (poll(&p, 1, kTimeoutMs) <= 0) break;
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        seen.append(buffer, size_t(n));
        shown = seen.find("qt.widgets.painting: Flushing") != std::string::npos;
    }
    result.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!shown) result.error = std::string(program) + " showed no window: " + seen.substr(0, 300);

    // Idle: keep its log drained while it settles, then read its memory.
    const Clock::time_point settled = Clock::now() + kSettle;
    while (Clock::now() < settled) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (poll(&p, 1, 50) > 0 && read(pipeFds[0], buffer, sizeof buffer) <= 0) break;
    }
    result.rssMB = procKB(pid, "status", "VmRSS:") / 1024.0;
    result.pssMB = procKB(pid, "smaps_rollup", "Pss:") / 1024.0;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(pipeFds[0]);
    return result;
}

void BM_StartToFirstWindow(benchmark::State& state) {
    QTemporaryDir root;
    double program = 0, bare = 0, programRss = 0, bareRss = 0, programPss = 0, barePss = 0;
    for (auto _ : state) {
        const Launch p = launch(MORROWLIN_PROGRAM, root.path());
        const Launch b = launch(BARE_WINDOW_PROGRAM, root.path());
        if (!p.error.empty() || !b.error.empty()) {
            state.SkipWithError((p.error + " " + b.error).c_str());
            break;
        }
        state.SetIterationTime(p.ms / 1000.0);
        program += p.ms;
        bare += b.ms;
        programRss += p.rssMB;
        bareRss += b.rssMB;
        programPss += p.pssMB;
        barePss += b.pssMB;
    }
    const double n = double(state.iterations());
    if (n == 0) return;
    state.counters["program_ms"] = program / n;
    state.counters["bare_ms"] = bare / n;
    state.counters["ratio"] = program / bare;
    state.counters["program_rss_MB"] = programRss / n;
    state.counters["bare_rss_MB"] = bareRss / n;
    state.counters["rss_over_bare_MB"] = (programRss - bareRss) / n;
    state.counters["program_pss_MB"] = programPss / n;
    state.counters["pss_over_bare_MB"] = (programPss - barePss) / n;
}
BENCHMARK(BM_StartToFirstWindow)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
