#pragma once

#include <set>
#include <span>
#include <string>
#include <vector>

#include "io/file_layer.hpp"
#include "result/run_result.hpp"

// The card files a run reads: the files named, and the card files directly
// in the folders named, in order, each once however often it comes.
namespace cardtab {

struct CardFiles {
    std::vector<std::string> names; // in the order they are read
    std::set<FileId> ids;           // the files they are
    bool first_is_folder = false;   // the first name given is a folder
};

// Adds the files the names stand for: a folder's card files (*.vcf, in any
// letter case) in byte order of their names, not its subfolders. False,
// with the failure in `result`, where a name cannot be looked at or opened,
// or a folder holds no card file.
bool gather_card_files(FileLayer& files, std::span<const std::string> names, CardFiles& cards, RunResult& result);

// The table of cards named without one lies beside the first name: a card
// file's name less a final ".vcf", in any letter case, a folder's name
// less its last separators, and ".csv" after. Empty where a folder's name
// is no name to go on from ("." or "/").
std::string table_beside(std::string_view first_name, bool is_folder);

} // namespace cardtab
