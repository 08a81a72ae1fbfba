// Processor time and peak memory of whole processes, several commands measured in turn.
// Usage: processTime_bench RUNS COMMAND [ARGS...] [:: COMMAND [ARGS...]]...
// Each round runs every command once, in the order given (so that the load of a shared machine
// falls on all of them alike); standard output and error go to /dev/null. Per command: the
// median, fastest and slowest processor time (user + system, from wait4), the median wall time
// and the largest peak resident memory over the runs, and the exit status of the last run.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Measured {
    std::vector<double> cpu, wall;
    long maxRssKiB = 0;
    int status = 0;
};

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void runOnce(const std::vector<char*>& argv, Measured& m) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(2);
    }
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0) {
        std::perror("wait4");
        std::exit(2);
    }
    m.wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    m.cpu.push_back(seconds(usage.ru_utime) + seconds(usage.ru_stime));
    m.maxRssKiB = std::max(m.maxRssKiB, usage.ru_maxrss);
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: processTime_bench RUNS COMMAND [ARGS...] [:: COMMAND [ARGS...]]...\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    std::vector<std::vector<char*>> commands(1);
    for (int i = 2; i < argc; i++) {
        if (std::strcmp(argv[i], "::") == 0) {
            commands.emplace_back();
            continue;
        }
        commands.back().push_back(argv[i]);
    }
    for (auto& c : commands) {
        if (c.empty()) {
            std::fprintf(stderr, "processTime_bench: empty command\n");
            return 2;
        }
        c.push_back(nullptr);
    }
    std::vector<Measured> results(commands.size());
    for (int r = 0; r < runs; r++)
        for (size_t c = 0; c < commands.size(); c++) runOnce(commands[c], results[c]);
    for (size_t c = 0; c < commands.size(); c++) {
        const Measured& m = results[c];
        std::string text;
        for (size_t k = 0; commands[c][k]; k++) text += std::string(k ? " " : "") + commands[c][k];
        std::printf("%s\n  processor time median %.4f s (fastest %.4f, slowest %.4f), wall median %.4f s, "
                    "peak memory %.1f MiB, exit status %d, %d runs\n",
                    text.c_str(), median(m.cpu), *std::min_element(m.cpu.begin(), m.cpu.end()),
                    *std::max_element(m.cpu.begin(), m.cpu.end()), median(m.wall), m.maxRssKiB / 1024.0, m.status,
                    runs);
    }
    return 0;
}
