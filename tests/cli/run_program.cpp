// Starting the program and collecting its output, once for POSIX and once
// for Windows.
#include "run_program.h"

#include <cstdio>

#if defined(_WIN32)

#include <windows.h>

namespace {

std::string read_handle(HANDLE handle)
{
    std::string data;
    char chunk[4096];
    DWORD n;
    while (ReadFile(handle, chunk, sizeof chunk, &n, nullptr) && n > 0) {
        data.append(chunk, n);
    }
    CloseHandle(handle);
    return data;
}

std::string text_of(const std::string& raw)
{
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i];
    }
    return text;
}

// Quotes one argument so that the runtime's splitting gives it back whole.
std::string quoted(const std::string& arg)
{
    std::string q(1, '"');
    std::size_t backslashes = 0;
    for (char ch : arg) {
        if (ch == '\\') {
            ++backslashes;
            continue;
        }
        q.append(ch == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        q += ch;
    }
    q.append(2 * backslashes, '\\');
    q.append(1, '"');
    return q;
}

// A program that has not ended after this long is taken to hang, and ended.
constexpr DWORD hang_limit_ms = 60000;

// Starts torvanix with the ANSI or the UTF-16 `arguments` appended to its
// command line (`wide` set: the UTF-16 ones) and collects what it writes.
// With output to a file or nowhere, a program that hangs is ended after
// hang_limit_ms; its run then has exit code -1.
ProgramRun run_with_arguments(const std::string& arguments, const std::wstring* wide,
                              OutputTo output)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
    if (!CreatePipe(&err_read, &err_write, &inherit, 0)) return {};
    SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);

    char out_file[MAX_PATH] = {};
    if (output == OutputTo::file) {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "tvx", 0, out_file);
        out_write = CreateFileA(out_file, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    } else if (output != OutputTo::closed) {
        if (!CreatePipe(&out_read, &out_write, &inherit, 0)) return {};
        SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
        if (output == OutputTo::broken_pipe) {
            CloseHandle(out_read);
            out_read = nullptr;
        }
    }

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;

    const std::string program = torvanix_exe_path();
    PROCESS_INFORMATION process = {};
    BOOL started;
    if (wide == nullptr) {
        std::string command_line = quoted(program);
        if (!arguments.empty()) {
            command_line.append(1, ' ').append(arguments);
        }
        started = CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                                 nullptr, nullptr, &startup, &process);
    } else {
        // The program's path is ASCII (the build tree); the arguments are
        // passed as they are, whatever the ANSI code page can show.
        std::wstring command_line(1, L'"');
        command_line.append(program.begin(), program.end()).append(1, L'"');
        if (!wide->empty()) {
            command_line.append(1, L' ').append(*wide);
        }
        STARTUPINFOW startup_wide = {};
        startup_wide.cb = sizeof startup_wide;
        startup_wide.dwFlags = startup.dwFlags;
        startup_wide.hStdInput = startup.hStdInput;
        startup_wide.hStdOutput = startup.hStdOutput;
        startup_wide.hStdError = startup.hStdError;
        started = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup_wide, &process);
    }
    if (out_write) CloseHandle(out_write);
    CloseHandle(err_write);

    ProgramRun run;
    bool ended = true;
    if (started && out_read == nullptr &&
        WaitForSingleObject(process.hProcess, hang_limit_ms) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 1);
        ended = false;
    }
    if (out_read) run.raw_out = read_handle(out_read);
    run.err = read_handle(err_read);
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code;
        if (ended && GetExitCodeProcess(process.hProcess, &code)) {
            run.exit_code = static_cast<int>(code);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    if (output == OutputTo::file) {
        HANDLE in = CreateFileA(out_file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        run.raw_out = read_handle(in);
        DeleteFileA(out_file);
    }
    run.out = text_of(run.raw_out);
    return run;
}

}  // namespace

// torvanix.exe is built next to the test programs.
std::string torvanix_exe_path()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + "torvanix.exe";
}

ProgramRun run_torvanix_command_line(const std::string& arguments, OutputTo output)
{
    return run_with_arguments(arguments, nullptr, output);
}

ProgramRun run_torvanix_wide_command_line(const std::wstring& arguments, OutputTo output)
{
    return run_with_arguments({}, &arguments, output);
}

ProgramRun run_torvanix(const std::vector<std::string>& args, OutputTo output)
{
    std::string arguments;
    for (const std::string& arg : args) {
        if (!arguments.empty()) arguments.append(1, ' ');
        arguments.append(quoted(arg));
    }
    return run_torvanix_command_line(arguments, output);
}

#else

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace {

// Reads `fd` to its end; a terminal's master side ends with an error once
// the program has closed the other side.
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

// The command that starts the program: an emulator first in cross builds.
std::vector<std::string> program_command()
{
    std::vector<std::string> command;
#if defined(TORVANIX_LAUNCHER)
    std::string launcher = TORVANIX_LAUNCHER;
    for (std::size_t start = 0;;) {
        std::size_t bar = launcher.find('|', start);
        command.push_back(launcher.substr(start, bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
#endif
    command.push_back(TORVANIX_EXE);
    return command;
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
    char out_file[] = "/tmp/torvanix-out-XXXXXX";
    int out_fd = -1;
    if (output == OutputTo::file) {
        out_fd = mkstemp(out_file);
    }
    // A pseudo-terminal: the program writes to its device side, the test
    // reads the master side. Output processing is off, so "\n" stays "\n".
    int terminal = -1;
    if (output == OutputTo::terminal) {
        terminal = posix_openpt(O_RDWR | O_NOCTTY);
        if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) return {};
        out_fd = open(ptsname(terminal), O_RDWR | O_NOCTTY);
        termios mode;
        if (out_fd < 0 || tcgetattr(out_fd, &mode) != 0) return {};
        mode.c_oflag &= ~OPOST;
        tcsetattr(out_fd, TCSANOW, &mode);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (output == OutputTo::closed) {
        posix_spawn_file_actions_addclose(&actions, 1);
    } else if (output == OutputTo::file || output == OutputTo::terminal) {
        posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
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

    std::vector<std::string> words = program_command();
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    pid_t pid;
    int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out_pipe[1]);
    close(err_pipe[1]);

    ProgramRun run;
    if (output == OutputTo::pipe) {
        run.raw_out = read_all(out_pipe[0]);
    } else if (output == OutputTo::terminal) {
        close(out_fd);
        close(out_pipe[0]);
        run.raw_out = read_all(terminal);
    } else if (output != OutputTo::broken_pipe) {
        close(out_pipe[0]);
    }
    run.err = read_all(err_pipe[0]);
    if (spawned == 0) {
        int status;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
            run.exit_code = WEXITSTATUS(status);
        }
    }
    if (output == OutputTo::file) {
        lseek(out_fd, 0, SEEK_SET);
        run.raw_out = read_all(out_fd);
        unlink(out_file);
    }
    run.out = run.raw_out;
    return run;
}

#endif
