#include "run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string read_all(int fd)
{
    std::string data;
    char chunk[4096];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0) {
        data.append(chunk, static_cast<std::size_t>(n));
    }
    close(fd);
    return data;
}

}  // namespace

ProgramRun run_torvanix(const std::vector<std::string>& args, OutputTo output)
{
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
        return {};
    }
    if (output == OutputTo::broken_pipe) {
        close(out_pipe[0]);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (output == OutputTo::closed) {
        posix_spawn_file_actions_addclose(&actions, 1);
    } else {
        posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    }
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);

    // The child starts with the default action for a broken pipe, as it
    // would from a shell, whatever the test runner does with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    std::string program = TORVANIX_EXE;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    pid_t pid;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out_pipe[1]);
    close(err_pipe[1]);

    ProgramRun run;
    if (output != OutputTo::broken_pipe) {
        run.out = read_all(out_pipe[0]);
    }
    run.err = read_all(err_pipe[0]);
    if (spawned != 0) {
        return run;
    }
    int status;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        run.exit_code = WEXITSTATUS(status);
    }
    return run;
}
