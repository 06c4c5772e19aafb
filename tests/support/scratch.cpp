#include "support/scratch.hpp"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>

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

void ScratchFolder::write(std::string_view name, std::string_view bytes) const
{
    std::ofstream out(path_ / std::string(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ScratchFolder::read(std::string_view name) const
{
    std::ifstream in(path_ / std::string(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool ScratchFolder::exists(std::string_view name) const
{
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path_ / std::string(name), ignored));
}

} // namespace cardtab::testing
