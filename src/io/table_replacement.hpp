#pragma once

#include <string>

#include "io/file_layer.hpp"

// How a new table takes the place of the old one: the same on every
// platform, on top of the file layer's single steps, so that the
// interrupts, the failures and the fault injection all meet it once.
namespace cardtab {

enum class Replacement {
    in_place, // a device or a pipe, written as it is
    rename,   // a new file beside the table, moved over it when complete
};

struct NewTable {
    FileHandle file;
    Replacement way = Replacement::in_place;
    std::string target;   // the file the table ends up as, its links followed
    std::string new_name; // the file written beside it; empty when none is left to move or remove
};

// Starts the table that is to end up as `target`. Where `target` is a plain
// file, or none yet, the table is written beside it as a new file, under a
// name no other run takes, that takes its place only once it is complete;
// an interrupt removes it meanwhile. An existing table that may not be
// written is refused, as opening it for writing would have been. Anything
// else (a device, a pipe), or a file in a folder that allows no new file,
// is written in place.
IoStatus begin_table(FileLayer& files, const FileFacts& target, NewTable& table);

// Puts the complete table, closed, in place of the old one.
IoStatus put_new_table_in_place(FileLayer& files, NewTable& table);

// Gives the table up, closed: the new file is removed and the old table
// stays as it was. A table written in place stays as written.
void discard_new_table(FileLayer& files, NewTable& table);

} // namespace cardtab
