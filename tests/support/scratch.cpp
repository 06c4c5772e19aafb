#include "support/scratch.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace cardtab::testing {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder()
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::ostringstream name;
    name << "cardtab-test-" << stamp << '-' << counter++;
    path_ = fs::temp_directory_path() / name.str();
    fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    // Tests may leave read-only files behind; make them removable first.
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
}

std::filesystem::path ScratchFolder::operator/(std::string_view name) const
{
    return path_ / fs::path(std::u8string(name.begin(), name.end()));
}

void ScratchFolder::write(std::string_view name, std::string_view bytes) const
{
    std::ofstream out(*this / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ScratchFolder::read(std::string_view name) const
{
    return read_file(*this / name);
}

std::string ScratchFolder::read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#ifdef _WIN32
constexpr bool kOnWindows = true;
#else
constexpr bool kOnWindows = false;
#endif

std::filesystem::path built_path(const char* path)
{
    std::string text = path;
    if (kOnWindows && text.starts_with('/')) {
        text = "Z:" + text;
    }
    return std::filesystem::path(text).make_preferred();
}

std::string program_folder_in_messages()
{
    const fs::path program = built_path(CARDTAB_EXE);
    std::error_code error;
    const fs::path real = kOnWindows ? program : fs::canonical(program, error);
    return (error ? program : real).parent_path().string() + (kOnWindows ? "\\" : "/");
}

std::string no_configuration_warning(std::string_view consequence)
{
    return "cardtab: warning: configuration file 'cardtab.ini' not found in the current folder or in '" +
           program_folder_in_messages() + "', so the table " + std::string(consequence) + "\n";
}

void keep_case(const std::filesystem::path& folder)
{
    const char* keep = std::getenv("CARDTAB_KEEP_CASES");
    if (keep == nullptr || *keep == '\0') {
        return;
    }
    static unsigned kept = 0;
    std::ostringstream name;
    name << "case-" << ++kept;
    const fs::path target = fs::path(keep) / name.str();
    fs::create_directories(target);
    fs::copy(folder, target, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

bool only_warnings(std::string_view error_output)
{
    for (std::size_t start = 0; start < error_output.size();) {
        if (!error_output.substr(start).starts_with("cardtab: warning: ")) {
            return false;
        }
        const std::size_t end = error_output.find('\n', start);
        start = end == std::string_view::npos ? error_output.size() : end + 1;
    }
    return true;
}

void note_not_run(std::string_view rows)
{
    if (!rows.empty()) {
        std::printf("[ NOT RUN  ] here:%.*s\n", static_cast<int>(rows.size()), rows.data());
    }
}

std::string folder_read_failure(std::string_view what, std::string_view name)
{
    const std::string file = std::string(what) + " '" + std::string(name) + "': ";
    return kOnWindows ? "cardtab: cannot open " + file + "Permission denied\n"
                      : "cardtab: cannot read " + file + "Is a directory\n";
}

std::string folder_create_failure(std::string_view what, std::string_view name)
{
    return "cardtab: cannot create " + std::string(what) + " '" + std::string(name) + "': " +
           (kOnWindows ? "Permission denied\n" : "Is a directory\n");
}

std::string ScratchFolder::names() const
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(path_)) {
        found.push_back(entry.path().filename().string());
    }
    std::sort(found.begin(), found.end());
    std::string joined;
    for (const std::string& name : found) {
        joined += name + " ";
    }
    return joined;
}

bool ScratchFolder::exists(std::string_view name) const
{
    std::error_code ignored;
    return fs::exists(fs::symlink_status(*this / name, ignored));
}

} // namespace cardtab::testing
