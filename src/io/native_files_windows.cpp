#include "io/native_files.hpp"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "io/wide_text_windows.hpp"

namespace cardtab {

namespace {

HANDLE handle_of(FileHandle file)
{
    return reinterpret_cast<HANDLE>(file.handle);
}

FileHandle file_of(HANDLE handle)
{
    return FileHandle{reinterpret_cast<std::intptr_t>(handle)};
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
    case ERROR_INVALID_HANDLE:
        return EBADF;
    default:
        return EIO;
    }
}

IoStatus system_failure(DWORD error)
{
    // A spreadsheet holds the table open this way while it shows it.
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        IoStatus busy = failed_with("the file is in use by another program (close it and run again)");
        busy.busy = true;
        return busy;
    }
    const int number = errno_of(error);
    IoStatus status = failed_with(std::strerror(number));
    status.missing = number == ENOENT;
    status.exists = number == EEXIST;
    status.denied = number == EACCES;
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

std::wstring without_long_path_prefix(std::wstring path)
{
    constexpr std::wstring_view kPrefix = L"\\\\?\\";
    return path.starts_with(kPrefix) ? path.substr(kPrefix.size()) : path;
}

// Whether the name is a link, as far as Windows tells: the file it opens
// lies elsewhere than the name says. Any other name is kept as it was
// given, so that a message names the file as its author wrote it.
bool leads_elsewhere(HANDLE handle, std::string_view name)
{
    const std::wstring wide = wide_name(name);
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    std::wstring final(MAX_PATH, L'\0');
    DWORD final_length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    if (final_length >= final.size()) {
        final.resize(final_length);
        final_length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    }
    if (length == 0 || final_length == 0 || length >= full.size() || final_length >= final.size()) {
        return false;
    }
    full.resize(length);
    final.resize(final_length);
    return CompareStringOrdinal(without_long_path_prefix(full).c_str(), -1, without_long_path_prefix(final).c_str(), -1,
                                TRUE) != CSTR_EQUAL;
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

// The standard handles stand for descriptors 0, 1 and 2; there are no
// others.
HANDLE standard_handle(int descriptor)
{
    constexpr std::array<DWORD, 3> kStandardHandles = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    if (descriptor < 0 || static_cast<std::size_t>(descriptor) >= kStandardHandles.size()) {
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = GetStdHandle(kStandardHandles[static_cast<std::size_t>(descriptor)]);
    return handle == nullptr ? INVALID_HANDLE_VALUE : handle;
}

// A file on a disk is a plain file or a folder, with an id and its names;
// a console or a pipe is neither.
void note_what_the_handle_is(HANDLE handle, FileFacts& facts)
{
    BY_HANDLE_FILE_INFORMATION info{};
    facts.exists = true;
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) != 0) {
        facts.regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        facts.id = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
        facts.links = info.nNumberOfLinks;
    }
}

} // namespace

// Windows hands out no handle a standard one had: nothing to take.
NativeFiles::NativeFiles() = default;

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
    note_what_the_handle_is(handle, facts);
    if (facts.regular && leads_elsewhere(handle, name)) {
        facts.final_name = final_name_of(handle, name);
    }
    CloseHandle(handle);
    return facts;
}

FileKind NativeFiles::identify(std::string_view name)
{
    FileKind kind;
    const HANDLE handle = CreateFileW(wide_name(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const IoStatus failure = last_failure();
        kind.status = failure.missing ? IoStatus{} : failure;
        return kind;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    kind.exists = true;
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) != 0) {
        kind.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        kind.regular = !kind.folder;
        kind.id = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    }
    CloseHandle(handle);
    return kind;
}

IoStatus NativeFiles::list_folder(std::string_view name, std::vector<FolderEntry>& entries)
{
    WIN32_FIND_DATAW entry{};
    std::wstring pattern = wide_name(name);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') {
        pattern += L'\\';
    }
    pattern += L'*';
    const HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return last_failure();
    }
    IoStatus status;
    do {
        const std::wstring_view entry_name = entry.cFileName;
        if (entry_name != L"." && entry_name != L"..") {
            entries.push_back({utf8_of(std::wstring(entry_name)), false, FileId{}}); // no file index here
        }
    } while (FindNextFileW(search, &entry) != 0);
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        status = last_failure();
    }
    FindClose(search);
    return status;
}

FileFacts NativeFiles::look_up_descriptor(int descriptor)
{
    FileFacts facts;
    facts.descriptor = descriptor;
    const HANDLE handle = standard_handle(descriptor);
    // A program started without standard error has none to write over.
    if (handle == INVALID_HANDLE_VALUE && descriptor == kStandardError) {
        return facts;
    }
    if (handle == INVALID_HANDLE_VALUE) {
        facts.status = system_failure(ERROR_INVALID_HANDLE);
        return facts;
    }
    note_what_the_handle_is(handle, facts);
    return facts;
}

OpenResult NativeFiles::open_descriptor(int descriptor)
{
    OpenResult result;
    const HANDLE handle = standard_handle(descriptor);
    HANDLE duplicate = INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE) {
        result.status = system_failure(ERROR_INVALID_HANDLE);
    } else if (DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &duplicate, 0, FALSE,
                               DUPLICATE_SAME_ACCESS) == 0) {
        result.status = last_failure();
    } else {
        result.file = file_of(duplicate);
    }
    return result;
}

