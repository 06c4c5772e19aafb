#pragma once

#include "config/records.hpp"
#include "result/findings.hpp"
#include "result/run_result.hpp"
#include "io/file_layer.hpp"
#include "io/line_reader.hpp"

namespace cardtab {

enum class ConfigurationOutcome {
    read,
    missing, // the defaults stand, and the table has no columns
    failed,  // the file cannot be read, or names a file that does not fit
};

// Fills `settings` and `columns` from the configuration file `name`; a
// failure goes into `result`, naming the file as `name` gives it, and what
// may not do what its author meant into `found`, with the name of a file
// that is there.
ConfigurationOutcome load_configuration(FileLayer& files, RunSettings& settings, ColumnTable& columns,
                                        ConfigurationFindings& found, RunResult& result,
                                        std::string_view name = kConfigurationFileName,
                                        std::size_t chunk_bytes = kReadChunkBytes);

// The columns a contacts spreadsheet wants, for a run that decodes without
// a configuration: as if a configuration held these lines, the last of them
// setting the separator ';', the list separator of the spreadsheets that
// open these tables.
inline constexpr std::string_view kDefaultDecodingColumns = "Family name=N:1\n"
                                                            "Given name=N:2\n"
                                                            "Full name=FN\n"
                                                            "Mobile=TEL;CELL\n"
                                                            "Phone=TEL\n"
                                                            "E-mail=EMAIL\n"
                                                            "E-mail 2=EMAIL[2]\n"
                                                            "Street=ADR:3\n"
                                                            "City=ADR:4\n"
                                                            "Postal code=ADR:6\n"
                                                            "Country=ADR:7\n"
                                                            "Company=ORG:1\n"
                                                            "Note=NOTE\n"
                                                            ";";
void use_default_decoding_columns(RunSettings& settings, ColumnTable& columns);

} // namespace cardtab
