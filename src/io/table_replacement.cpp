#include "io/table_replacement.hpp"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <cerrno>
#include <span>
#include <thread>
#include <vector>

#include "io/interrupts.hpp"
#include "io/owned_file.hpp"

namespace cardtab {

namespace {

// A new table's name is the table's own with this and a few letters after
// it, so that whoever finds one left behind (after a power cut, say) can
// tell what it is.
constexpr std::string_view kNewFileMark = ".cardtab-";
constexpr std::size_t kUniqueLetters = 6;
constexpr unsigned kNameAttempts = 100;
// The longest name a folder holds on the file systems in use (bytes on
// Linux, UTF-16 units on Windows, of which a UTF-8 name has no more).
constexpr std::size_t kMaxNameBytes = 255;

// The name a new file's name goes on from: the table's own, or, where the
// mark and the letters would make it too long a name, its folder alone.
std::string_view base_of_new_name(std::string_view target)
{
    const std::size_t separator = target.find_last_of(kFolderSeparators);
    const std::size_t name_start = separator == std::string_view::npos ? 0 : separator + 1;
    const bool fits = target.size() - name_start + kNewFileMark.size() + kUniqueLetters <= kMaxNameBytes;
    return fits ? target : target.substr(0, name_start);
}

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
    std::string name = std::string(base_of_new_name(target)).append(kNewFileMark);
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

// Makes the new file, named after `base`, where the table is written.
IoStatus create_new_file(FileLayer& files, const std::string& base, NewTable& table)
{
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = unique_name(base, attempt);
        const OpenResult created = create_pending(files, name);
        if (created.status.ok) {
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

IoStatus create_among_temporary_files(FileLayer& files, NewTable& table)
{
    table.way = Replacement::copy;
    table.among_temporary_files = true;
    table.temporary_folder = files.temporary_folder();
    return create_new_file(files, table.temporary_folder + "cardtab-table", table);
}

// The table is written whole beside the old one where the folder allows it,
// else among the system's temporary files, then copied in.
IoStatus create_temporary(FileLayer& files, NewTable& table)
{
    table.way = Replacement::copy;
    const IoStatus beside = create_new_file(files, table.target, table);
    return beside.denied ? create_among_temporary_files(files, table) : beside;
}

// Where the folder allows no new file, the table is copied in instead; with
// no table there yet to copy into, nothing could ever take its place.
IoStatus create_beside(FileLayer& files, const FileFacts& target, NewTable& table)
{
    table.way = Replacement::rename;
    IoStatus created = create_new_file(files, table.target, table);
    if (created.ok) {
        files.adopt_permissions(table.file, table.target);
    }
    if (!created.denied) {
        return created;
    }
    if (!target.exists) {
        created.reason = "its folder does not allow new files (" + created.reason + ")";
        return created;
    }
    return create_among_temporary_files(files, table);
}

// Tries `attempt` until no other program holds the file, for as long as the
// table's wait allows, saying once, after a while, that it waits.
template <class Attempt>
IoStatus wait_while_busy(const NewTable& table, Attempt attempt)
{
    const auto start = std::chrono::steady_clock::now();
    bool said = false;
    for (;;) {
        const IoStatus status = attempt();
        if (status.ok || !status.busy) {
            return status;
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        if (waited >= table.lock_wait.longest) {
            IoStatus held = failed_with("held by another program");
            held.busy = true;
            return held;
        }
        if (!said && waited >= table.lock_wait.before_saying && table.lock_wait.say != nullptr) {
            // The table "-" is standard output, which a person calls so.
            const std::string shown = table.name == "-" ? "standard output" : "'" + table.name + "'";
            table.lock_wait.say("waiting for another program to release " + shown + "...");
            said = true;
        }
        std::this_thread::sleep_for(table.lock_wait.between_tries);
    }
}

// A descriptor is written through where the shell opened it. A plain file
// behind it is locked, so that two runs appending to one log at once never
// mix their rows.
IoStatus open_directly(FileLayer& files, const FileFacts& target, NewTable& table)
{
    table.way = Replacement::written_directly;
    const OpenResult opened =
        target.descriptor >= 0 ? files.open_descriptor(target.descriptor) : files.create_for_writing(table.target);
    if (!opened.status.ok || target.descriptor < 0 || !target.regular) {
        table.file = opened.file;
        return opened.status;
    }
    OwnedFile file(files, opened.file);
    if (const IoStatus locked = wait_while_busy(table, [&] { return files.lock(file.handle()); }); !locked.ok) {
        return locked;
    }
    table.locked = true;
    table.file = file.release();
    return {};
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

constexpr std::size_t kCopyChunkBytes = std::size_t{64} * 1024;
constexpr std::string_view kMayBeIncomplete = "; the table may now be incomplete";

IoStatus incomplete(IoStatus status)
{
    status.reason.append(kMayBeIncomplete);
    return status;
}

// The copy itself, with interrupts held: from the first byte written to the
// last, the old table is neither whole nor new, and nothing must end the
// run in between.
IoStatus copy_whole(FileLayer& files, OwnedFile& from, OwnedFile& to, std::uint64_t size, bool take_room)
{
    const InterruptsHeld held;
    if (const IoStatus rewound = files.rewind(to.handle()); !rewound.ok) {
        return rewound;
    }
    // Where the file system cannot reserve room, the table takes it by
    // growing to the new size before its first byte is overwritten; where
    // that fails, it keeps its old length and bytes.
    if (take_room) {
        if (const IoStatus grown = files.grow(to.handle(), size); !grown.ok) {
            return grown;
        }
    }
    std::vector<char> chunk(kCopyChunkBytes);
    for (;;) {
        const ReadResult got = from.read(chunk);
        if (!got.status.ok) {
            return incomplete(got.status);
        }
        if (got.count == 0) {
            break;
        }
        if (const IoStatus written = to.write(std::span<const char>(chunk.data(), got.count)); !written.ok) {
            return incomplete(written);
        }
    }
    if (const IoStatus read = from.close(); !read.ok) {
        return incomplete(read);
    }
    if (const IoStatus cut = files.truncate(to.handle(), size); !cut.ok) {
        return incomplete(cut);
    }
    const IoStatus closed = to.close();
    return closed.ok ? closed : incomplete(closed);
}

// Everything that can fail before the old table is touched comes first:
// opening it, the lock, the room, the temporary file.
IoStatus copy_into_table(FileLayer& files, NewTable& table, std::uint64_t size)
{
    const OpenResult opened = files.open_for_update(table.target);
    if (!opened.status.ok) {
        return opened.status;
    }
    OwnedFile to(files, opened.file);
    if (const IoStatus locked = wait_while_busy(table, [&] { return files.lock(to.handle()); }); !locked.ok) {
        return locked;
    }
    const IoStatus room = files.reserve(to.handle(), size);
    if (!room.ok && !room.unsupported) {
        return room;
    }
    const OpenResult source = files.open_for_reading(table.new_name);
    if (!source.status.ok) {
        return source.status;
    }
    OwnedFile from(files, source.file);
    hold_interrupts_to_the_end();
    return copy_whole(files, from, to, size, !room.ok);
}

// The temporary file goes whether the copy went well or not.
IoStatus copy_and_remove(FileLayer& files, NewTable& table, std::uint64_t size)
{
    const IoStatus copied = copy_into_table(files, table, size);
    const std::string temporary = table.new_name;
    const InterruptsHeld held;
    const IoStatus removed = forget_new_file_once(files.remove(temporary), table);
    if (copied.ok && !removed.ok) {
        table.left_behind = temporary;
        table.left_behind_because = removed;
    }
    return copied;
}

} // namespace

IoStatus begin_table(FileLayer& files, const FileFacts& target, NewTable& table)
{
    table.target = target.final_name;
    if (target.descriptor >= 0 || (target.exists && !target.regular)) {
        return open_directly(files, target, table);
    }
    // Windows refuses a file that another program holds open to itself.
    if (const IoStatus writable = wait_while_busy(table, [&] { return files.check_writable(table.target); });
        !writable.ok) {
        return writable;
    }
    const bool rename_drops =
        target.exists && (target.links > 1 || target.carries_more || target.owned_by_another);
    return rename_drops ? create_temporary(files, table) : create_beside(files, target, table);
}

IoStatus commit_new_table(FileLayer& files, NewTable& table, std::uint64_t size)
{
    if (table.new_name.empty()) {
        return {};
    }
    if (table.way == Replacement::copy) {
        return copy_and_remove(files, table, size);
    }
    hold_interrupts_to_the_end();
    {
        const InterruptsHeld held;
        const IoStatus moved = forget_new_file_once(files.move_over(table.new_name, table.target), table);
        if (moved.ok || !moved.denied) {
            return moved;
        }
    }
    // A sticky folder, or a table of another owner: the folder will not have
    // it replaced, but the table may still be written.
    table.way = Replacement::copy;
    return copy_and_remove(files, table, size);
}

void discard_new_table(FileLayer& files, NewTable& table)
{
    if (!table.new_name.empty()) {
        const InterruptsHeld held;
        forget_new_file_once(files.remove(table.new_name), table);
    }
}

} // namespace cardtab
