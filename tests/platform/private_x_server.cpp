#include "private_x_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

extern char** environ;

namespace vexa::platform::testing {
namespace {

// Reads the display number Xvfb writes to its -displayfd descriptor once it accepts clients.
std::string ReadDisplayNumber(int fd) {
    std::string text;
    char c = 0;
    pollfd pfd{fd, POLLIN, 0};
    while (poll(&pfd, 1, 10'000) > 0 && read(fd, &c, 1) == 1) {
        if (c == '\n') return text;
        text += c;
    }
    return {};
}

}  // namespace

bool XvfbAvailable() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (access((dir + "/Xvfb").c_str(), X_OK) == 0) return true;
    }
    return false;
}

PrivateXServer::PrivateXServer(const std::vector<std::string>& extra_args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    std::vector<std::string> args{"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                  "-screen",   "0",          "1920x1080x24",
                                  "-nolisten", "tcp",        "-noreset"};
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        pid_ = -1;
    } else {
        const std::string number = ReadDisplayNumber(fds[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    close(fds[0]);
}

PrivateXServer::~PrivateXServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

void PrivateXServer::Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

}  // namespace vexa::platform::testing
