#include "support/memory_files.hpp"

#include <algorithm>
#include <functional>

namespace cardtab::testing {

namespace {

IoStatus no_such_file()
{
    IoStatus status = failed_with("No such file or directory");
    status.missing = true;
    return status;
}

} // namespace

FileHandle MemoryFiles::open_file(std::string name)
{
    const auto file = files.find(name);
    std::string* bytes = folders.count(name) != 0 || file == files.end() ? nullptr : &file->second;
    auto open = std::make_unique<Open>(Open{std::move(name), 0, bytes});
    const auto handle = reinterpret_cast<std::intptr_t>(open.get());
    open_[handle] = std::move(open);
    return FileHandle{handle};
}

OpenResult MemoryFiles::open_for_reading(std::string_view name)
{
    const std::string key(name);
    if (files.count(key) == 0 && folders.count(key) == 0) {
        return {FileHandle{}, no_such_file()};
    }
    return {open_file(key), {}};
}

OpenResult MemoryFiles::create_for_writing(std::string_view name)
{
    const std::string key(name);
    if (folders.count(key) != 0) {
        return {FileHandle{}, failed_with("Is a directory")};
    }
    files[key].clear();
    return {open_file(key), {}};
}

FileFacts MemoryFiles::look_up(std::string_view name)
{
    const std::string key(name);
    if (const auto link = descriptor_links.find(key); link != descriptor_links.end()) {
        FileFacts facts = look_up_descriptor(link->second);
        facts.final_name = key;
        return facts;
    }
    return look_up_file(key);
}

FileFacts MemoryFiles::look_up_file(const std::string& key) const
{
    FileFacts facts;
    facts.final_name = key;
    facts.exists = files.count(key) != 0 || folders.count(key) != 0;
    facts.regular = files.count(key) != 0;
    facts.id = {1, std::hash<std::string>{}(key)};
    facts.links = linked.count(key) != 0 ? 2 : 1;
    facts.carries_more = with_attributes.count(key) != 0;
    facts.owned_by_another = owned_by_others.count(key) != 0;
    return facts;
}

FileKind MemoryFiles::identify(std::string_view name)
{
    const FileFacts facts = look_up_file(std::string(name));
    FileKind kind;
    kind.exists = facts.exists;
    kind.folder = folders.count(std::string(name)) != 0;
    kind.regular = facts.regular;
    kind.id = facts.id;
    return kind;
}

// A folder's entries are the names that go on from its name and a '/'.
IoStatus MemoryFiles::list_folder(std::string_view name, std::vector<FolderEntry>& entries)
{
    std::string prefix(name);
    if (!prefix.ends_with('/')) {
        prefix += '/';
    }
    const auto add_entry = [&](const std::string& key) {
        if (key.starts_with(prefix) && key.size() > prefix.size() &&
            key.find('/', prefix.size()) == std::string::npos) {
            entries.push_back({key.substr(prefix.size()), files.count(key) != 0, look_up_file(key).id});
        }
    };
    for (const auto& file : files) {
        add_entry(file.first);
    }
    for (const auto& folder : folders) {
        add_entry(folder.first);
    }
    return {};
}

FileFacts MemoryFiles::look_up_descriptor(int descriptor)
{
    const auto open = descriptor_files.find(descriptor);
    if (open == descriptor_files.end()) {
        FileFacts closed;
        closed.status = failed_with("Bad file descriptor");
        return closed;
    }
    FileFacts facts = look_up_file(open->second);
    facts.exists = true;
    facts.descriptor = descriptor;
    return facts;
}

OpenResult MemoryFiles::open_descriptor(int descriptor)
{
    const auto open = descriptor_files.find(descriptor);
    if (open == descriptor_files.end()) {
        return {FileHandle{}, failed_with("Bad file descriptor")};
    }
    // Written where the descriptor's offset stands: at the end of what the
    // file holds.
    files.try_emplace(open->second);
    OpenResult opened = open_for_update(open->second);
    Open& shared = *open_.at(opened.file.handle);
    shared.shared = true;
    shared.position = shared.bytes->size();
    return opened;
}

OpenResult MemoryFiles::create_new(std::string_view name)
{
    const std::string key(name);
    if (files.count(key) != 0 || folders.count(key) != 0) {
        IoStatus exists = failed_with("File exists");
        exists.exists = true;
        return {FileHandle{}, exists};
    }
    if (refuses_new_files && !key.starts_with(kTemporaryFolder)) {
        IoStatus denied = failed_with("Permission denied");
        denied.denied = true;
        return {FileHandle{}, denied};
    }
    files[key].clear();
    new_files_.insert(key);
    return {open_file(key), {}};
}

OpenResult MemoryFiles::open_for_update(std::string_view name)
{
    const std::string key(name);
    if (files.count(key) == 0) {
        return {FileHandle{}, no_such_file()};
    }
    return {open_file(key), {}};
}

std::string MemoryFiles::temporary_folder()
{
    return std::string(kTemporaryFolder);
}

std::string MemoryFiles::program_folder()
{
    return program_folder_name;
}

IoStatus MemoryFiles::check_writable(std::string_view name)
{
    return folders.count(std::string(name)) != 0 ? failed_with("Is a directory") : IoStatus{};
}

void MemoryFiles::adopt_permissions(FileHandle, std::string_view) {}

IoStatus MemoryFiles::move_over(std::string_view from, std::string_view to)
{
    const auto found = files.find(std::string(from));
    if (found == files.end()) {
        return no_such_file();
    }
    files[std::string(to)] = std::move(found->second);
    files.erase(std::string(from));
    new_files_.erase(std::string(from));
    return {};
}

IoStatus MemoryFiles::remove(std::string_view name)
{
    files.erase(std::string(name));
    new_files_.erase(std::string(name));
    return {};
}

ReadResult MemoryFiles::read(FileHandle file, std::span<char> into)
{
    Open& open = *open_.at(file.handle);
    ReadResult result;
    if (open.bytes == nullptr) {
        result.status = failed_with("Is a directory");
        return result;
    }
    const std::string& bytes = *open.bytes;
    result.count = std::min({into.size(), bytes.size() - open.position, read_limit});
    bytes.copy(into.data(), result.count, open.position);
    open.position += result.count;
    return result;
}

IoStatus MemoryFiles::lock(FileHandle file)
{
    const std::string& name = open_.at(file.handle)->name;
    if (auto held = held_by_others.find(name); held != held_by_others.end() && held->second > 0) {
        --held->second;
        IoStatus busy = failed_with("Resource temporarily unavailable");
        busy.busy = true;
        return busy;
    }
    locked.insert(name);
    return {};
}

void MemoryFiles::unlock(FileHandle file)
{
    locked.erase(open_.at(file.handle)->name);
}

IoStatus MemoryFiles::reserve(FileHandle, std::uint64_t)
{
    if (cannot_reserve) {
        IoStatus unsupported = failed_with("Operation not supported");
        unsupported.unsupported = true;
        return unsupported;
    }
    return {};
}

IoStatus MemoryFiles::grow(FileHandle file, std::uint64_t size)
{
    std::string& bytes = *open_.at(file.handle)->bytes;
    if (size > bytes.size() + room_left) {
        return failed_with("No space left on device");
    }
    room_left -= size > bytes.size() ? size - bytes.size() : 0;
    bytes.resize(std::max<std::size_t>(bytes.size(), size), '\0');
    return {};
}

IoStatus MemoryFiles::rewind(FileHandle file)
{
    open_.at(file.handle)->position = 0;
    return {};
}

IoStatus MemoryFiles::truncate(FileHandle file, std::uint64_t size)
{
    open_.at(file.handle)->bytes->resize(static_cast<std::size_t>(size));
    return {};
}

// Writes where the file stands, over what is there and past its end.
IoStatus MemoryFiles::write(FileHandle file, std::span<const char> bytes)
{
    Open& open = *open_.at(file.handle);
    open.bytes->replace(open.position, std::min(bytes.size(), open.bytes->size() - open.position), bytes.data(),
                        bytes.size());
    open.position += bytes.size();
    return {};
}

IoStatus MemoryFiles::close(FileHandle file)
{
    if (!open_.at(file.handle)->shared) {
        locked.erase(open_.at(file.handle)->name);
    }
    open_.erase(file.handle);
    return {};
}

std::string MemoryFiles::names() const
{
    std::string all;
    for (const auto& [name, bytes] : files) {
        all += name + " ";
    }
    for (const auto& [name, is_folder] : folders) {
        all += name + "/ ";
    }
    return all;
}

namespace {

IoStatus injected_failure()
{
    return failed_with(std::string(kInjectedReason));
}

} // namespace

template <>
IoStatus FaultyFiles::failure<IoStatus>()
{
    return injected_failure();
}

template <>
OpenResult FaultyFiles::failure<OpenResult>()
{
    return {FileHandle{}, injected_failure()};
}

template <>
ReadResult FaultyFiles::failure<ReadResult>()
{
    return {0, injected_failure()};
}

template <>
FileFacts FaultyFiles::failure<FileFacts>()
{
    FileFacts facts;
    facts.status = injected_failure();
    return facts;
}

template <>
FileKind FaultyFiles::failure<FileKind>()
{
    FileKind kind;
    kind.status = injected_failure();
    return kind;
}

OpenResult FaultyFiles::open_for_reading(std::string_view name)
{
    return pass_on([&] { return inner_.open_for_reading(name); });
}

OpenResult FaultyFiles::create_for_writing(std::string_view name)
{
    return pass_on([&] { return inner_.create_for_writing(name); });
}

FileFacts FaultyFiles::look_up(std::string_view name)
{
    return pass_on([&] { return inner_.look_up(name); });
}

FileKind FaultyFiles::identify(std::string_view name)
{
    return pass_on([&] { return inner_.identify(name); });
}

IoStatus FaultyFiles::list_folder(std::string_view name, std::vector<FolderEntry>& entries)
{
    return pass_on([&] { return inner_.list_folder(name, entries); });
}

OpenResult FaultyFiles::create_new(std::string_view name)
{
    return pass_on([&] { return inner_.create_new(name); });
}

OpenResult FaultyFiles::open_for_update(std::string_view name)
{
    return pass_on([&] { return inner_.open_for_update(name); });
}

std::string FaultyFiles::temporary_folder()
{
    return inner_.temporary_folder();
}

std::string FaultyFiles::program_folder()
{
    return inner_.program_folder();
}

FileFacts FaultyFiles::look_up_descriptor(int descriptor)
{
    return pass_on([&] { return inner_.look_up_descriptor(descriptor); });
}

OpenResult FaultyFiles::open_descriptor(int descriptor)
{
    return pass_on([&] { return inner_.open_descriptor(descriptor); });
}

IoStatus FaultyFiles::lock(FileHandle file)
{
    return pass_on([&] { return inner_.lock(file); });
}

void FaultyFiles::unlock(FileHandle file)
{
    inner_.unlock(file);
}

IoStatus FaultyFiles::reserve(FileHandle file, std::uint64_t size)
{
    return pass_on([&] { return inner_.reserve(file, size); });
}

IoStatus FaultyFiles::grow(FileHandle file, std::uint64_t size)
{
    return pass_on([&] { return inner_.grow(file, size); });
}

IoStatus FaultyFiles::rewind(FileHandle file)
{
    return pass_on([&] { return inner_.rewind(file); });
}

IoStatus FaultyFiles::truncate(FileHandle file, std::uint64_t size)
{
    return pass_on([&] { return inner_.truncate(file, size); });
}

IoStatus FaultyFiles::check_writable(std::string_view name)
{
    return pass_on([&] { return inner_.check_writable(name); });
}

// It cannot fail: where permissions cannot be given, the file stays as made.
void FaultyFiles::adopt_permissions(FileHandle file, std::string_view like)
{
    inner_.adopt_permissions(file, like);
}

IoStatus FaultyFiles::move_over(std::string_view from, std::string_view to)
{
    return pass_on([&] { return inner_.move_over(from, to); });
}

IoStatus FaultyFiles::remove(std::string_view name)
{
    return pass_on([&] { return inner_.remove(name); });
}

ReadResult FaultyFiles::read(FileHandle file, std::span<char> into)
{
    return pass_on([&] { return inner_.read(file, into); });
}

IoStatus FaultyFiles::write(FileHandle file, std::span<const char> bytes)
{
    return pass_on([&] { return inner_.write(file, bytes); });
}

// A failed close still releases the file, as fclose does.
IoStatus FaultyFiles::close(FileHandle file)
{
    IoStatus closed = inner_.close(file);
    return next_call_fails() ? injected_failure() : closed;
}

} // namespace cardtab::testing
