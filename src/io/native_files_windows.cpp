#include "io/native_files.hpp"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace cardtab {

namespace {

// The console control handler runs on a thread of its own and can reach
// nothing but static storage, so the name of the new file waiting to replace
// the table lives here, in a buffer that exists before the file does. The
// lock makes "remove it" (the handler) and "move it into place" (the run)
// exclusive: the handler never lets go of it, so once it has run the file
// stays gone.
constexpr std::size_t kMaxPendingName = 32768;
std::array<wchar_t, kMaxPendingName> pending_name{};
bool pending = false;
SRWLOCK pending_lock = SRWLOCK_INIT;

BOOL WINAPI remove_pending_on_console_event(DWORD)
{
    AcquireSRWLockExclusive(&pending_lock);
    if (pending) {
        DeleteFileW(pending_name.data());
        pending = false;
    }
    // Not handled: the default handler then ends the process as Ctrl-C or
    // the close of the console would have.
    return FALSE;
}

class PendingLocked {
public:
    PendingLocked() { AcquireSRWLockExclusive(&pending_lock); }
    ~PendingLocked() { ReleaseSRWLockExclusive(&pending_lock); }
    PendingLocked(const PendingLocked&) = delete;
    PendingLocked& operator=(const PendingLocked&) = delete;
};

HANDLE handle_of(FileHandle file)
{
    return reinterpret_cast<HANDLE>(file.handle);
}

FileHandle file_of(HANDLE handle)
{
    return FileHandle{reinterpret_cast<std::intptr_t>(handle)};
}

bool holds_non_ascii(std::string_view bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char byte) { return static_cast<unsigned char>(byte) >= 0x80; });
}

// Names are bytes. One that is valid UTF-8 and not plain ASCII is taken as
// UTF-8; any other is in the ANSI code page, as the byte API would take it,
// so a configuration saved either way names the file its author meant.
std::wstring wide_name(std::string_view name)
{
    const auto length = static_cast<int>(name.size());
    if (holds_non_ascii(name)) {
        const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), length, nullptr, 0);
        if (needed > 0) {
            std::wstring wide(static_cast<std::size_t>(needed), L'\0');
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), length, wide.data(), needed);
            return wide;
        }
    }
    const int needed = MultiByteToWideChar(CP_ACP, 0, name.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), length, wide.data(), needed);
    return wide;
}

std::string utf8_of(std::wstring_view wide)
{
    const auto length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(needed, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, bytes.data(), needed, nullptr, nullptr);
    return bytes;
}

// Windows' errors in the words the C library uses for the same errors, so
// that both builds say the same thing.
int errno_of(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return EPIPE;
    default:
        return EIO;
    }
}

IoStatus system_failure(DWORD error)
{
    // A spreadsheet holds the table open this way while it shows it.
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        return failed_with("the file is in use by another program (close it and run again)");
    }
    const int number = errno_of(error);
    IoStatus status = failed_with(std::strerror(number));
    status.missing = number == ENOENT;
    return status;
}

IoStatus last_failure()
{
    return system_failure(GetLastError());
}

OpenResult open_handle(std::string_view name, DWORD access, DWORD disposition)
{
    OpenResult result;
    const HANDLE handle = CreateFileW(wide_name(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.status = last_failure();
        return result;
    }
    result.file = file_of(handle);
    return result;
}

// Where a plain file finally lies, its links followed; the name itself when
// Windows cannot tell.
std::string final_name_of(HANDLE handle, std::string_view name)
{
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    if (length >= final.size()) {
        final.resize(length);
        length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    }
    if (length == 0 || length >= final.size()) {
        return std::string(name);
    }
    final.resize(length);
    return utf8_of(final);
}

// An existing table that we may not write (read-only, or held open by a
// program that lets no one else write it) is refused, as opening it for
// writing would have been, rather than quietly replaced.
IoStatus check_writable(const std::wstring& target)
{
    const HANDLE probe = CreateFileW(target.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? IoStatus{} : system_failure(error);
    }
    CloseHandle(probe);
    return {};
}

// A name of our own beside the target: the process number and a counter
// make it unique among runs, and CREATE_NEW makes sure of it.
std::string unique_end(unsigned attempt)
{
    std::array<char, 40> text{};
    const auto stamp = static_cast<unsigned long long>(GetTickCount64());
    std::snprintf(text.data(), text.size(), ".cardtab-%lx-%llx-%x", GetCurrentProcessId(), stamp, attempt);
    return text.data();
}

constexpr unsigned kNameAttempts = 100;

} // namespace

