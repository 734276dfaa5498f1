// pipe_session ENGINE [ARGUMENTS...]: plays a GUI for a Windows build. Starts
// the engine with its standard input and output on Win32 anonymous pipes (as
// a Windows GUI does, so the engine's PeekNamedPipe polling is what gets
// exercised) and follows a script read from this program's standard input:
//   send TEXT    writes TEXT and a line feed
//   part TEXT    writes TEXT without a line end (the line continues later)
//   pause MS     waits MS milliseconds
//   wait PREFIX  waits until the engine writes a line starting with PREFIX
// Every engine line is copied to standard output. Ends when the engine exits
// (its exit code is returned), or with 2 after 120 s or at a broken pipe.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HANDLE to_engine = nullptr;
HANDLE from_engine = nullptr;
std::string pending;
std::vector<std::string> lines;  // every line the engine wrote
size_t waited_up_to = 0;         // lines before this one were looked at by "wait"
const DWORD start_ticks = GetTickCount();

bool timed_out() { return GetTickCount() - start_ticks > 120000; }

bool write_text(const std::string& text)
{
    DWORD written = 0;
    return WriteFile(to_engine, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
}

// Copies whatever the engine has written; false once its output has ended.
bool pump_output()
{
    DWORD waiting = 0;
    if (!PeekNamedPipe(from_engine, nullptr, 0, nullptr, &waiting, nullptr)) return false;
    if (waiting == 0) {
        Sleep(5);
        return true;
    }
    char bytes[4096];
    DWORD got = 0;
    if (!ReadFile(from_engine, bytes, waiting < sizeof bytes ? waiting : sizeof bytes, &got, nullptr)) return false;
    pending.append(bytes, got);
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        lines.push_back(line);
        pending.erase(0, end + 1);
    }
    return true;
}

// Waits for a line starting with the prefix among the lines that arrived
// since the last wait (an answer may already have come in).
bool wait_for_prefix(const std::string& prefix)
{
    while (!timed_out()) {
        for (; waited_up_to < lines.size(); waited_up_to++) {
            if (lines[waited_up_to].compare(0, prefix.size(), prefix) == 0) {
                waited_up_to++;
                return true;
            }
        }
        if (!pump_output()) return false;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: pipe_session ENGINE [ARGUMENTS...] < script\n");
        return 2;
    }
    std::string command_line = std::string("\"") + argv[1] + "\"";
    for (int i = 2; i < argc; i++) command_line += std::string(" ") + argv[i];

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE engine_in = nullptr, engine_out = nullptr;
    if (!CreatePipe(&engine_in, &to_engine, &inherit, 0) || !CreatePipe(&from_engine, &engine_out, &inherit, 0)) {
        std::fprintf(stderr, "pipe_session: CreatePipe failed\n");
        return 2;
    }
    SetHandleInformation(to_engine, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(from_engine, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = engine_in;
    startup.hStdOutput = engine_out;
    startup.hStdError = engine_out;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "pipe_session: cannot start %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    CloseHandle(engine_in);
    CloseHandle(engine_out);

    char script_line[4096];
    while (std::fgets(script_line, sizeof script_line, stdin)) {
        script_line[std::strcspn(script_line, "\r\n")] = 0;
        std::string text = script_line;
        bool ok = true;
        if (text.compare(0, 5, "send ") == 0) ok = write_text(text.substr(5) + "\n");
        else if (text.compare(0, 5, "part ") == 0) ok = write_text(text.substr(5));
        else if (text.compare(0, 6, "pause ") == 0) Sleep(DWORD(std::atoi(text.c_str() + 6)));
        else if (text.compare(0, 5, "wait ") == 0) ok = wait_for_prefix(text.substr(5));
        if (!ok) {
            std::fprintf(stderr, "pipe_session: failed at \"%s\"\n", script_line);
            TerminateProcess(process.hProcess, 2);
            return 2;
        }
        pump_output();
    }

    // The script is done: copy the rest of the output until the engine exits.
    while (!timed_out() && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) pump_output();
    while (pump_output() && !timed_out()) {
        DWORD waiting = 0;
        if (!PeekNamedPipe(from_engine, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) break;
    }
    DWORD code = 2;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    else {
        std::fprintf(stderr, "pipe_session: engine did not exit\n");
        TerminateProcess(process.hProcess, 2);
    }
    return int(code);
}
