#include <windows.h>
// after windows.h
#include <psapi.h>

#include <string>

#include "support/scratch.hpp"

namespace cardtab::testing {

// A thread of its own closes the handle after `hold`, or sooner, when the
// lock goes (`holder_` is the event that says so).
FileLock::FileLock(const std::filesystem::path& path, std::chrono::milliseconds hold)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE gone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (file == INVALID_HANDLE_VALUE || gone == nullptr) {
        return;
    }
    locks_ = true;
    holder_ = reinterpret_cast<std::intptr_t>(gone);
    releaser_ = std::thread([file, gone, hold] {
        WaitForSingleObject(gone, static_cast<DWORD>(hold.count()));
        CloseHandle(file);
    });
}

FileLock::~FileLock()
{
    if (releaser_.joinable()) {
        SetEvent(reinterpret_cast<HANDLE>(holder_));
        releaser_.join();
        CloseHandle(reinterpret_cast<HANDLE>(holder_));
    }
}

// Wine says it made the link and makes nothing, so the link is looked for.
bool make_symlink(const std::filesystem::path& target, const std::filesystem::path& link)
{
    const DWORD kUnprivileged = 0x2; // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    std::error_code error;
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), kUnprivileged) != 0 &&
           std::filesystem::is_symlink(link, error);
}

bool can_limit_runs()
{
    return false;
}

// Wine, where these tests run, delivers no console control events:
// GenerateConsoleCtrlEvent fails there, and a Ctrl-C typed into its console
// reaches no handler.
bool can_interrupt_runs()
{
    return false;
}

InterruptedRun run_cardtab_interrupted(const std::filesystem::path&, int, std::string_view, const RunOptions&)
{
    return {};
}

namespace {

std::filesystem::path output_file_of(const std::filesystem::path& folder, const char* stream)
{
    return folder.parent_path() / (folder.filename().string() + stream);
}

HANDLE inheritable_file(const std::filesystem::path& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// Standard output and error end their lines in CR LF on Windows; the
// table's bytes never depend on them.
std::string lines_ended_in_lf(const std::string& bytes)
{
    std::string text;
    for (const char byte : bytes) {
        if (byte == '\n' && !text.empty() && text.back() == '\r') {
            text.back() = '\n';
        } else {
            text += byte;
        }
    }
    return text;
}

std::string read_and_remove(const std::filesystem::path& path)
{
    std::string bytes = ScratchFolder::read_file(path);
    std::filesystem::remove(path);
    return bytes;
}

constexpr DWORD kRunDeadlineMs = 120000;

std::wstring wide_of_utf8(std::string_view text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// An argument as the runtime's parser takes it back: in double quotes where
// it holds a blank or is empty, its backslashes doubled before a quote.
std::wstring quoted_argument(std::string_view argument)
{
    const std::wstring wide = wide_of_utf8(argument);
    if (!wide.empty() && wide.find_first_of(L" \t\"") == std::wstring::npos) {
        return wide;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t character : wide) {
        if (character == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(character == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        quoted += character;
        backslashes = 0;
    }
    return quoted.append(2 * backslashes, L'\\') + L"\"";
}

} // namespace

ProgramRun run_cardtab(const std::filesystem::path& folder, const RunOptions& options)
{
    keep_case(folder);
    const HANDLE output = inheritable_file(output_file_of(folder, ".stdout"));
    const HANDLE error = inheritable_file(output_file_of(folder, ".stderr"));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = options.output_closed ? nullptr : output;
    startup.hStdError = error;
    const std::wstring exe = (options.program.empty() ? built_path(CARDTAB_EXE) : options.program).wstring();
    std::wstring command = L"\"" + exe + L"\"";
    for (const std::string& argument : options.arguments) {
        command += L" " + quoted_argument(argument);
    }
    PROCESS_INFORMATION process{};
    ProgramRun run;
    // Wine, busy, now and then fails to start a process: a few more tries
    // before the run counts as not started.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                                 &startup, &process) != 0;
        if (!started) {
            Sleep(100);
        }
    }
    if (!started) {
        run.error_output = "the program could not be started (error " + std::to_string(GetLastError()) + ")\n";
    }
    if (started) {
        if (WaitForSingleObject(process.hProcess, kRunDeadlineMs) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, kRunDeadlineMs);
            run.error_output = "the program did not end within the tests' deadline\n";
        }
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        run.exit_status = static_cast<int>(code);
        PROCESS_MEMORY_COUNTERS memory{};
        if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) {
            run.peak_memory_kib = static_cast<long>(memory.PeakWorkingSetSize / 1024);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(output);
    CloseHandle(error);
    run.output_bytes = read_and_remove(output_file_of(folder, ".stdout"));
    run.output = lines_ended_in_lf(run.output_bytes);
    run.error_output += lines_ended_in_lf(read_and_remove(output_file_of(folder, ".stderr")));
    return run;
}

std::string give_attribute(const ScratchFolder&)
{
    return "Windows files have no extended attributes of this kind";
}

bool has_attribute(const ScratchFolder&)
{
    return false;
}

std::string give_acl(const ScratchFolder&)
{
    return "a replaced Windows file keeps its access-control list through ReplaceFileW, which wine does not show";
}

bool has_acl(const ScratchFolder&)
{
    return false;
}

std::pair<std::uint64_t, std::uint64_t> file_id(const std::filesystem::path& path)
{
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// One after the other: what runs at once on Windows is not seen under wine.
std::vector<ProgramRun> run_cardtabs_at_once(const std::vector<std::filesystem::path>& folders,
                                             const RunOptions& options)
{
    std::vector<ProgramRun> runs;
    for (const std::filesystem::path& folder : folders) {
        runs.push_back(run_cardtab(folder, options));
    }
    return runs;
}

} // namespace cardtab::testing
