#include "convert/card_files.hpp"

#include <algorithm>

#include "config/records.hpp"
#include "text/text.hpp"

namespace cardtab {

namespace {

bool is_separator(char byte)
{
    return kFolderSeparators.find(byte) != std::string_view::npos;
}

// A file that is no file on a disk (a console, say) has no id to tell it by.
void add_file(std::string name, const FileKind& kind, CardFiles& cards)
{
    if (!kind.exists || kind.id == FileId{} || cards.ids.insert(kind.id).second) {
        cards.names.push_back(std::move(name));
    }
}

std::string in_folder(std::string_view folder, std::string_view entry)
{
    std::string name(folder);
    if (!name.empty() && !is_separator(name.back())) {
        name += kFolderSeparator;
    }
    return name.append(entry);
}

bool add_folder(FileLayer& files, const std::string& folder, CardFiles& cards, RunResult& result)
{
    std::vector<FolderEntry> entries;
    if (const IoStatus listed = files.list_folder(folder, entries); !listed.ok) {
        fail_on_file(result, "read folder", folder, listed);
        return false;
    }
    std::erase_if(entries,
                  [](const FolderEntry& entry) { return !ends_in_any_case(entry.name, kCardFileExtension); });
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    std::size_t card_files = 0;
    for (const FolderEntry& entry : entries) {
        std::string name = in_folder(folder, entry.name);
        const FileKind kind = entry.plain_file ? FileKind{{}, true, false, true, entry.id} : files.identify(name);
        if (!kind.status.ok) {
            fail_on_file(result, "open card file", name, kind.status);
            return false;
        }
        // Only plain files are a folder's card files: a pipe would wait for
        // a writer. A file gone since the listing is none.
        if (kind.regular) {
            ++card_files;
            add_file(std::move(name), kind, cards);
        }
    }
    if (card_files == 0) {
        fail(result, "folder '" + folder + "' holds no card file (*" + std::string(kCardFileExtension) + ")");
        return false;
    }
    return true;
}

// A name that leads nowhere fails as opening it fails, before the table is
// touched.
bool refuse_missing(FileLayer& files, const std::string& name, RunResult& result)
{
    const OpenResult opened = files.open_for_reading(name);
    if (!opened.status.ok) {
        fail_on_file(result, "open card file", name, opened.status);
        return true;
    }
    files.close(opened.file);
    return false;
}

} // namespace

bool gather_card_files(FileLayer& files, std::span<const std::string> names, CardFiles& cards, RunResult& result)
{
    for (const std::string& name : names) {
        const FileKind kind = files.identify(name);
        if (!kind.status.ok) {
            fail_on_file(result, "open card file", name, kind.status);
            return false;
        }
        if (&name == &names.front()) {
            cards.first_is_folder = kind.folder;
        }
        if (kind.folder && !add_folder(files, name, cards, result)) {
            return false;
        }
        if (!kind.folder && !kind.exists && refuse_missing(files, name, result)) {
            return false;
        }
        if (!kind.folder) {
            add_file(name, kind, cards);
        }
    }
    return true;
}

std::string table_beside(std::string_view first_name, bool is_folder)
{
    std::string_view base = first_name;
    if (is_folder) {
        while (!base.empty() && is_separator(base.back())) {
            base.remove_suffix(1);
        }
        const std::size_t separator = base.find_last_of(kFolderSeparators);
        const std::string_view last = separator == std::string_view::npos ? base : base.substr(separator + 1);
        if (last.empty() || last == "." || last == ".." || (kFolderSeparator != '/' && last.ends_with(':'))) {
            return {};
        }
    } else if (ends_in_any_case(base, kCardFileExtension)) {
        base.remove_suffix(kCardFileExtension.size());
    }
    return std::string(base).append(kTableFileExtension);
}

} // namespace cardtab
