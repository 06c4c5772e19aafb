#include "io/table_replacement.hpp"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <cerrno>

#include "io/interrupts.hpp"

namespace cardtab {

namespace {

// A new table's name is the table's own with this and a few letters after
// it, so that whoever finds one left behind (after a power cut, say) can
// tell what it is.
constexpr std::string_view kNewFileMark = ".cardtab-";
constexpr std::size_t kUniqueLetters = 6;
constexpr unsigned kNameAttempts = 100;

// Letters that differ between runs and between attempts: the clock, where
// this run's stack lies, and the attempt. Creating the file exclusively
// makes sure of the rest.
std::string unique_name(std::string_view target, unsigned attempt)
{
    constexpr std::string_view kLetters = "0123456789abcdefghijklmnopqrstuvwxyz";
    const auto ticks = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t mixed = ticks ^ (reinterpret_cast<std::uintptr_t>(&attempt) << 20) ^ attempt;
    // splitmix64: every bit of the input reaches every letter.
    mixed += 0x9E3779B97F4A7C15u;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9u;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBu;
    mixed ^= mixed >> 31;
    std::string name = std::string(target).append(kNewFileMark);
    for (std::size_t n = 0; n < kUniqueLetters; ++n, mixed /= kLetters.size()) {
        name += kLetters[mixed % kLetters.size()];
    }
    return name;
}

// Makes the new file and records it for an interrupt in one step, as seen
// from a handler.
OpenResult create_pending(FileLayer& files, const std::string& name)
{
    const InterruptsHeld held;
    if (!record_pending_file(name)) {
        OpenResult refused;
        refused.status = failed_with(std::strerror(ENAMETOOLONG));
        return refused;
    }
    OpenResult created = files.create_new(name);
    if (!created.status.ok) {
        clear_pending_file();
    }
    return created;
}

IoStatus create_beside(FileLayer& files, NewTable& table)
{
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = unique_name(table.target, attempt);
        const OpenResult created = create_pending(files, name);
        if (created.status.ok) {
            files.adopt_permissions(created.file, table.target);
            table.file = created.file;
            table.new_name = name;
            return {};
        }
        if (!created.status.exists) {
            return created.status;
        }
    }
    return failed_with(std::strerror(EEXIST));
}

IoStatus open_in_place(FileLayer& files, NewTable& table)
{
    table.way = Replacement::in_place;
    const OpenResult opened = files.create_for_writing(table.target);
    table.file = opened.file;
    return opened.status;
}

// Once the new file is gone or in place, an interrupt has nothing left to
// do. Called with interrupts held.
IoStatus forget_new_file_once(const IoStatus& status, NewTable& table)
{
    if (status.ok) {
        clear_pending_file();
        table.new_name.clear();
    }
    return status;
}

} // namespace

IoStatus begin_table(FileLayer& files, const FileFacts& target, NewTable& table)
{
    table.target = target.final_name;
    if (target.exists && !target.regular) {
        return open_in_place(files, table);
    }
    if (const IoStatus writable = files.check_writable(table.target); !writable.ok) {
        return writable;
    }
    table.way = Replacement::rename;
    const IoStatus created = create_beside(files, table);
    return created.denied ? open_in_place(files, table) : created;
}

IoStatus put_new_table_in_place(FileLayer& files, NewTable& table)
{
    if (table.new_name.empty()) {
        return {};
    }
    const InterruptsHeld held;
    return forget_new_file_once(files.move_over(table.new_name, table.target), table);
}

void discard_new_table(FileLayer& files, NewTable& table)
{
    if (!table.new_name.empty()) {
        const InterruptsHeld held;
        forget_new_file_once(files.remove(table.new_name), table);
    }
}

} // namespace cardtab
