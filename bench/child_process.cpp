#include "bench/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace bench {

namespace {

int toRunner = -1, fromRunner = -1;

bool spawnAndWait(std::vector<std::string> argv, double& seconds, long& peakKb) {
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    peakKb = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Requests: the arguments, each ending with '\0', then an empty one.
// Answers: "ok seconds peakKb\n" or "failed\n".
[[noreturn]] void serve(int in, int out) {
    std::string buffer;
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(in, chunk, sizeof chunk);
        if (got <= 0) _exit(0);
        buffer.append(chunk, static_cast<size_t>(got));
        size_t end;
        while ((end = buffer.find(std::string("\0\0", 2))) != std::string::npos) {
            std::vector<std::string> argv;
            for (size_t at = 0; at <= end;) {
                const size_t zero = buffer.find('\0', at);
                argv.push_back(buffer.substr(at, zero - at));
                at = zero + 1;
            }
            buffer.erase(0, end + 2);
            double seconds = 0;
            long peak = 0;
            char answer[96];
            const bool ok = spawnAndWait(argv, seconds, peak);
            const int n = ok ? std::snprintf(answer, sizeof answer, "ok %.6f %ld\n", seconds, peak)
                             : std::snprintf(answer, sizeof answer, "failed\n");
            if (write(out, answer, static_cast<size_t>(n)) != n) _exit(1);
        }
    }
}

}  // namespace

void startChildRunner() {
    int requests[2], answers[2];
    if (pipe(requests) != 0 || pipe(answers) != 0) return;
    const pid_t pid = fork();
    if (pid == 0) {
        close(requests[1]);
        close(answers[0]);
        serve(requests[0], answers[1]);
    }
    close(requests[0]);
    close(answers[1]);
    if (pid < 0) return;
    toRunner = requests[1];
    fromRunner = answers[0];
}

bool runChild(const std::string& program, const std::vector<std::string>& args, double& seconds, long& peakKb) {
    if (toRunner < 0) return spawnAndWait([&] {
            std::vector<std::string> all{program};
            all.insert(all.end(), args.begin(), args.end());
            return all;
        }(), seconds, peakKb);
    std::string request = program + '\0';
    for (const std::string& a : args) request += a + '\0';
    request += '\0';
    if (write(toRunner, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return false;
    std::string answer;
    char c;
    while (read(fromRunner, &c, 1) == 1 && c != '\n') answer += c;
    return std::sscanf(answer.c_str(), "ok %lf %ld", &seconds, &peakKb) == 2;
}

}  // namespace bench
