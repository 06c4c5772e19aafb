#include "convert/run.hpp"
#include "io/native_files.hpp"

// Command-line arguments are ignored: everything comes from cardtab.ini.
int main()
{
    cardtab::NativeFiles files;
    return cardtab::report_run(cardtab::run_conversion(files));
}
