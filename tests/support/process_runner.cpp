#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>

extern char** environ;

namespace hvtest {

namespace {

// Both ends close on exec, so a child started by another thread at the same
// time does not keep our pipe open; the spawned program gets its ends by dup2.
bool MakePipe(int fds[2]) {
    return ::pipe2(fds, O_CLOEXEC) == 0;
}

void CloseIfOpen(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
    ProcessResult result;
    int out[2] = {-1, -1}, err[2] = {-1, -1};
    if (!MakePipe(out) || !MakePipe(err)) {
        result.err = std::string("pipe: ") + std::strerror(errno);
        for (int* fd : {&out[0], &out[1], &err[0], &err[1]}) CloseIfOpen(*fd);
        return result;
    }

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, options.mergeStderr ? out[1] : err[1],
                                     STDERR_FILENO);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    CloseIfOpen(out[1]);
    CloseIfOpen(err[1]);
    if (spawned != 0) {
        result.err = program + ": " + std::strerror(spawned);
        CloseIfOpen(out[0]);
        CloseIfOpen(err[0]);
        return result;
    }

    // Reads both pipes as they fill, so a program that writes much to one
    // of them never blocks on it, until both are closed or time runs out.
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    std::string* sinks[2] = {&result.out, &result.err};
    int* fds[2] = {&out[0], &err[0]};
    while (out[0] >= 0 || err[0] >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            break;
        }
        pollfd polled[2];
        nfds_t n = 0;
        int which[2];
        for (int i = 0; i < 2; ++i) {
            if (*fds[i] < 0) continue;
            polled[n] = {*fds[i], POLLIN, 0};
            which[n++] = i;
        }
        const int ready = ::poll(polled, n, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) break;
        for (nfds_t k = 0; ready > 0 && k < n; ++k) {
            if (polled[k].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(polled[k].fd, buffer, sizeof buffer);
            if (got > 0)
                sinks[which[k]]->append(buffer, static_cast<size_t>(got));
            else if (got == 0 || errno != EINTR)
                CloseIfOpen(*fds[which[k]]);
        }
    }
    CloseIfOpen(out[0]);
    CloseIfOpen(err[0]);
    if (result.timedOut) ::kill(pid, SIGKILL);
    const int exitCode = WaitFor(pid);
    result.exitCode = result.timedOut ? -1 : exitCode;
    return result;
}

std::string PlaceProgramIn(const std::string& program, const std::filesystem::path& folder) {
    const std::filesystem::path target = folder / std::filesystem::path(program).filename();
    std::error_code ec;
    std::filesystem::create_hard_link(program, target, ec);
    if (ec) {
        ec.clear();
        std::filesystem::copy_file(program, target,
                                   std::filesystem::copy_options::overwrite_existing, ec);
    }
    return ec ? std::string() : target.string();
}

ProgramFolder::ProgramFolder(const std::string& program, const std::string& camSetup) {
    folder_ = std::filesystem::temp_directory_path() /
              ("hv-program-" + std::to_string(::getpid()) + "-" +
               std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    program_ = PlaceProgramIn(program, folder_);
    if (!camSetup.empty()) {
        std::ofstream out(folder_ / "CamSetup.xml", std::ios::binary);
        out << camSetup;
    }
}

ProgramFolder::~ProgramFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

}  // namespace hvtest
