#include "config/configuration.hpp"

namespace cardtab {

bool load_configuration(FileLayer& files, RunSettings& settings, ColumnTable& columns, RunResult& result)
{
    static_cast<void>(files);
    static_cast<void>(settings);
    static_cast<void>(columns);
    static_cast<void>(result);
    return true;
}

} // namespace cardtab
