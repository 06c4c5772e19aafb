#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "io/file_layer.hpp"

// How a new table takes the place of the old one: the same on every
// platform, on top of the file layer's single steps, so that the
// interrupts, the failures and the fault injection all meet it once.
namespace cardtab {

enum class Replacement {
    written_directly, // a device, a pipe, a descriptor a link names: written as it is
    rename,   // written beside the table, then moved over it in one step
    // Written whole to a temporary file, then copied into the old table, which
    // keeps what a rename would drop: its other names (hard links), its
    // access-control list and attributes; or it lies in a folder that allows
    // no new file.
    copy,
};

// How long a run waits for another program to let go of a table it has to
// lock, or (on Windows) to open; the tests shorten it.
struct LockWait {
    std::chrono::milliseconds longest{10000};
    std::chrono::milliseconds before_saying{1000};
    std::chrono::milliseconds between_tries{50};
    // Says at once, in the middle of the run, that it waits; where it is
    // null there is no one to tell.
    void (*say)(std::string_view line) = nullptr;
};

struct NewTable {
    // The caller's: the table's name as given, for messages, and the wait.
    std::string name;
    LockWait lock_wait;
    FileHandle file; // where the table is written
    Replacement way = Replacement::written_directly;
    std::string target;   // the file the table ends up as, its links followed
    std::string new_name; // the new or temporary file; empty when none is left to move or remove
    // The new file lies in the system's folder for temporary files, this one.
    bool among_temporary_files = false;
    std::string temporary_folder;
    // Written directly to a plain file that the shell opened, under a lock
    // that is let go as soon as the table is written.
    bool locked = false;
    // The table is in place, but its temporary copy could not be removed.
    std::string left_behind;
    IoStatus left_behind_because;
};

// The facts of `target` that decide the way, as each platform supplies
// them: on POSIX, `descriptor` for /dev/stdout, /dev/fd/N and
// /proc/self/fd/N, `carries_more` for an access-control list or extended
// attributes and `owned_by_another` for an owner the run could not give
// back; on Windows none, since ReplaceFileW keeps the old file's
// access-control list, attributes and streams, and no name there is a link
// to a descriptor. Both supply `links`, for a second name, and `regular`.
//
// Starts the table that is to end up as `target`. An existing table that may
// not be written is refused, as opening it for writing would have been. A
// new or temporary file is made under a name no other run takes, and an
// interrupt removes it until it is gone. A folder that allows no new file
// and holds no table yet is refused at once. A descriptor is written
// through, locked where it is a plain file.
IoStatus begin_table(FileLayer& files, const FileFacts& target, NewTable& table);

// Puts the complete table, `size` bytes and closed, in place of the old one.
// Where it is copied, the old table is locked against other runs, room for
// the table is reserved first, and interrupts wait until the copy is done;
// a failure after the first byte has been copied says that the table may be
// incomplete. A rename the folder refuses (a sticky folder, a table of
// another owner) copies instead. The temporary file is removed in every
// case. From the rename or the copy on, an interrupt no longer ends the
// run: it has the status it earned.
IoStatus commit_new_table(FileLayer& files, NewTable& table, std::uint64_t size);

// Gives the table up, closed: the new file is removed and the old table
// stays as it was. A table written directly stays as written.
void discard_new_table(FileLayer& files, NewTable& table);

} // namespace cardtab
