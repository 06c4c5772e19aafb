#pragma once

#include <csignal>
#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "convert/run.hpp"
#include "io/file_layer.hpp"

namespace cardtab::testing {

// Files held in memory by name, for running the library without a disk.
// A name that is also in `folders` behaves as a folder: it opens for
// reading and then fails to read, as on Linux.
class MemoryFiles final : public FileLayer {
public:
    std::map<std::string, std::string> files;
    std::map<std::string, bool> folders;
    // Largest count one read returns, to exercise short reads.
    std::size_t read_limit = static_cast<std::size_t>(-1);
    // The folder allows no new file, as a folder without write permission;
    // the folder for temporary files still does.
    bool refuses_new_files = false;
    // Files a rename would take something from: a second name (a hard
    // link), or attributes.
    std::set<std::string> linked;
    std::set<std::string> with_attributes;
    std::set<std::string> owned_by_others;
    // Links that lead to one of the process's descriptors, as to /dev/stdout.
    std::map<std::string, int> descriptor_links;
    bool cannot_reserve = false;
    // The bytes a file may still grow by, where room cannot be reserved.
    std::size_t room_left = static_cast<std::size_t>(-1) / 2;
    // Files another program holds locked: how many lock attempts find them
    // so. And the files locked now by this one.
    std::map<std::string, std::size_t> held_by_others;
    std::set<std::string> locked;
    static constexpr std::string_view kTemporaryFolder = "tmp/";
    // The process's descriptors and the files they are open on. Standard
    // output is, unless a test says otherwise, a pipe whose bytes are kept
    // under this name; a name in `files` makes it a plain file.
    static constexpr std::string_view kStandardOutputName = "<standard output>";
    static constexpr std::string_view kStandardErrorName = "<standard error>";
    std::map<int, std::string> descriptor_files = {{kStandardOutput, std::string(kStandardOutputName)},
                                                   {kStandardError, std::string(kStandardErrorName)}};
    // The folder of the program, as program_folder tells it.
    std::string program_folder_name;

    OpenResult open_for_reading(std::string_view name) override;
    OpenResult create_for_writing(std::string_view name) override;
    OpenResult create_new(std::string_view name) override;
    OpenResult open_for_update(std::string_view name) override;
    std::string temporary_folder() override;
    std::string program_folder() override;
    FileFacts look_up(std::string_view name) override;
    FileKind identify(std::string_view name) override;
    IoStatus list_folder(std::string_view name, std::vector<FolderEntry>& entries) override;
    FileFacts look_up_descriptor(int descriptor) override;
    OpenResult open_descriptor(int descriptor) override;
    IoStatus check_writable(std::string_view name) override;
    void adopt_permissions(FileHandle file, std::string_view like) override;
    IoStatus move_over(std::string_view from, std::string_view to) override;
    IoStatus remove(std::string_view name) override;
    IoStatus lock(FileHandle file) override;
    void unlock(FileHandle file) override;
    IoStatus reserve(FileHandle file, std::uint64_t size) override;
    IoStatus grow(FileHandle file, std::uint64_t size) override;
    IoStatus rewind(FileHandle file) override;
    IoStatus truncate(FileHandle file, std::uint64_t size) override;
    ReadResult read(FileHandle file, std::span<char> into) override;
    IoStatus write(FileHandle file, std::span<const char> bytes) override;
    IoStatus close(FileHandle file) override;
    std::size_t open_count() const { return open_.size(); }
    // The names of every file and folder, in order.
    std::string names() const;
    // Files made by create_new that were neither moved nor removed.
    std::size_t new_files_left() const { return new_files_.size(); }

private:
    struct Open {
        std::string name;
        std::size_t position = 0;
        // The bytes of the file, looked up once: a read may take one byte.
        std::string* bytes = nullptr; // none for a folder
        // Opened on a descriptor that another holds open too: closing it
        // keeps the file's lock, as a shell's redirection would.
        bool shared = false;
    };
    FileHandle open_file(std::string name);
    FileFacts look_up_file(const std::string& key) const;
    std::map<std::intptr_t, std::unique_ptr<Open>> open_;
    std::set<std::string> new_files_;
};

// Passes every call on to another layer, except that call number
// `fail_at` (counting from 1 across all kinds of call) fails, and with
// `sticky` every call after it too. With a `signal_number`, that call does
// not fail: the signal is raised as it begins, as if sent from outside.
class FaultyFiles final : public FileLayer {
public:
    FaultyFiles(FileLayer& inner, std::size_t fail_at, bool sticky = false, int signal_number = 0)
        : inner_(inner), fail_at_(fail_at), sticky_(sticky), signal_number_(signal_number)
    {
    }

    OpenResult open_for_reading(std::string_view name) override;
    OpenResult create_for_writing(std::string_view name) override;
    OpenResult create_new(std::string_view name) override;
    OpenResult open_for_update(std::string_view name) override;
    std::string temporary_folder() override;
    std::string program_folder() override;
    FileFacts look_up(std::string_view name) override;
    FileKind identify(std::string_view name) override;
    IoStatus list_folder(std::string_view name, std::vector<FolderEntry>& entries) override;
    FileFacts look_up_descriptor(int descriptor) override;
    OpenResult open_descriptor(int descriptor) override;
    IoStatus check_writable(std::string_view name) override;
    void adopt_permissions(FileHandle file, std::string_view like) override;
    IoStatus move_over(std::string_view from, std::string_view to) override;
    IoStatus remove(std::string_view name) override;
    IoStatus lock(FileHandle file) override;
    void unlock(FileHandle file) override;
    IoStatus reserve(FileHandle file, std::uint64_t size) override;
    IoStatus grow(FileHandle file, std::uint64_t size) override;
    IoStatus rewind(FileHandle file) override;
    IoStatus truncate(FileHandle file, std::uint64_t size) override;
    ReadResult read(FileHandle file, std::span<char> into) override;
    IoStatus write(FileHandle file, std::span<const char> bytes) override;
    IoStatus close(FileHandle file) override;
    bool injected() const { return calls_ >= fail_at_; }

private:
    bool next_call_fails()
    {
        ++calls_;
        if (signal_number_ != 0) {
            if (calls_ == fail_at_) {
                std::raise(signal_number_);
            }
            return false;
        }
        return calls_ == fail_at_ || (sticky_ && calls_ > fail_at_);
    }
    // What a failed call of each kind returns.
    template <class Result>
    static Result failure();
    // Passes a call on to the inner layer, unless it is the one to fail.
    template <class Call>
    auto pass_on(Call call)
    {
        using Result = decltype(call());
        return next_call_fails() ? failure<Result>() : call();
    }
    FileLayer& inner_;
    std::size_t fail_at_;
    bool sticky_;
    int signal_number_;
    std::size_t calls_ = 0;
};

inline constexpr std::string_view kInjectedReason = "Injected failure";

// What a command line that names the card file and the table asks of a run.
inline RunOptions naming(std::string cards, std::string table = {}, bool decode = false)
{
    RunOptions options;
    if (!cards.empty()) {
        options.cards.push_back(std::move(cards));
    }
    options.table = std::move(table);
    options.decode = decode;
    return options;
}

} // namespace cardtab::testing