NativeFiles::NativeFiles()
{
    SetConsoleCtrlHandler(remove_pending_on_console_event, TRUE);
}

OpenResult NativeFiles::open_for_reading(std::string_view name)
{
    return open_handle(name, GENERIC_READ, OPEN_EXISTING);
}

OpenResult NativeFiles::create_for_writing(std::string_view name)
{
    return open_handle(name, GENERIC_WRITE, CREATE_ALWAYS);
}

FileFacts NativeFiles::look_up(std::string_view name)
{
    FileFacts facts;
    facts.final_name = std::string(name);
    const HANDLE handle = CreateFileW(wide_name(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const IoStatus failure = last_failure();
        if (!failure.missing) {
            facts.status = failure;
        }
        return facts;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    facts.exists = true;
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) != 0) {
        facts.regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        facts.id = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    }
    if (facts.regular) {
        facts.final_name = final_name_of(handle, name);
    }
    CloseHandle(handle);
    return facts;
}

NewFile NativeFiles::create_beside(std::string_view target)
{
    NewFile created;
    const std::wstring wide_target = wide_name(target);
    created.status = check_writable(wide_target);
    if (!created.status.ok) {
        return created;
    }
    DWORD error = ERROR_FILE_EXISTS;
    for (unsigned attempt = 0; attempt < kNameAttempts && error == ERROR_FILE_EXISTS; ++attempt) {
        const std::string end = unique_end(attempt);
        const std::string name = std::string(target).append(end);
        const std::wstring wide = wide_target + wide_name(end);
        if (wide.size() >= kMaxPendingName) {
            error = ERROR_FILENAME_EXCED_RANGE;
            break;
        }
        const PendingLocked locked;
        std::copy(wide.begin(), wide.end(), pending_name.begin());
        pending_name[wide.size()] = L'\0';
        // Shared for deletion, so that the console handler can remove it
        // while the run still writes it.
        const HANDLE handle = CreateFileW(pending_name.data(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            pending = true;
            created.file = file_of(handle);
            created.name = name;
            return created;
        }
        error = GetLastError();
    }
    created.status = system_failure(error);
    created.folder_refused = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
    return created;
}

// Nothing here is flushed to the disk. A run must never lose the old table,
// and the move gives that: whoever opens the name finds the old table or the
// whole new one. Surviving a power cut would need a flush of the file on
// every run, which costs far more than a table is worth.
IoStatus NativeFiles::replace(std::string_view new_name, std::string_view target)
{
    const std::wstring from = wide_name(new_name);
    const std::wstring to = wide_name(target);
    const PendingLocked locked;
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        const DWORD error = GetLastError();
        // Some file systems refuse to move over an existing file that
        // ReplaceFileW can still replace.
        if (error != ERROR_ACCESS_DENIED ||
            ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) == 0) {
            return system_failure(error);
        }
    }
    pending = false;
    return {};
}

IoStatus NativeFiles::remove(std::string_view new_name)
{
    const std::wstring name = wide_name(new_name);
    const PendingLocked locked;
    if (DeleteFileW(name.c_str()) == 0 && GetLastError() != ERROR_FILE_NOT_FOUND) {
        return last_failure();
    }
    pending = false;
    return {};
}

ReadResult NativeFiles::read(FileHandle file, std::span<char> into)
{
    ReadResult result;
    DWORD got = 0;
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(into.size(), DWORD{1} << 30));
    if (ReadFile(handle_of(file), into.data(), wanted, &got, nullptr) == 0) {
        const DWORD error = GetLastError();
        // The writer of a pipe has closed it: the end of the file.
        if (error != ERROR_BROKEN_PIPE) {
            result.status = system_failure(error);
        }
        return result;
    }
    result.count = got;
    return result;
}

IoStatus NativeFiles::write(FileHandle file, std::span<const char> bytes)
{
    while (!bytes.empty()) {
        DWORD put = 0;
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), DWORD{1} << 30));
        if (WriteFile(handle_of(file), bytes.data(), wanted, &put, nullptr) == 0) {
            return last_failure();
        }
        if (put == 0) {
            return system_failure(ERROR_HANDLE_DISK_FULL);
        }
        bytes = bytes.subspan(put);
    }
    return {};
}

IoStatus NativeFiles::close(FileHandle file)
{
    if (CloseHandle(handle_of(file)) == 0) {
        return last_failure();
    }
    return {};
}

} // namespace cardtab
