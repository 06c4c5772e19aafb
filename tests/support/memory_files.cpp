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
    FileFacts facts;
    facts.final_name = key;
    facts.exists = files.count(key) != 0 || folders.count(key) != 0;
    facts.regular = files.count(key) != 0;
    facts.id = {1, std::hash<std::string>{}(key)};
    return facts;
}

NewFile MemoryFiles::create_beside(std::string_view target)
{
    NewFile created;
    if (refuses_new_files) {
        created.status = failed_with("Permission denied");
        created.folder_refused = true;
        return created;
    }
    created.name = std::string(target) + ".new-" + std::to_string(++new_file_count_);
    files[created.name].clear();
    new_files_.insert(created.name);
    created.file = open_file(created.name);
    return created;
}

IoStatus MemoryFiles::replace(std::string_view new_name, std::string_view target)
{
    const auto found = files.find(std::string(new_name));
    if (found == files.end()) {
        return no_such_file();
    }
    files[std::string(target)] = std::move(found->second);
    files.erase(std::string(new_name));
    new_files_.erase(std::string(new_name));
    return {};
}

IoStatus MemoryFiles::remove(std::string_view new_name)
{
    files.erase(std::string(new_name));
    new_files_.erase(std::string(new_name));
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

IoStatus MemoryFiles::write(FileHandle file, std::span<const char> bytes)
{
    open_.at(file.handle)->bytes->append(bytes.data(), bytes.size());
    return {};
}

IoStatus MemoryFiles::close(FileHandle file)
{
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

OpenResult FaultyFiles::open_for_reading(std::string_view name)
{
    if (next_call_fails()) {
        return {FileHandle{}, failed_with(std::string(kInjectedReason))};
    }
    return inner_.open_for_reading(name);
}

OpenResult FaultyFiles::create_for_writing(std::string_view name)
{
    if (next_call_fails()) {
        return {FileHandle{}, failed_with(std::string(kInjectedReason))};
    }
    return inner_.create_for_writing(name);
}

FileFacts FaultyFiles::look_up(std::string_view name)
{
    if (next_call_fails()) {
        FileFacts facts;
        facts.status = failed_with(std::string(kInjectedReason));
        return facts;
    }
    return inner_.look_up(name);
}

NewFile FaultyFiles::create_beside(std::string_view target)
{
    if (next_call_fails()) {
        NewFile created;
        created.status = failed_with(std::string(kInjectedReason));
        return created;
    }
    return inner_.create_beside(target);
}

IoStatus FaultyFiles::replace(std::string_view new_name, std::string_view target)
{
    if (next_call_fails()) {
        return failed_with(std::string(kInjectedReason));
    }
    return inner_.replace(new_name, target);
}

IoStatus FaultyFiles::remove(std::string_view new_name)
{
    if (next_call_fails()) {
        return failed_with(std::string(kInjectedReason));
    }
    return inner_.remove(new_name);
}

ReadResult FaultyFiles::read(FileHandle file, std::span<char> into)
{
    if (next_call_fails()) {
        return {0, failed_with(std::string(kInjectedReason))};
    }
    return inner_.read(file, into);
}

IoStatus FaultyFiles::write(FileHandle file, std::span<const char> bytes)
{
    if (next_call_fails()) {
        return failed_with(std::string(kInjectedReason));
    }
    return inner_.write(file, bytes);
}

// A failed close still releases the file, as fclose does.
IoStatus FaultyFiles::close(FileHandle file)
{
    IoStatus closed = inner_.close(file);
    if (next_call_fails()) {
        return failed_with(std::string(kInjectedReason));
    }
    return closed;
}

} // namespace cardtab::testing
