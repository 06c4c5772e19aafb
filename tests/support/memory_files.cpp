#include "support/memory_files.hpp"

#include <algorithm>

namespace cardtab::testing {

OpenResult MemoryFiles::open_for_reading(std::string_view name)
{
    const std::string key(name);
    OpenResult result;
    if (files.count(key) == 0 && folders.count(key) == 0) {
        result.status = failed_with("No such file or directory");
        result.status.missing = true;
        return result;
    }
    auto open = std::make_unique<Open>(Open{key, 0, false});
    result.file.handle = open.get();
    open_[open.get()] = std::move(open);
    return result;
}

OpenResult MemoryFiles::create_for_writing(std::string_view name)
{
    const std::string key(name);
    OpenResult result;
    if (folders.count(key) != 0) {
        result.status = failed_with("Is a directory");
        return result;
    }
    files[key].clear();
    auto open = std::make_unique<Open>(Open{key, 0, true});
    result.file.handle = open.get();
    open_[open.get()] = std::move(open);
    return result;
}

ReadResult MemoryFiles::read(OpenFile file, std::span<char> into)
{
    Open& open = *open_.at(file.handle);
    ReadResult result;
    if (folders.count(open.name) != 0) {
        result.status = failed_with("Is a directory");
        return result;
    }
    const std::string& bytes = files.at(open.name);
    result.count = std::min({into.size(), bytes.size() - open.position, read_limit});
    bytes.copy(into.data(), result.count, open.position);
    open.position += result.count;
    return result;
}

IoStatus MemoryFiles::write(OpenFile file, std::span<const char> bytes)
{
    files.at(open_.at(file.handle)->name).append(bytes.data(), bytes.size());
    return {};
}

IoStatus MemoryFiles::close(OpenFile file)
{
    open_.erase(file.handle);
    return {};
}

OpenResult FaultyFiles::open_for_reading(std::string_view name)
{
    if (next_call_fails()) {
        return {OpenFile{}, failed_with(std::string(kInjectedReason))};
    }
    return inner_.open_for_reading(name);
}

OpenResult FaultyFiles::create_for_writing(std::string_view name)
{
    if (next_call_fails()) {
        return {OpenFile{}, failed_with(std::string(kInjectedReason))};
    }
    return inner_.create_for_writing(name);
}

ReadResult FaultyFiles::read(OpenFile file, std::span<char> into)
{
    if (next_call_fails()) {
        return {0, failed_with(std::string(kInjectedReason))};
    }
    return inner_.read(file, into);
}

IoStatus FaultyFiles::write(OpenFile file, std::span<const char> bytes)
{
    if (next_call_fails()) {
        return failed_with(std::string(kInjectedReason));
    }
    return inner_.write(file, bytes);
}

// A failed close still releases the file, as fclose does.
IoStatus FaultyFiles::close(OpenFile file)
{
    IoStatus closed = inner_.close(file);
    if (next_call_fails()) {
        return failed_with(std::string(kInjectedReason));
    }
    return closed;
}

} // namespace cardtab::testing