OpenResult NativeFiles::open_for_update(std::string_view name)
{
    return open_handle(name, GENERIC_WRITE, OPEN_EXISTING);
}

std::string NativeFiles::temporary_folder()
{
    std::wstring folder(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    folder.resize(length > folder.size() ? 0 : length);
    return utf8_of(folder);
}

std::string NativeFiles::program_folder()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    while (length == path.size() && path.size() < 32768) {
        path.resize(path.size() * 2);
        length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    }
    path.resize(length < path.size() ? length : 0);
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::string() : utf8_of(path.substr(0, separator + 1));
}

// Shared for deletion, so that an interrupt can remove it while the run
// still writes it.
OpenResult NativeFiles::create_new(std::string_view name)
{
    OpenResult result;
    const HANDLE handle = CreateFileW(wide_name(name).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.status = last_failure();
        return result;
    }
    result.file = file_of(handle);
    return result;
}

// A file that we may not write (read-only, or held open by a program that
// lets no one else write it) is refused, as opening it for writing would
// have been, rather than quietly replaced.
IoStatus NativeFiles::check_writable(std::string_view name)
{
    const HANDLE probe = CreateFileW(wide_name(name).c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? IoStatus{} : system_failure(error);
    }
    CloseHandle(probe);
    return {};
}

// Windows files carry no permission bits; a new file takes its folder's.
void NativeFiles::adopt_permissions(FileHandle, std::string_view) {}

// ReplaceFileW keeps what the old file carries besides its bytes (its
// access-control list, attributes and streams); where there is no old file,
// or the file system cannot, the file is moved over it.
//
// Nothing here is flushed to the disk. A run must never lose the old table,
// and the move gives that: whoever opens the name finds the old table or the
// whole new one. Surviving a power cut would need a flush of the file on
// every run, which costs far more than a table is worth.
IoStatus NativeFiles::move_over(std::string_view from, std::string_view to)
{
    const std::wstring wide_from = wide_name(from);
    const std::wstring wide_to = wide_name(to);
    if (ReplaceFileW(wide_to.c_str(), wide_from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr) != 0) {
        return {};
    }
    if (MoveFileExW(wide_from.c_str(), wide_to.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        return last_failure();
    }
    return {};
}

IoStatus NativeFiles::remove(std::string_view name)
{
    if (DeleteFileW(wide_name(name).c_str()) == 0 && GetLastError() != ERROR_FILE_NOT_FOUND) {
        return last_failure();
    }
    return {};
}

IoStatus NativeFiles::lock(FileHandle file)
{
    OVERLAPPED whole{};
    if (LockFileEx(handle_of(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &whole) == 0) {
        return last_failure();
    }
    return {};
}

void NativeFiles::unlock(FileHandle file)
{
    OVERLAPPED whole{};
    UnlockFileEx(handle_of(file), 0, MAXDWORD, MAXDWORD, &whole);
}

IoStatus NativeFiles::reserve(FileHandle file, std::uint64_t size)
{
    FILE_ALLOCATION_INFO room{};
    room.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
    if (SetFileInformationByHandle(handle_of(file), FileAllocationInfo, &room, sizeof room) == 0) {
        const DWORD error = GetLastError();
        IoStatus failure = system_failure(error);
        failure.unsupported = error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER ||
                              error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED;
        return failure;
    }
    return {};
}

IoStatus NativeFiles::grow(FileHandle file, std::uint64_t size)
{
    const HANDLE handle = handle_of(file);
    LARGE_INTEGER old_size{};
    if (GetFileSizeEx(handle, &old_size) == 0) {
        return last_failure();
    }
    LARGE_INTEGER none{};
    LARGE_INTEGER position{};
    if (SetFilePointerEx(handle, none, &position, FILE_CURRENT) == 0 ||
        SetFilePointerEx(handle, none, nullptr, FILE_END) == 0) {
        return last_failure();
    }
    static constexpr std::array<char, 64 * 1024> kZeros{};
    for (auto at = static_cast<std::uint64_t>(old_size.QuadPart); at < size;) {
        const auto count = static_cast<DWORD>(std::min<std::uint64_t>(kZeros.size(), size - at));
        DWORD written = 0;
        if (WriteFile(handle, kZeros.data(), count, &written, nullptr) == 0 || written == 0) {
            const IoStatus failure = last_failure();
            SetFilePointerEx(handle, old_size, nullptr, FILE_BEGIN);
            SetEndOfFile(handle);
            SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
            return failure;
        }
        at += written;
    }
    return SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) != 0 ? IoStatus{} : last_failure();
}

IoStatus NativeFiles::rewind(FileHandle file)
{
    LARGE_INTEGER start{};
    return SetFilePointerEx(handle_of(file), start, nullptr, FILE_BEGIN) != 0 ? IoStatus{} : last_failure();
}

IoStatus NativeFiles::truncate(FileHandle file, std::uint64_t size)
{
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    if (SetFilePointerEx(handle_of(file), end, nullptr, FILE_BEGIN) == 0 || SetEndOfFile(handle_of(file)) == 0) {
        return last_failure();
    }
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
