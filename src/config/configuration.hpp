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
// a configuration: as if a configuration held these lines, a table line
// keeping every letter Windows-1250 has, and a last line setting the
// separator ';', the list separator of the spreadsheets that open these
// tables on a Central European desktop.
inline constexpr std::string_view kDefaultDecodingColumns = "Family name=N:1\n"
                                                            "Given name=N:2\n"
                                                            "Full name=FN\n"
                                                            "Mobile=TEL;CELL\n"
                                                            "Phone=TEL;!CELL,FAX\n"
                                                            "Phone 2=TEL;!CELL,FAX[2]\n"
                                                            "E-mail=EMAIL\n"
                                                            "E-mail 2=EMAIL[2]\n"
                                                            "Street=ADR:3\n"
                                                            "City=ADR:4\n"
                                                            "Postal code=ADR:6\n"
                                                            "Country=ADR:7\n"
                                                            "Company=ORG:1\n"
                                                            "Job title=TITLE\n"
                                                            "Birthday=BDAY\n"
                                                            "Note=NOTE\n"
                                                            "*.csv accents\n"
                                                            ";";
void use_default_decoding_columns(RunSettings& settings, ColumnTable& columns);

// The columns that Outlook's CSV import and Google Contacts' import both
// take, under Outlook's headings, separated by commas; in place of the
// configuration's columns and separator, the table in UTF-8.
inline constexpr std::string_view kOutlookColumns = "First Name=N:2\n"
                                                    "Middle Name=N:3\n"
                                                    "Last Name=N:1\n"
                                                    "Title=N:4\n"
                                                    "Suffix=N:5\n"
                                                    "Nickname=NICKNAME\n"
                                                    "Company=ORG:1\n"
                                                    "Department=ORG:2\n"
                                                    "Job Title=TITLE\n"
                                                    "Business Street=ADR;WORK:3\n"
                                                    "Business City=ADR;WORK:4\n"
                                                    "Business State=ADR;WORK:5\n"
                                                    "Business Postal Code=ADR;WORK:6\n"
                                                    "Business Country/Region=ADR;WORK:7\n"
                                                    "Home Street=ADR;HOME:3\n"
                                                    "Home City=ADR;HOME:4\n"
                                                    "Home State=ADR;HOME:5\n"
                                                    "Home Postal Code=ADR;HOME:6\n"
                                                    "Home Country/Region=ADR;HOME:7\n"
                                                    "Other Street=ADR;!WORK,HOME:3\n"
                                                    "Other City=ADR;!WORK,HOME:4\n"
                                                    "Other Postal Code=ADR;!WORK,HOME:6\n"
                                                    "Other Country/Region=ADR;!WORK,HOME:7\n"
                                                    "Business Phone=TEL;WORK;!FAX,CELL\n"
                                                    "Business Fax=TEL;WORK;FAX\n"
                                                    "Home Phone=TEL;HOME;!FAX,CELL\n"
                                                    "Home Fax=TEL;HOME;FAX\n"
                                                    "Mobile Phone=TEL;CELL\n"
                                                    "Pager=TEL;PAGER\n"
                                                    "Other Phone=TEL;!WORK,HOME,CELL\n"
                                                    "E-mail Address=EMAIL\n"
                                                    "E-mail 2 Address=EMAIL[2]\n"
                                                    "E-mail 3 Address=EMAIL[3]\n"
                                                    "Birthday=BDAY\n"
                                                    "Web Page=URL\n"
                                                    "Notes=NOTE\n"
                                                    ",";
void use_outlook_columns(RunSettings& settings, ColumnTable& columns);

} // namespace cardtab
