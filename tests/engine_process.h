// Runs the engine binary as a GUI would: a child process on pipes, in a
// working directory of the test's choice, with line-by-line reading and
// generous time-outs so that a loaded machine does not make tests flaky.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_files.h"

// The test's side of a conversation with an engine over two descriptors:
// whole lines written to one, what the other delivers split into lines.
// The descriptors are closed with it.
struct EngineLines {
    int to_engine = -1;
    int from_engine = -1;
    std::string pending;              // bytes read but not yet split into lines
    std::vector<std::string> lines;   // every line the engine wrote, in order
    size_t cursor = 0;                // lines already handed out by next_line

    void send(const std::string& line)
    {
        std::string text = line + "\n";
        const char* p = text.data();
        size_t left = text.size();
        while (left > 0) {
            ssize_t n = write(to_engine, p, left);
            if (n <= 0) return;
            p += n;
            left -= size_t(n);
        }
    }

    // Reads what arrives within `ms`: 1 data, 0 nothing yet, -1 end of output.
    int read_some(int ms)
    {
        pollfd pfd = {from_engine, POLLIN, 0};
        if (poll(&pfd, 1, ms) <= 0) return 0;
        char buffer[65536];
        ssize_t n = read(from_engine, buffer, sizeof buffer);
        if (n <= 0) return -1;
        pending.append(buffer, size_t(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            pending.erase(0, end + 1);
        }
        return 1;
    }

    // The next line not yet handed out, waiting up to `ms`; "<timeout>" or
    // "<eof>" when none comes.
    std::string next_line(int ms = HANG_MS)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (cursor >= lines.size()) {
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now())
                               .count());
            if (left <= 0) return "<timeout>";
            if (read_some(left < 50 ? left : 50) < 0 && cursor >= lines.size()) return "<eof>";
        }
        return lines[cursor++];
    }

    // Skips lines until one starts with `prefix`; returns it, or "<timeout>" / "<eof>".
    std::string wait_for(const std::string& prefix, int ms = HANG_MS)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now())
                               .count());
            std::string line = next_line(left > 0 ? left : 0);
            if (line == "<timeout>" || line == "<eof>") return line;
            if (line.compare(0, prefix.size(), prefix) == 0) return line;
        }
    }

    // Lines handed out from now on that start with `prefix`, collected for `ms`.
    std::vector<std::string> collect(const std::string& prefix, int ms)
    {
        std::vector<std::string> found;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < deadline) {
            std::string line = next_line(50);
            if (line == "<eof>") break;
            if (line != "<timeout>" && line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
        }
        return found;
    }

    ~EngineLines()
    {
        if (to_engine >= 0) close(to_engine);
        if (from_engine >= 0) close(from_engine);
    }
};

// The engine binary as a child process on pipes.
struct EngineProcess : EngineLines {
    pid_t pid = -1;
    int exit_code = -1000;
    unsigned long long address_space_limit = 0;  // bytes of address space the engine may use (0: no limit)
    int processor_limit = 0;  // the engine runs on this many of the processors it may use (0: all)

    // Starts the binary with the arguments in `dir` (created when missing).
    bool start(const std::vector<std::string>& args, const std::string& dir)
    {
        std::filesystem::create_directories(dir);
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return false;
        pid = fork();
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(out[1], 2);
            close(in[1]);
            close(out[0]);
            if (chdir(dir.c_str()) != 0) _exit(126);
            if (address_space_limit) {
                rlimit limit = {address_space_limit, address_space_limit};
                if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(125);
            }
            if (processor_limit > 0) {
                cpu_set_t allowed, kept;
                CPU_ZERO(&kept);
                if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) _exit(124);
                for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < processor_limit; cpu++) {
                    if (!CPU_ISSET(cpu, &allowed)) continue;
                    CPU_SET(cpu, &kept);
                    taken++;
                }
                if (sched_setaffinity(0, sizeof kept, &kept) != 0) _exit(124);
            }
            std::vector<char*> argv;
            std::string binary = VANT_BINARY_PATH;
            argv.push_back(binary.data());
            std::vector<std::string> copy = args;
            for (std::string& a : copy) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(binary.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        to_engine = in[1];
        from_engine = out[0];
        signal(SIGPIPE, SIG_IGN);
        return pid > 0;
    }

    // Waits for the process to end (closing its input first); kills it after
    // `ms`. Returns the exit code, or -1 when it had to be killed.
    int finish(int ms = HANG_MS)
    {
        if (to_engine >= 0) close(to_engine);
        to_engine = -1;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (pid > 0) {
            int status = 0;
            pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                pid = -1;
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                pid = -1;
                exit_code = -1;
                break;
            }
            read_some(10);
        }
        while (read_some(100) > 0) {
        }
        return exit_code;
    }

    ~EngineProcess()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

// Runs the binary with "-nolog" and the arguments in `dir` to its end,
// sending `input` first when given, and checks the exit code (-1: killed
// after `ms`). Returns every line the engine process has printed.
inline std::string run_to_end(EngineProcess& engine, const std::vector<std::string>& args, const std::string& dir,
                              int expected_code, int ms, const char* input = nullptr)
{
    std::vector<std::string> all = {"-nolog"};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_TRUE(engine.start(all, dir));
    if (input) engine.send(input);
    EXPECT_EQ(engine.finish(ms), expected_code);
    std::string out;
    for (const std::string& line : engine.lines) out += line + "\n";
    return out;
}
